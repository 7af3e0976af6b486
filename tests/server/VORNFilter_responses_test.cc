// The DAS, DDS, DDX, BLOB and version responses: the conditional rule, whole
// responses byte for byte in both output forms, function refusal and the
// flush points.
#include <tuple>

#include "ServerTest.h"

namespace libqvp {
namespace {

std::string text_header(const std::string& description, const char* type) {
  return std::string(
             "HTTP/1.0 200 OK\r\nXVORN-Server: v1\r\nXKestrum-Server: "
             "v1\r\nXQVP: 3.1\r\nDate: ") +
         test::kNormalDate +
         "\r\nLast-Modified: Tue, 14 Nov 2023 22:13:20 GMT\r\nContent-Type: " +
         type + "\r\nContent-Description: " + description + "\r\n\r\n";
}

const char kDasText[] =
    "Attributes {\n    sst {\n        String units \"degC\";\n    }\n}\n";
const char kDdsText[] =
    "Dataset {\n    Int32 count;\n    String title;\n} demo.nc;\n";

// A filter (FakeFilter's times) with a DAS, a DDS (count = 7, title = "t")
// and an evaluator to answer from.
struct Responses {
  explicit Responses(bool conditional = false, time_t ims = 0)
      : f(conditional, ims) {
    das.parse(std::string(kDasText));
    dds.add_var(int32("count", 7));
    auto title = std::make_unique<Str>("title");
    title->set_value("t");
    dds.add_var(std::move(title));
  }
  FakeFilter f;
  DAS das;
  DDS dds{"demo.nc"};
  ConstraintEvaluator eval;
};
struct VORNFilterResponsesTest : ::testing::Test, Responses {};

// Against kLmt: a 304 header, the full reply or (without headers, never a
// 304) the body alone. DAS and DDS flush once, at the end (after a 304
// header as well); the DDX never flushes. Each asks for the times with its
// own ancillary location.
TEST(VORNFilterResponsesConditionalTest, MetadataFollowsTheConditionalRule) {
  enum Reply { not_modified, full, body_only };
  static const struct {
    bool conditional;
    time_t ims;
    bool mime;
    Reply reply;
  } cases[] = {
      {false, kLmt, true, full},         // not conditional
      {true, kLmt, true, not_modified},  // equal times: unchanged
      {true, kLmt + 5, true, not_modified},
      {true, kLmt - 1, true, full},  // one second later: changed
      {true, kLmt, false, body_only},
      {false, kLmt, false, body_only},
  };
  static const struct {
    std::string kind;
    const char* type;
    const char* anc_seen;
  } kinds[] = {{"vorn_das", "text/plain", "/mine/"},
               {"vorn_dds", "text/plain", ""},
               {"qvp4_ddx", "text/xml", "/anc/"}};
  for (const auto& k : kinds) {
    for (const auto& c : cases) {
      SCOPED_TRACE(k.kind + " conditional=" + std::to_string(c.conditional) +
                   " ims=" + std::to_string(c.ims) +
                   " mime=" + std::to_string(c.mime));
      Responses r(c.conditional, c.ims);
      r.f.set_ce_raw("count");
      const Written w = test::run_both([&](auto&& out) {
        if (k.kind == "vorn_das") r.f.send_das(out, r.das, "/mine/", c.mime);
        if (k.kind == "vorn_dds")
          r.f.send_dds(out, r.dds, r.eval, true, "", c.mime);
        if (k.kind == "qvp4_ddx") r.f.send_ddx(r.dds, r.eval, out, c.mime);
      });
      std::ostringstream xml;
      r.dds.print_xml(xml, true, "/data/sst.nc.blob?count");
      const std::string body = k.kind == "vorn_das" ? kDasText
                               : k.kind == "vorn_dds"
                                   ? "Dataset {\n    Int32 count;\n} demo.nc;\n"
                                   : xml.str();
      const std::string expected =
          c.reply == not_modified
              ? "HTTP/1.0 304 NOT MODIFIED\r\nDate: DDD, dd MMM yyyy "
                "hh:mm:ss GMT\r\n\r\n"
              : (c.reply == full ? text_header(k.kind, k.type) : "") + body;
      EXPECT_EQ(expected, w.file_bytes);
      EXPECT_EQ(expected, w.stream_bytes);
      const std::vector<size_t> flushes =
          k.kind == "qvp4_ddx" ? std::vector<size_t>{}
                               : std::vector<size_t>{expected.size()};
      EXPECT_EQ(flushes, w.file_flushes);
      EXPECT_EQ(flushes, w.stream_flushes);
      EXPECT_EQ(k.anc_seen, r.f.d_anc_seen);
      EXPECT_EQ(c.conditional ? 2 : 0, r.f.d_ims_calls);  // two forms
    }
  }
}

// A constraint is parsed only for a constrained DDS, and a malformed one
// writes nothing and asks for no time.
TEST_F(VORNFilterResponsesTest, DdsConstrainedFlag) {
  static const struct {
    const char* ce;
    bool constrained;
    const char* body;
  } cases[] = {
      {"(((", false, kDdsText},
      {"", true, kDdsText},  // an empty projection selects all
      {"title", true, "Dataset {\n    String title;\n} demo.nc;\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ce);
    f.set_ce_raw(c.ce);
    dds.mark_all(false);
    const Written w = test::run_both([&](auto&& out) {
      f.send_dds(out, dds, eval, c.constrained, "", false);
    });
    EXPECT_EQ(c.body, w.file_bytes);
    EXPECT_EQ(c.body, w.stream_bytes);
  }
  f.set_ce_raw("count[");
  f.d_lmt_calls = 0;
  std::ostringstream out;
  EXPECT_THROW(f.send_dds(out, dds, eval, true, "", true), Error);
  EXPECT_EQ("", out.str());
  EXPECT_EQ(0, f.d_lmt_calls);
}

// Without a constraint the BLOB link ends in a bare '?'; with one, the
// conditional test above pins "blob?count".
TEST_F(VORNFilterResponsesTest, DdxBlobUrlWithoutAConstraint) {
  std::ostringstream out;
  f.send_ddx(dds, eval, out, false);
  EXPECT_NE(std::string::npos,
            out.str().find("<dataBLOB href=\"/data/sst.nc.blob?\"/>"))
      << out.str();
}

// DDS and DDX refuse a function call, before any time query and with
// nothing written: when the constraint calls one (even conditional and
// unchanged), and when the evaluator still holds one from an earlier parse
// and the request parses nothing (an unconstrained DDS, a DDX without a
// constraint).
TEST(VORNFilterResponsesRefusalTest, RefusesFunctionsInDdsAndDdx) {
  const char kRefusal[] =
      "Function calls can only be used with data requests. To see the "
      "structure of the underlying data source, reissue the URL without the "
      "function.";
  static const struct {
    const char* ce;
    bool earlier_call;
    bool constrained;  // for the DDS
  } cases[] = {{"version()", false, true}, {"count", true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ce);
    Responses r(true, kLmt);
    r.f.set_ce_raw(c.ce);
    if (c.earlier_call) r.eval.parse_constraint("version()", r.dds);
    for (bool ddx : {false, true}) {
      if (ddx && c.earlier_call) r.f.set_ce_raw("");
      const Written w = test::run_both([&](auto&& out) {
        expect_error(
            [&] {
              if (ddx)
                r.f.send_ddx(r.dds, r.eval, out, true);
              else
                r.f.send_dds(out, r.dds, r.eval, c.constrained, "", true);
            },
            undefined_error, kRefusal);
      });
      EXPECT_EQ("", w.file_bytes + w.stream_bytes);
      EXPECT_EQ(0, r.f.d_lmt_calls);
    }
  }
}

std::string stdout_of(const std::function<void()>& send) {
  CaptureStdout capture;
  send();
  return test::normalize_date(capture.finish());
}

// The default forms go through the FILE* form's slot with stdout (whose
// bytes the tests above pin), passing their arguments on.
class RecordingDefaults : public FakeFilter {
 public:
  using FakeFilter::send_das;
  using FakeFilter::send_dds;
  void send_das(FILE* out, DAS&, const std::string& anc,
                bool mime) const override {
    seen = {out, anc, mime, false};
  }
  void send_dds(FILE* out, DDS&, ConstraintEvaluator&, bool constrained,
                const std::string& anc, bool mime) const override {
    seen = {out, anc, mime, constrained};
  }
  mutable std::tuple<FILE*, std::string, bool, bool> seen;
};

TEST_F(VORNFilterResponsesTest, DefaultFormsCallTheFileFormVirtually) {
  RecordingDefaults r;
  r.send_das(das, "/x/", true);
  EXPECT_EQ(std::make_tuple(stdout, std::string("/x/"), true, false), r.seen);
  r.send_dds(dds, eval, true, "/y/", false);
  EXPECT_EQ(std::make_tuple(stdout, std::string("/y/"), false, true), r.seen);
  r.send_dds(dds, eval, false, "/z/", true);
  EXPECT_EQ(std::make_tuple(stdout, std::string("/z/"), true, false), r.seen);
}

// The version response asks for no time, even for a conditional request.
TEST(VORNFilterVersionTest, VersionResponse) {
  for (const char* version : {"", "2.0"}) {
    SCOPED_TRACE(version);
    FakeFilter f(true, kLmt);
    f.d_version = version;
    EXPECT_EQ(std::string("HTTP/1.0 200 OK\r\nXVORN-Server: libqvp/3.8.2\r\n"
                          "XKestrum-Server: libqvp/3.8.2\r\nXQVP: 3.1\r\n"
                          "Content-Type: text/plain\r\n\r\n"
                          "Core software version: libqvp/3.8.2\r\n"
                          "Server Script Revision: v1\r\n") +
                  (*version ? "Dataset version: 2.0\r\n" : ""),
              stdout_of([&] { f.send_version_info(); }));
    EXPECT_EQ(0, f.d_lmt_calls);
  }
}

}  // namespace
}  // namespace libqvp
