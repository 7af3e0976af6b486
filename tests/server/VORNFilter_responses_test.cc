// The DAS, DDS, DDX, BLOB and version responses: the conditional rule, whole
// responses byte for byte in both output forms, function refusal and the
// flush points.
#include <gtest/gtest.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Int32.h>
#include <libqvp/Str.h>
#include <libqvp/VORNFilter.h>
#include <libqvp/cgi_util.h>

#include <functional>
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
using test::run_both;
using test::Written;

std::string text_header(const char* description, const char* type) {
  return std::string(
             "HTTP/1.0 200 OK\r\nXVORN-Server: v1\r\nXKestrum-Server: "
             "v1\r\nXQVP: 3.1\r\nDate: ") +
         test::kNormalDate +
         "\r\nLast-Modified: Tue, 14 Nov 2023 22:13:20 GMT\r\nContent-Type: " +
         type + "\r\nContent-Description: " + description + "\r\n\r\n";
}

const char kNotModified[] =
    "HTTP/1.0 304 NOT MODIFIED\r\nDate: DDD, dd MMM yyyy hh:mm:ss GMT\r\n\r\n";

const char kDasText[] =
    "Attributes {\n    sst {\n        String units \"degC\";\n    }\n}\n";
const char kDdsText[] =
    "Dataset {\n    Int32 count;\n    String title;\n} demo.nc;\n";
const char kDdsCountOnly[] = "Dataset {\n    Int32 count;\n} demo.nc;\n";

void fill_das(DAS& das) {
  das.parse(std::string(
      "Attributes {\n    sst {\n        String units \"degC\";\n    }\n}\n"));
}

std::unique_ptr<DDS> make_dds() {
  auto dds = std::make_unique<DDS>("demo.nc");
  auto count = std::make_unique<Int32>("count");
  count->set_value(7);
  dds->add_var(std::move(count));
  auto title = std::make_unique<Str>("title");
  title->set_value("t");
  dds->add_var(std::move(title));
  return dds;
}

// The conditional cases: (conditional, If-Modified-Since, headers wanted)
// against kLmt, and whether the reply is a 304 header, a full reply or the
// body alone.
enum class Reply { not_modified, full, body_only };
struct ConditionalCase {
  bool conditional;
  time_t ims;
  bool mime;
  Reply reply;
};
const ConditionalCase kConditionalCases[] = {
    {false, kLmt, true, Reply::full},         // not conditional
    {true, kLmt, true, Reply::not_modified},  // equal times: unchanged
    {true, kLmt + 5, true, Reply::not_modified},
    {true, kLmt - 1, true, Reply::full},    // one second later: changed
    {true, kLmt, false, Reply::body_only},  // no headers: never 304
    {false, kLmt, false, Reply::body_only},
};

std::string describe(const ConditionalCase& c) {
  std::ostringstream s;
  s << "conditional=" << c.conditional << " ims=" << c.ims
    << " mime=" << c.mime;
  return s.str();
}

std::string expected_reply(Reply reply, const std::string& header,
                           const std::string& body) {
  switch (reply) {
    case Reply::not_modified:
      return kNotModified;
    case Reply::full:
      return header + body;
    case Reply::body_only:
      return body;
  }
  return "";
}

// DAS and DDS flush once, at the end (after a 304 header as well); the DDX
// never flushes. Each asks for the times with its own ancillary location.
TEST(VORNFilterResponsesTest, MetadataFollowsTheConditionalRule) {
  static const struct {
    std::string kind;
    const char* type;
    const char* anc_seen;
  } kinds[] = {{"vorn_das", "text/plain", "/mine/"},
               {"vorn_dds", "text/plain", ""},
               {"qvp4_ddx", "text/xml", "/anc/"}};
  for (const auto& k : kinds) {
    for (const auto& c : kConditionalCases) {
      SCOPED_TRACE(k.kind + " " + describe(c));
      FakeFilter f(c.conditional, c.ims, kLmt);
      f.set_ce_raw("count");
      DAS das;
      fill_das(das);
      auto dds = make_dds();
      ConstraintEvaluator eval;
      const Written w = run_both([&](auto&& out) {
        if (k.kind == "vorn_das") f.send_das(out, das, "/mine/", c.mime);
        if (k.kind == "vorn_dds") f.send_dds(out, *dds, eval, true, "", c.mime);
        if (k.kind == "qvp4_ddx") f.send_ddx(*dds, eval, out, c.mime);
      });
      std::ostringstream xml;
      dds->print_xml(xml, true, "/data/sst.nc.blob?count");
      const std::string body = k.kind == "vorn_das"   ? kDasText
                               : k.kind == "vorn_dds" ? kDdsCountOnly
                                                      : xml.str();
      const std::string expected =
          expected_reply(c.reply, text_header(k.kind.c_str(), k.type), body);
      EXPECT_EQ(expected, w.file_bytes);
      EXPECT_EQ(expected, w.stream_bytes);
      const std::vector<size_t> flushes =
          k.kind == "qvp4_ddx" ? std::vector<size_t>{}
                               : std::vector<size_t>{expected.size()};
      EXPECT_EQ(flushes, w.file_flushes);
      EXPECT_EQ(flushes, w.stream_flushes);
      EXPECT_EQ(k.anc_seen, f.d_anc_seen);
      EXPECT_EQ(c.conditional ? 2 : 0, f.d_ims_calls);  // two forms
    }
  }
}

TEST(VORNFilterResponsesTest, DdsConstrainedFlag) {
  static const struct {
    const char* ce;
    bool constrained;
    const char* body;
  } cases[] = {
      {"(((", false, kDdsText},  // not parsed when not constrained
      {"", true, kDdsText},      // parsed: an empty projection selects all
      {"title", true, "Dataset {\n    String title;\n} demo.nc;\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ce);
    FakeFilter f(false, 0, kLmt);
    f.set_ce_raw(c.ce);
    auto dds = make_dds();
    ConstraintEvaluator eval;
    dds->mark_all(false);
    const Written w = run_both([&](auto&& out) {
      f.send_dds(out, *dds, eval, c.constrained, "", false);
    });
    EXPECT_EQ(c.body, w.file_bytes);
    EXPECT_EQ(c.body, w.stream_bytes);
  }
}

TEST(VORNFilterResponsesTest, DdsMalformedConstraintWritesNothing) {
  FakeFilter f(false, 0, kLmt);
  f.set_ce_raw("count[");
  auto dds = make_dds();
  ConstraintEvaluator eval;
  std::ostringstream out;
  EXPECT_THROW(f.send_dds(out, *dds, eval, true, "", true), Error);
  EXPECT_EQ("", out.str());
  EXPECT_EQ(0, f.d_lmt_calls);
}

// Without a constraint the BLOB link ends in a bare '?'; with one, the
// conditional test above pins "blob?count".
TEST(VORNFilterResponsesTest, DdxBlobUrlWithoutAConstraint) {
  FakeFilter f;
  auto dds = make_dds();
  ConstraintEvaluator eval;
  std::ostringstream out;
  f.send_ddx(*dds, eval, out, false);
  EXPECT_NE(std::string::npos,
            out.str().find("<dataBLOB href=\"/data/sst.nc.blob?\"/>"))
      << out.str();
}

const char kRefusal[] =
    "Function calls can only be used with data requests. To see the "
    "structure of the underlying data source, reissue the URL without the "
    "function.";

// Expects the refusal, before any time query and with nothing written.
template <class Send>
void expect_refused(FakeFilter& f, Send send) {
  const Written w = run_both([&](auto&& out) {
    test::expect_error([&] { send(out); }, undefined_error, kRefusal);
  });
  EXPECT_EQ("", w.file_bytes);
  EXPECT_EQ("", w.stream_bytes);
  EXPECT_EQ(0, f.d_lmt_calls);
}

TEST(VORNFilterResponsesTest, RefusesFunctionsInDdsAndDdx) {
  // Conditional and unchanged: still refused.
  FakeFilter f(true, kLmt, kLmt);
  f.set_ce_raw("version()");
  auto dds = make_dds();
  ConstraintEvaluator eval;
  expect_refused(
      f, [&](auto&& out) { f.send_dds(out, *dds, eval, true, "", true); });
  expect_refused(f, [&](auto&& out) { f.send_ddx(*dds, eval, out, true); });
}

TEST(VORNFilterResponsesTest, FunctionTestAskedWithoutParsing) {
  // The evaluator still holds a function call from an earlier parse; an
  // unconstrained DDS and a DDX without a constraint parse nothing, so the
  // question is answered from that state.
  FakeFilter f(false, 0, kLmt);
  auto dds = make_dds();
  ConstraintEvaluator eval;
  eval.parse_constraint("version()", *dds);
  f.set_ce_raw("count");
  expect_refused(
      f, [&](auto&& out) { f.send_dds(out, *dds, eval, false, "", true); });
  f.set_ce_raw("");
  expect_refused(f, [&](auto&& out) { f.send_ddx(*dds, eval, out, true); });
}

std::string stdout_of(const std::function<void()>& send) {
  testing::internal::CaptureStdout();
  send();
  return normalize_date(testing::internal::GetCapturedStdout());
}

TEST(VORNFilterResponsesTest, DefaultFormsWriteToStdout) {
  FakeFilter f(false, 0, kLmt);
  DAS das;
  fill_das(das);
  auto dds = make_dds();
  ConstraintEvaluator eval;
  const std::string das_text = text_header("vorn_das", "text/plain") + kDasText;
  EXPECT_EQ(das_text, stdout_of([&] { f.send_das(das, "", true); }));
  EXPECT_EQ(das_text, stdout_of([&] { f.send_das(stdout, das, "", true); }));
  const std::string dds_text = text_header("vorn_dds", "text/plain") + kDdsText;
  EXPECT_EQ(dds_text,
            stdout_of([&] { f.send_dds(*dds, eval, false, "", true); }));
  EXPECT_EQ(dds_text, stdout_of([&] {
              f.send_dds(stdout, *dds, eval, false, "", true);
            }));
}

// The default forms go through the FILE* form's slot.
class RecordingDefaults : public FakeFilter {
 public:
  RecordingDefaults() : FakeFilter(false, 0, kLmt) {}
  using FakeFilter::send_das;
  using FakeFilter::send_dds;
  void send_das(FILE* out, DAS&, const std::string& anc,
                bool mime) const override {
    d_seen_out = out;
    d_seen_anc = anc;
    d_seen_mime = mime;
  }
  void send_dds(FILE* out, DDS&, ConstraintEvaluator&, bool constrained,
                const std::string& anc, bool mime) const override {
    d_seen_out = out;
    d_seen_anc = anc;
    d_seen_mime = mime && constrained;
  }
  mutable FILE* d_seen_out = nullptr;
  mutable std::string d_seen_anc;
  mutable bool d_seen_mime = false;
};

TEST(VORNFilterResponsesTest, DefaultFormsCallTheFileFormVirtually) {
  RecordingDefaults f;
  DAS das;
  f.send_das(das, "/x/", true);
  EXPECT_EQ(stdout, f.d_seen_out);
  EXPECT_EQ("/x/", f.d_seen_anc);
  EXPECT_TRUE(f.d_seen_mime);
  auto dds = make_dds();
  ConstraintEvaluator eval;
  f.d_seen_out = nullptr;
  f.send_dds(*dds, eval, true, "/y/", true);
  EXPECT_EQ(stdout, f.d_seen_out);
  EXPECT_EQ("/y/", f.d_seen_anc);
  EXPECT_TRUE(f.d_seen_mime);
}

TEST(VORNFilterResponsesTest, VersionResponse) {
  static const struct {
    const char* dataset_version;
    const char* body;
  } cases[] = {
      {"", ""},
      {"2.0", "Dataset version: 2.0\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dataset_version);
    FakeFilter f(true, kLmt, kLmt);
    f.d_version = c.dataset_version;
    const std::string out = stdout_of([&] { f.send_version_info(); });
    EXPECT_EQ(std::string("HTTP/1.0 200 OK\r\nXVORN-Server: libqvp/3.8.2\r\n"
                          "XKestrum-Server: libqvp/3.8.2\r\nXQVP: 3.1\r\n"
                          "Content-Type: text/plain\r\n\r\n"
                          "Core software version: libqvp/3.8.2\r\n"
                          "Server Script Revision: v1\r\n") +
                  c.body,
              out);
    EXPECT_EQ(0, f.d_lmt_calls);
  }
}

}  // namespace
}  // namespace libqvp
