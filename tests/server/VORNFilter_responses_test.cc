// The DAS, DDS, DDX, BLOB and version responses: the conditional rule, whole
// responses byte for byte in both output forms, function refusal and the
// flush points.
#include <tuple>

#include "ServerTest.h"

namespace libqvp {
namespace {

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

// The responses of the cases file, in both forms. DAS and DDS flush once, at
// the end (after a 304 header as well); the DDX never flushes. Each asks for
// the times with its own ancillary location.
TEST(VORNFilterResponsesConditionalTest, MetadataFollowsTheConditionalRule) {
  for (const auto& c : data_cases("conditional_responses.txt")) {
    SCOPED_TRACE(c[0] + " | " + c[1] + " | " + c[2] + " | " + c[3]);
    const std::string& kind = c[0];
    const bool conditional = c[1] == "1", mime = c[3] == "1";
    Responses r(conditional, kLmt + std::stoll(c[2]));
    r.f.set_ce_raw("count");
    const Written w = test::run_both([&](auto&& out) {
      if (kind == "vorn_das") r.f.send_das(out, r.das, "/mine/", mime);
      if (kind == "vorn_dds") r.f.send_dds(out, r.dds, r.eval, true, "", mime);
      if (kind == "qvp4_ddx") r.f.send_ddx(r.dds, r.eval, out, mime);
    });
    EXPECT_EQ(c[4], w.file_bytes);
    EXPECT_EQ(c[4], w.stream_bytes);
    const std::vector<size_t> flushes = kind == "qvp4_ddx"
                                            ? std::vector<size_t>{}
                                            : std::vector<size_t>{c[4].size()};
    EXPECT_EQ(flushes, w.file_flushes);
    EXPECT_EQ(flushes, w.stream_flushes);
    EXPECT_EQ(kind == "vorn_das"   ? "/mine/"
              : kind == "vorn_dds" ? ""
                                   : "/anc/",
              r.f.d_anc_seen);
    EXPECT_EQ(conditional ? 2 : 0, r.f.d_ims_calls);  // two forms
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

// Without a constraint the BLOB link ends in a bare '?'; with one,
// conditional_responses.txt pins "blob?count".
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
  for (const auto& c : data_cases("versions.txt")) {
    SCOPED_TRACE(c[0] + "/" + c[1]);
    FakeFilter f(true, kLmt);
    f.set_cgi_version(c[0]);
    f.d_version = c[1];
    CaptureStdout capture;
    f.send_version_info();
    EXPECT_EQ(c[2], capture.finish());
    EXPECT_EQ(0, f.d_lmt_calls);
  }
}

}  // namespace
}  // namespace libqvp
