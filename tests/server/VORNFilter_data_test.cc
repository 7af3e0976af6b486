// The data response: the ordinary body and a function's result byte for byte
// in both forms, the flush points, the 304 path, failures of the function,
// the constraint, serialize and of any single write.
#include <libqvp/SignalHandler.h>

#include "FailingFile.h"
#include "ServerTest.h"

namespace libqvp {
namespace {

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

// a = 1, [boom,] b = 2, s = "hi".
std::unique_ptr<DDS> make_dds(bool exploding = false) {
  auto dds = std::make_unique<DDS>("demo.nc");
  dds->add_var(int32("a", 1));
  if (exploding) dds->add_var(std::make_unique<Exploding>("boom"));
  dds->add_var(int32("b", 2));
  auto s = std::make_unique<Str>("s");
  s->set_value("hi");
  dds->add_var(std::move(s));
  return dds;
}

// An evaluator with "answer()" (an Int32 of 42), "nothing()" (no result)
// and "explode()" (a variable whose serialize throws).
struct Evaluator : ConstraintEvaluator {
  Evaluator() {
    add("answer", [] { return int32("answer", 42); });
    add("nothing", [] { return std::unique_ptr<Int32>(); });
    add("explode", [] { return std::make_unique<Exploding>("answer"); });
  }
  template <class Make>
  void add(const char* name, Make make) {
    add_function(
        name, [make](const std::vector<BaseType*>&, DDS&, const std::string&) {
          std::unique_ptr<BaseType> v = make();
          if (v) v->set_send_p(true);
          return v;
        });
  }
};

// Runs `check(filter, dds, evaluator, out)` once per output form, each with a
// fresh filter for `ce`, DDS and evaluator.
template <class Check>
Written run_both(const std::string& ce, bool exploding, Check check) {
  return test::run_both([&](auto&& out) {
    FakeFilter f;
    f.set_ce_raw(ce);
    auto dds = make_dds(exploding);
    Evaluator eval;
    check(f, *dds, eval, out);
  });
}

// A FILE* writes out only when its buffer holds something, so a flush of
// nothing new leaves no trace there.
std::vector<size_t> visible(const std::vector<size_t>& offsets) {
  std::vector<size_t> out;
  for (size_t o : offsets)
    if (o > (out.empty() ? 0 : out.back())) out.push_back(o);
  return out;
}

TEST(VORNFilterDataTest, WritesBodiesAndFlushesWhereStated) {
  for (const auto& c : data_cases("data_bodies.txt")) {
    SCOPED_TRACE(c[0] + (c[1] == "1" ? " with headers" : ""));
    const Written w =
        run_both(c[0], false, [&](auto& f, auto& dds, auto& eval, auto& out) {
          f.send_data(dds, eval, out, "", c[1] == "1");
        });
    const std::string& header = c[3];
    const std::string expected = header + c[4] + c[5];
    EXPECT_EQ(expected, w.file_bytes);
    EXPECT_EQ(expected, w.stream_bytes);
    // After a function's header; after "Data:\n"; at the end.
    std::vector<size_t> flushes;
    if (c[2] == "1") flushes.push_back(header.size());
    flushes.push_back(header.size() + c[4].size());
    flushes.push_back(expected.size());
    EXPECT_EQ(flushes, w.stream_flushes);
    EXPECT_EQ(visible(flushes), w.file_flushes);
  }
}

TEST(VORNFilterDataTest, NothingSelectedWritesTextAndSeparatorOnly) {
  FakeFilter f;
  auto dds = make_dds();
  ConstraintEvaluator eval;
  dds->mark_all(false);
  std::ostringstream out;
  f.dataset_constraint(*dds, eval, out);
  EXPECT_EQ("Dataset {\n} demo.nc;\nData:\n", out.str());
}

// Unchanged (equal times): the 304 header alone, no flush; the constraint
// is not parsed (it is malformed) and the time-out is not armed. Without
// headers the same request gets the body.
TEST(VORNFilterDataTest, NotModifiedWritesTheHeaderOnly) {
  FakeFilter f(true, kLmt);
  f.set_ce_raw("((");
  f.set_timeout(100);
  auto dds = make_dds();
  ConstraintEvaluator eval;
  const Written w = test::run_both(
      [&](auto&& out) { f.send_data(*dds, eval, out, "", true); });
  const char kNotModified[] =
      "HTTP/1.0 304 NOT MODIFIED\r\nDate: DDD, dd MMM yyyy hh:mm:ss GMT\r\n"
      "\r\n";
  EXPECT_EQ(kNotModified, w.file_bytes);
  EXPECT_EQ(kNotModified, w.stream_bytes);
  EXPECT_TRUE(w.file_flushes.empty());
  EXPECT_TRUE(w.stream_flushes.empty());
  EXPECT_EQ(0u, alarm(0));
  EXPECT_EQ(nullptr, SignalHandler::instance()->get_handler(SIGALRM));
  EXPECT_EQ(0, dds->get_timeout());

  f.set_ce_raw("b");
  f.set_timeout(0);
  std::ostringstream out;
  f.send_data(*dds, eval, out, "", false);
  EXPECT_EQ(
      std::string("Dataset {\n    Int32 b;\n} demo.nc;\nData:\n\0\0\0\2", 44),
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

// The error and what each form wrote before it.
TEST(VORNFilterDataTest, FailuresPassWithWhatWasWritten) {
  for (const auto& c : data_cases("data_failures.txt")) {
    SCOPED_TRACE(c[0]);
    Exploding::destroyed = 0;
    const Written w = run_both(
        c[0], c[1] == "1", [&](auto& f, auto& dds, auto& eval, auto& out) {
          expect_error([&] { f.send_data(dds, eval, out, "", true); },
                       std::stoi(c[2]), c[3]);
        });
    EXPECT_EQ(c[4], w.file_bytes);
    EXPECT_EQ(c[4], w.stream_bytes);
    EXPECT_EQ(std::stoi(c[5]), Exploding::destroyed);
  }
}

// An output that refuses one write (the structure, "Data:", the values; for
// a function's result its declaration or its value) makes the response
// throw write_error rather than go on without the lost bytes.
TEST(VORNFilterDataTest, EveryRefusedWriteOfTheBodyThrows) {
  const struct {
    const char* ce;
    size_t failing_call;
  } cases[] = {{"b", 1}, {"b", 2}, {"b", 3}, {"answer()", 1}, {"answer()", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ce) + " failing write " +
                 std::to_string(c.failing_call));
    FakeFilter f;
    f.set_ce_raw(c.ce);
    auto dds = make_dds();
    Evaluator eval;
    test::FailingFile out(c.failing_call);
    expect_error([&] { f.send_data(*dds, eval, out.get(), "", false); },
                 write_error);
  }
}

// The twins pick the body of their own kind through the virtual table.
class RecordingBodies : public FakeFilter {
 public:
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
    RecordingBodies f;
    f.set_ce_raw(c.ce);
    auto dds = make_dds();
    Evaluator eval;
    std::ostringstream out;
    f.send_data(*dds, eval, out, "", false);
    EXPECT_EQ(c.body, out.str());
  }
}

}  // namespace
}  // namespace libqvp
