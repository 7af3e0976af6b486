// The data response: the ordinary body and a function's result byte for byte
// in both forms, the flush points, the 304 path, and failures of the
// function, the constraint and serialize.
#include <gtest/gtest.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Int32.h>
#include <libqvp/SignalHandler.h>
#include <libqvp/Str.h>
#include <libqvp/VORNFilter.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "BothForms.h"
#include "ExpectError.h"
#include "FakeFilter.h"

namespace libqvp {
namespace {

using test::FakeFilter;
using test::kLmt;
using test::normalize_date;
using test::RecordingFile;
using test::SyncRecordingBuf;
using test::Written;

const std::string kBinaryHeader =
    "HTTP/1.0 200 OK\r\nXVORN-Server: v1\r\nXKestrum-Server: v1\r\nXQVP: "
    "3.1\r\nDate: DDD, dd MMM yyyy hh:mm:ss GMT\r\nLast-Modified: Tue, 14 Nov "
    "2023 22:13:20 GMT\r\nContent-Type: application/octet-stream\r\n"
    "Content-Description: vorn_data\r\n\r\n";
const char kNotModified[] =
    "HTTP/1.0 304 NOT MODIFIED\r\nDate: DDD, dd MMM yyyy hh:mm:ss GMT\r\n\r\n";

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// An Int32 whose serialize throws; counts destructions.
class Exploding : public Int32 {
 public:
  explicit Exploding(std::string name) : Int32(std::move(name)) {}
  ~Exploding() override { ++destroyed; }
  bool serialize(const std::string&, ConstraintEvaluator&, DDS&, Marshaller&,
                 bool) override {
    throw Error("boom");
  }
  static int destroyed;
};
int Exploding::destroyed = 0;

template <class V, class T>
std::unique_ptr<V> make_var(const char* name, T value) {
  auto v = std::make_unique<V>(name);
  v->set_value(value);
  return v;
}

std::unique_ptr<DDS> make_dds(bool exploding = false) {
  auto dds = std::make_unique<DDS>("demo.nc");
  dds->add_var(make_var<Int32>("a", 1));
  if (exploding) dds->add_var(std::make_unique<Exploding>("boom"));
  dds->add_var(make_var<Int32>("b", 2));
  dds->add_var(make_var<Str>("s", std::string("hi")));
  return dds;
}

// An evaluator with "answer()" (an Int32 of 42), "nothing()" (no result)
// and "explode()" (a variable whose serialize throws).
void add_functions(ConstraintEvaluator& eval) {
  eval.add_function(
      "answer", [](const std::vector<BaseType*>&, DDS&, const std::string&) {
        auto v = make_var<Int32>("answer", 42);
        v->set_send_p(true);
        return std::unique_ptr<BaseType>(std::move(v));
      });
  eval.add_function(
      "nothing", [](const std::vector<BaseType*>&, DDS&, const std::string&) {
        return std::unique_ptr<BaseType>();
      });
  eval.add_function(
      "explode", [](const std::vector<BaseType*>&, DDS&, const std::string&) {
        auto v = std::make_unique<Exploding>("answer");
        v->set_send_p(true);
        return std::unique_ptr<BaseType>(std::move(v));
      });
}

// Both forms of one data response, each with a fresh filter, DDS and
// evaluator.
Written run_both(const std::string& ce, bool mime, bool exploding = false) {
  return test::run_both([&](auto&& out) {
    FakeFilter f;
    f.set_ce_raw(ce);
    auto dds = make_dds(exploding);
    ConstraintEvaluator eval;
    add_functions(eval);
    f.send_data(*dds, eval, out, "", mime);
  });
}

// A FILE* writes out only when its buffer holds something, so a flush of
// nothing new leaves no trace there.
std::vector<size_t> visible(const std::vector<size_t>& offsets) {
  std::vector<size_t> out;
  size_t last = 0;
  for (size_t o : offsets)
    if (o > last) out.push_back(last = o);
  return out;
}

TEST(VORNFilterDataTest, WritesBodiesAndFlushesWhereStated) {
  const std::string ab_s_text =
      "Dataset {\n    Int32 a;\n    Int32 b;\n    String s;\n} demo.nc;\n";
  const std::string xdr_all =
      bytes({0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 2, 'h', 'i', 0, 0});
  const std::string function_text =
      "Dataset {\n    Int32 answer;\n} function_value;\nData:\n";
  static const struct {
    const char* ce;
    bool mime;
    std::string header, text, xdr;
    bool function;
  } cases[] = {
      {"", true, kBinaryHeader, ab_s_text + "Data:\n", xdr_all, false},
      {"", false, "", ab_s_text + "Data:\n", xdr_all, false},
      // Declaration order, whatever order the constraint names things in.
      {"s,a", true, kBinaryHeader,
       "Dataset {\n    Int32 a;\n    String s;\n} demo.nc;\nData:\n",
       bytes({0, 0, 0, 1, 0, 0, 0, 2, 'h', 'i', 0, 0}), false},
      {"b", true, kBinaryHeader, "Dataset {\n    Int32 b;\n} demo.nc;\nData:\n",
       bytes({0, 0, 0, 2}), false},
      {"answer()", true, kBinaryHeader, function_text, bytes({0, 0, 0, 42}),
       true},
      {"answer()", false, "", function_text, bytes({0, 0, 0, 42}), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ce) + (c.mime ? " with headers" : ""));
    const Written w = run_both(c.ce, c.mime);
    const std::string expected = c.header + c.text + c.xdr;
    EXPECT_EQ(expected, w.file_bytes);
    EXPECT_EQ(expected, w.stream_bytes);
    // After a function's header; after "Data:\n"; at the end.
    std::vector<size_t> flushes;
    if (c.function) flushes.push_back(c.header.size());
    flushes.push_back(c.header.size() + c.text.size());
    flushes.push_back(expected.size());
    EXPECT_EQ(flushes, w.stream_flushes);
    EXPECT_EQ(visible(flushes), w.file_flushes);
  }
}

TEST(VORNFilterDataTest, NothingSelectedWritesTextAndSeparatorOnly) {
  FakeFilter f;
  f.set_ce_raw("");
  auto dds = make_dds();
  ConstraintEvaluator eval;
  dds->mark_all(false);
  std::ostringstream out;
  f.dataset_constraint(*dds, eval, out);
  EXPECT_EQ("Dataset {\n} demo.nc;\nData:\n", out.str());
}

TEST(VORNFilterDataTest, NotModifiedWritesTheHeaderOnly) {
  // Equal times: unchanged. The constraint is not parsed (it is malformed)
  // and the time-out is not armed.
  FakeFilter f(true, kLmt);
  f.set_ce_raw("((");
  f.set_timeout(100);
  auto dds = make_dds();
  ConstraintEvaluator eval;
  RecordingFile file;
  f.send_data(*dds, eval, file.get(), "", true);
  EXPECT_TRUE(file.flushes().empty());
  EXPECT_EQ(kNotModified, normalize_date(file.drain()));
  SyncRecordingBuf buf;
  std::ostream out(&buf);
  f.send_data(*dds, eval, out, "", true);
  EXPECT_TRUE(buf.syncs().empty());
  EXPECT_EQ(kNotModified, normalize_date(buf.str()));
  EXPECT_EQ(0u, alarm(0));
  EXPECT_EQ(nullptr, SignalHandler::instance()->get_handler(SIGALRM));
  EXPECT_EQ(0, dds->get_timeout());
}

TEST(VORNFilterDataTest, ConditionalWithoutHeadersWritesTheBody) {
  FakeFilter f(true, kLmt + 10);
  f.set_ce_raw("b");
  auto dds = make_dds();
  ConstraintEvaluator eval;
  std::ostringstream out;
  f.send_data(*dds, eval, out, "", false);
  EXPECT_EQ(
      "Dataset {\n    Int32 b;\n} demo.nc;\nData:\n" + bytes({0, 0, 0, 2}),
      out.str());
}

TEST(VORNFilterDataTest, HandsTheTimeoutToTheDds) {
  for (int timeout : {0, -5}) {
    SCOPED_TRACE(timeout);
    FakeFilter f;
    f.set_ce_raw("b");
    f.set_timeout(timeout);
    auto dds = make_dds();
    dds->set_timeout(77);
    ConstraintEvaluator eval;
    std::ostringstream out;
    f.send_data(*dds, eval, out, "", false);
    EXPECT_EQ(timeout, dds->get_timeout());
    EXPECT_EQ(0u, alarm(0));  // no limit armed
  }
}

// Runs send_data in both forms and expects `code` and `message` with the
// output as `written`.
void expect_failure(const std::string& ce, int code, const std::string& message,
                    const std::string& written, bool exploding = false) {
  const Written w = test::run_both([&](auto&& out) {
    FakeFilter f;
    f.set_ce_raw(ce);
    auto dds = make_dds(exploding);
    ConstraintEvaluator eval;
    add_functions(eval);
    test::expect_error([&] { f.send_data(*dds, eval, out, "", true); }, code,
                       message);
  });
  EXPECT_EQ(written, w.file_bytes);
  EXPECT_EQ(written, w.stream_bytes);
}

TEST(VORNFilterDataTest, FunctionWithoutResult) {
  expect_failure("nothing()", 1001, "Error calling the CE function.", "");
}

TEST(VORNFilterDataTest, MalformedConstraintWritesNothing) {
  FakeFilter f;
  f.set_ce_raw("a[");
  auto dds = make_dds();
  ConstraintEvaluator eval;
  std::ostringstream out;
  EXPECT_THROW(f.send_data(*dds, eval, out, "", true), Error);
  EXPECT_EQ("", out.str());
}

TEST(VORNFilterDataTest, SerializeErrorPassesAfterTheTextPart) {
  // The variable before the failing one is written when the marshaller is
  // released on the way out.
  const std::string text =
      "Dataset {\n    Int32 a;\n    Int32 boom;\n    Int32 b;\n    String "
      "s;\n} demo.nc;\nData:\n";
  Exploding::destroyed = 0;
  expect_failure("", undefined_error, "boom",
                 kBinaryHeader + text + bytes({0, 0, 0, 1}), true);
  EXPECT_EQ(2, Exploding::destroyed);  // the DDS's, once per form

  Exploding::destroyed = 0;
  expect_failure(
      "explode()", undefined_error, "boom",
      kBinaryHeader +
          "Dataset {\n    Int32 answer;\n} function_value;\nData:\n");
  EXPECT_EQ(2, Exploding::destroyed);  // the function's result is destroyed
}

// The twins pick the body of their own kind through the virtual table.
class RecordingBodies : public FakeFilter {
 public:
  explicit RecordingBodies(const std::string& ce) { set_ce_raw(ce); }
  using FakeFilter::dataset_constraint;
  using FakeFilter::functional_constraint;
  void dataset_constraint(DDS&, ConstraintEvaluator&,
                          std::ostream& out) const override {
    out << "[dataset]";
  }
  void functional_constraint(BaseType& var, DDS&, ConstraintEvaluator&,
                             std::ostream& out) const override {
    out << "[function " << var.name() << "]";
  }
};

TEST(VORNFilterDataTest, BodiesAreCalledThroughTheVirtualTable) {
  static const struct {
    const char* ce;
    const char* body;
  } cases[] = {{"a", "[dataset]"}, {"answer()", "[function answer]"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ce);
    RecordingBodies f(c.ce);
    auto dds = make_dds();
    ConstraintEvaluator eval;
    add_functions(eval);
    std::ostringstream out;
    f.send_data(*dds, eval, out, "", false);
    EXPECT_EQ(c.body, out.str());
  }
}

}  // namespace
}  // namespace libqvp
