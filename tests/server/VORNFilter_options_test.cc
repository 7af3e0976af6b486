// Command lines that VORNFilter accepts (with the state they give) and those
// it rejects (usage text logged once, Error 1001, nothing on stdout).
#include <map>

#include "ServerTest.h"

namespace libqvp {
namespace {

const char kEmessage[] =
    "VORN internal server error; usage error. Please report this to the "
    "dataset maintainer, or to the qvp-support@lists.libqvp.org mailing list.";

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

// The response that each action names.
VORNFilter::Response response_of(const std::string& action) {
  using V = VORNFilter;
  static const std::map<std::string, V::Response> responses = {
      {"version", V::Version_Response}, {"das", V::DAS_Response},
      {"dds", V::DDS_Response},         {"vorn", V::DataDDS_Response},
      {"ddx", V::DDX_Response},         {"", V::Unknown_Response}};
  return responses.at(action);
}

TEST(VORNFilterOptionsTest, AcceptsCommandLines) {
  for (const auto& c : data_cases("accepted_options.txt")) {
    std::vector<std::string> words{"h"};
    words.insert(words.end(), c.begin() + 5, c.end());
    SCOPED_TRACE(testing::PrintToString(words));
    Argv a(words);
    CaptureCerr cerr;
    Probe f(a.argc(), a.argv());
    EXPECT_EQ(response_of(c[0]), f.get_response());
    EXPECT_EQ(c[0], f.get_action());
    EXPECT_EQ(c[1], f.get_dataset_name());
    EXPECT_EQ(c[2], f.get_ce());
    EXPECT_EQ(c[3] != "-1", f.is_conditional());
    EXPECT_EQ(std::stoll(c[3]), f.get_request_if_modified_since());
    EXPECT_EQ(std::stoi(c[4]), f.get_timeout());
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
  const std::string usage = data_file("usage.txt");
  for (const auto& words : data_cases("refused_options.txt")) {
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
    EXPECT_EQ(usage, log.substr(25 + prefix.size()));
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
