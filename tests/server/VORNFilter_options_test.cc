// Command lines that VORNFilter accepts (with the state they give) and those
// it rejects (usage text logged once, Error 1001, nothing on stdout).
#include <climits>
#include <limits>

#include "ServerTest.h"

namespace libqvp {
namespace {

const char kEmessage[] =
    "VORN internal server error; usage error. Please report this to the "
    "dataset maintainer, or to the qvp-support@lists.libqvp.org mailing list.";

// The usage text, built line by line from its layout.
std::string expected_usage() {
  static const char* const kLines[] = {
      "options: -o <response>: DAS, DDS, DataDDS, DDX, BLOB or Version "
      "(Required)",
      "-u <url>: The complete URL minus the CE (required for DDX)",
      "-c: Compress the response using the deflate algorithm.",
      "-e <expr>: When returning a DataDDS, use <expr> as the constraint.",
      "-v <version>: Use <version> as the version number",
      "-d <dir>: Look for ancillary file in <dir> (deprecated).",
      "-f <file>: Look for ancillary data in <file> (deprecated).",
      "-r <dir>: Use <dir> as a cache directory",
      "-l <time>: Conditional request; if data source is unchanged since",
      "<time>, return an HTTP 304 response.",
      "-t <seconds>: Timeout the handler after <seconds>.",
      "-h: This message."};
  std::string text =
      "Usage: <handler name> -o <response> -u <url> [options ...] [data "
      "set]\n    ";
  for (const char* line : kLines) text += std::string("\n    ") + line;
  return text;
}

// Exposes the protected state for checking.
class Probe : public VORNFilter {
 public:
  using VORNFilter::process_options;
  using VORNFilter::VORNFilter;
  std::string program_name() const { return d_program_name; }
  bool comp() const { return d_comp; }
  std::string anc_dir() const { return d_anc_dir; }
  std::string anc_file() const { return d_anc_file; }
};

const time_t kTimeMax = std::numeric_limits<time_t>::max();
const time_t kTimeMin = std::numeric_limits<time_t>::min();

TEST(VORNFilterOptionsTest, AcceptsCommandLines) {
  using V = VORNFilter;
  const V::Response U = V::Unknown_Response;
  static const struct {
    std::vector<std::string> argv;  // after argv[0], "h"
    struct {
      VORNFilter::Response response;
      const char *action, *dataset, *ce;
      time_t if_modified_since;  // -1 unless -l made the request conditional
      int timeout;
    } expected;
  } cases[] = {
      {{"-o", "Version"}, {V::Version_Response, "version", "", "", -1, 0}},
      {{"-o", "das", "ds.nc"}, {V::DAS_Response, "das", "ds.nc", "", -1, 0}},
      {{"-o", "DAS", "ds.nc"}, {V::DAS_Response, "das", "ds.nc", "", -1, 0}},
      {{"-o", "DDS", "ds.nc"}, {V::DDS_Response, "dds", "ds.nc", "", -1, 0}},
      {{"-o", "dds", "ds.nc"}, {V::DDS_Response, "dds", "ds.nc", "", -1, 0}},
      {{"-o", "DataDDS", "ds"}, {V::DataDDS_Response, "vorn", "ds", "", -1, 0}},
      {{"-o", "vorn", "ds"}, {V::DataDDS_Response, "vorn", "ds", "", -1, 0}},
      {{"-o", "DDX", "ds"}, {V::DDX_Response, "ddx", "ds", "", -1, 0}},
      {{"-o", "ddx", "ds"}, {V::DDX_Response, "ddx", "ds", "", -1, 0}},
      {{"-oVersion", "ds"}, {V::Version_Response, "version", "ds", "", -1, 0}},
      // No -o: the handler decides what to answer.
      {{"ds.nc"}, {U, "", "ds.nc", "", -1, 0}},
      // Decoding: escapes decoded, %20 kept; the same for -e.
      {{"-o", "das", "a%2Fb%20c"},
       {V::DAS_Response, "das", "a/b%20c", "", -1, 0}},
      {{"-e", "a%2Fb%20c", "ds"}, {U, "", "ds", "a/b%20c", -1, 0}},
      {{"-e", "x%", "ds%4"}, {U, "", "ds%4", "x%", -1, 0}},
      // The first non-option is the data set; later ones are ignored.
      {{"first", "second"}, {U, "", "first", "", -1, 0}},
      // Options after the data set still apply.
      {{"ds", "-o", "dds"}, {V::DDS_Response, "dds", "ds", "", -1, 0}},
      // A later occurrence overrides an earlier one.
      {{"-o", "das", "-o", "ddx", "ds"},
       {V::DDX_Response, "ddx", "ds", "", -1, 0}},
      {{"-t", "3", "-t", "8", "ds"}, {U, "", "ds", "", -1, 8}},
      // -l as strtol reads it; clamped to the range of time_t.
      {{"-l", "1000", "ds"}, {U, "", "ds", "", 1000, 0}},
      {{"-l", "abc", "ds"}, {U, "", "ds", "", 0, 0}},
      {{"-l", "", "ds"}, {U, "", "ds", "", 0, 0}},
      {{"-l", "  -12x", "ds"}, {U, "", "ds", "", -12, 0}},
      {{"-l", "+7", "ds"}, {U, "", "ds", "", 7, 0}},
      {{"-l", "99999999999999999999999", "ds"}, {U, "", "ds", "", kTimeMax, 0}},
      {{"-l", "-99999999999999999999999", "ds"},
       {U, "", "ds", "", kTimeMin, 0}},
      // -t as atoi reads it; clamped to the range of int.
      {{"-t", "abc", "ds"}, {U, "", "ds", "", -1, 0}},
      {{"-t", "-3", "ds"}, {U, "", "ds", "", -1, -3}},
      {{"-t", " \t+7s", "ds"}, {U, "", "ds", "", -1, 7}},
      {{"-t", "2147483647", "ds"}, {U, "", "ds", "", -1, INT_MAX}},
      {{"-t", "2147483648", "ds"}, {U, "", "ds", "", -1, INT_MAX}},
      {{"-t", "-2147483649", "ds"}, {U, "", "ds", "", -1, INT_MIN}},
      {{"-t", "99999999999999999999999", "ds"}, {U, "", "ds", "", -1, INT_MAX}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> words{"h"};
    words.insert(words.end(), c.argv.begin(), c.argv.end());
    SCOPED_TRACE(testing::PrintToString(words));
    Argv a(words);
    CaptureCerr cerr;
    Probe f(a.argc(), a.argv());
    EXPECT_EQ(c.expected.response, f.get_response());
    EXPECT_EQ(c.expected.action, f.get_action());
    EXPECT_EQ(c.expected.dataset, f.get_dataset_name());
    EXPECT_EQ(c.expected.ce, f.get_ce());
    EXPECT_EQ(c.expected.if_modified_since != -1, f.is_conditional());
    EXPECT_EQ(c.expected.if_modified_since, f.get_request_if_modified_since());
    EXPECT_EQ(c.expected.timeout, f.get_timeout());
    EXPECT_EQ("h", f.program_name());
    EXPECT_EQ("", f.get_dataset_version());
    EXPECT_EQ("", cerr.text());
  }
}

// Each option letter reaches its own field: a swapped letter (-d for -f,
// -r for -d) would send the ancillary lookups to the wrong place.
TEST(VORNFilterOptionsTest, EachOptionReachesItsField) {
  Argv a({"prog", "-c", "-d", "/anc/", "-f", "base", "-r", "/cache", "-u",
          "http://h/data/sst.nc", "-v", "dispatch/1.2", "sst.nc"});
  Probe f(a.argc(), a.argv());
  EXPECT_TRUE(f.comp());
  EXPECT_EQ("/anc/", f.anc_dir());
  EXPECT_EQ("base", f.anc_file());
  EXPECT_EQ("/cache", f.get_cache_dir());
  EXPECT_EQ("http://h/data/sst.nc", f.get_URL());
  EXPECT_EQ("dispatch/1.2", f.get_cgi_version());
}

TEST(VORNFilterOptionsTest, RejectsCommandLines) {
  static const std::vector<std::string> cases[] = {
      {"h"},                      // program name alone
      {"h", "-o", "das"},         // no data set
      {"h", "-o", "das", "--"},   // "--" leaves no data set
      {"h", "-h", "ds"},          // help
      {"h", "-x", "ds"},          // unknown option
      {"h", "-cx", "ds"},         // unknown option in a group
      {"h", "ds", "-o"},          // missing argument
      {"h", "-o", "BLOB", "ds"},  // listed in the usage, still refused
      {"h", "-o", "blob", "ds"},
      {"h", "-o", "version", "ds"},  // case matters
      {"h", "-o", "Das", "ds"},
      {"h", "-o", "", "ds"},
      {"h", "-u", "http://h/x?x=1", "ds"},
      {"h", "-u", "?", "ds"},
      {"h", "-o", "bad", "-v", "3", "ds"},  // first error stops parsing
      {"h", "-t", "5"},
  };
  for (const auto& words : cases) {
    SCOPED_TRACE(testing::PrintToString(words));
    Argv a(words);
    CaptureCerr cerr;
    CaptureStdout out;
    expect_error([&] { VORNFilter f(a.argc(), a.argv()); }, usage_error,
                 kEmessage);
    EXPECT_EQ("", out.finish());
    // One log entry: "[<24-char time>] QVP server error: <usage>\n".
    const std::string log = cerr.text();
    const std::string prefix = "] QVP server error: ";
    ASSERT_GE(log.size(), 25 + prefix.size());
    EXPECT_EQ('[', log[0]);
    EXPECT_EQ(prefix, log.substr(25, prefix.size()));
    EXPECT_EQ(expected_usage() + "\n", log.substr(25 + prefix.size()));
  }
}

// A handler whose print_usage() returns: the rules for "should that return".
class LenientProbe : public Probe {
 public:
  LenientProbe() = default;
  void print_usage() const override { ++d_usage_calls; }
  mutable int d_usage_calls = 0;
};

TEST(VORNFilterOptionsTest, ScanningGoesOnWhenPrintUsageReturns) {
  LenientProbe f;
  Argv a({"h", "-x", "-u", "http://h/x?y", "-o", "BLOB", "-v", "3", "ds"});
  const int next = f.process_options(a.argc(), a.argv());
  EXPECT_EQ(3, f.d_usage_calls);
  EXPECT_EQ("3", f.get_cgi_version());
  EXPECT_EQ("http://h/x?y", f.get_URL());  // stored after print_usage returns
  EXPECT_EQ(VORNFilter::Unknown_Response, f.get_response());
  EXPECT_EQ("", f.get_action());
  ASSERT_LT(next, a.argc());
  EXPECT_STREQ("ds", a.argv()[next]);
}

TEST(VORNFilterOptionsTest, SettersDecode) {
  VORNFilter f;
  f.set_dataset_name("x%41%20y%2");
  EXPECT_EQ("xA%20y%2", f.get_dataset_name());
  f.set_ce("sst%5B0%5D");
  EXPECT_EQ("sst[0]", f.get_ce());
  f.set_cgi_version("%41");
  EXPECT_EQ("%41", f.get_cgi_version());  // stored unchanged
}

}  // namespace
}  // namespace libqvp
