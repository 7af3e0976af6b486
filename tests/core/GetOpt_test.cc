// The option scanner: letters, arguments, '?' reports, permutation of
// non-option words and optind.
#include <gtest/gtest.h>
#include <libqvp/GetOpt.h>

#include <string>
#include <vector>

namespace libqvp {
namespace {

// Runs a scanner over `words` (argv[0] = "prog") and records each result as
// text: a letter, the letter and "=arg", or "?x" for a report on x. Also
// keeps optind and the permuted argv.
struct Scan {
  std::vector<std::string> results;
  int optind = 0;
  std::vector<std::string> argv;
};

Scan run(const char* optstring, std::vector<std::string> words) {
  words.insert(words.begin(), "prog");
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());
  GetOpt getopt(argc, argv.data(), optstring);
  Scan scan;
  for (int c; (c = getopt()) != -1;) {
    std::string r;
    if (c == '?') {
      r = std::string("?") + static_cast<char>(getopt.optopt);
    } else {
      r = static_cast<char>(c);
      if (getopt.optarg != nullptr) r += std::string("=") + getopt.optarg;
    }
    scan.results.push_back(r);
  }
  EXPECT_EQ(getopt(), -1) << "-1 must stay -1";
  scan.optind = getopt.optind;
  for (int i = 0; i < argc; ++i) scan.argv.push_back(argv[i]);
  return scan;
}

std::string join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += (s.empty() ? "" : " ") + x;
  return s;
}

struct Case {
  const char* optstring;
  std::vector<std::string> words;
  const char* results;  // the scanner's answers, joined by blanks
  int optind;
  const char* argv;  // argv after the scan, without argv[0]
};

void check(const Case& c) {
  const Scan scan = run(c.optstring, c.words);
  const std::string input =
      std::string("optstring \"") + c.optstring + "\", words: " + join(c.words);
  EXPECT_EQ(join(scan.results), c.results) << input;
  EXPECT_EQ(scan.optind, c.optind) << input;
  std::vector<std::string> rest(scan.argv.begin() + 1, scan.argv.end());
  EXPECT_EQ(join(rest), c.argv) << input;
}

constexpr const char* kHandler = "ce: v: d: f: r: l: o: u: t: ";

TEST(GetOptTest, LettersAndArguments) {
  static const Case cases[] = {
      {kHandler, {}, "", 1, ""},
      {kHandler, {"-c"}, "c", 2, "-c"},
      {kHandler, {"-o", "das", "x.nc"}, "o=das", 3, "-o das x.nc"},
      {kHandler, {"-odas", "x.nc"}, "o=das", 2, "-odas x.nc"},
      {kHandler, {"-cv3"}, "c v=3", 2, "-cv3"},
      {kHandler, {"-cc", "-c"}, "c c c", 3, "-cc -c"},
      // An argument in the next word is taken whatever it looks like.
      {kHandler, {"-e", "-c", "x"}, "e=-c", 3, "-e -c x"},
      {kHandler, {"-e", "--"}, "e=--", 3, "-e --"},
      {kHandler, {"-e", ""}, "e=", 3, "-e "},
      {"ab", {"-ab"}, "a b", 2, "-ab"},
  };
  for (const auto& c : cases) check(c);
}

TEST(GetOptTest, BlanksInTheOptionStringAreIgnored) {
  static const Case cases[] = {
      // The blank is not an option letter, and "e :" still takes an argument.
      {"c e :", {"-e", "x"}, "e=x", 3, "-e x"},
      {"c e :", {"-c"}, "c", 2, "-c"},
      {"c e :", {"- x"}, "?  ?x", 2, "- x"},
      {" c ", {"-c", "-e"}, "c ?e", 3, "-c -e"},
      // ':' itself is never a letter.
      {"a:", {"-:"}, "?:", 2, "-:"},
  };
  for (const auto& c : cases) check(c);
}

TEST(GetOptTest, UnknownOptionsAndMissingArguments) {
  static const Case cases[] = {
      {kHandler, {"-h"}, "?h", 2, "-h"},
      {kHandler, {"-x", "-c"}, "?x c", 3, "-x -c"},
      {kHandler, {"-cxv1"}, "c ?x v=1", 2, "-cxv1"},
      {kHandler, {"-o"}, "?o", 2, "-o"},
      {kHandler, {"-c", "-t"}, "c ?t", 3, "-c -t"},
      // A non-option moved to the end is not an argument for a final -t.
      {kHandler, {"x.nc", "-t"}, "?t", 2, "-t x.nc"},
  };
  for (const auto& c : cases) check(c);
}

TEST(GetOptTest, OptionsAfterNonOptionsStillApply) {
  static const Case cases[] = {
      {kHandler, {"x.nc", "-o", "das"}, "o=das", 3, "-o das x.nc"},
      {kHandler, {"x.nc", "-c", "y", "-v", "2"}, "c v=2", 4, "-c -v 2 x.nc y"},
      {kHandler, {"a", "b", "c"}, "", 1, "a b c"},
      {kHandler, {"a", "-c", "b", "-c", "c"}, "c c", 3, "-c -c a b c"},
      // "-" alone is a non-option word.
      {kHandler, {"-", "-c"}, "c", 2, "-c -"},
  };
  for (const auto& c : cases) check(c);
}

TEST(GetOptTest, DoubleDashEndsTheOptions) {
  static const Case cases[] = {
      {kHandler, {"--"}, "", 2, "--"},
      {kHandler, {"-c", "--", "-v", "x"}, "c", 3, "-c -- -v x"},
      {kHandler, {"--", "-c"}, "", 2, "-- -c"},
      // Non-options met before "--" keep their place before those after it.
      {kHandler, {"a", "-c", "--", "-v", "b"}, "c", 3, "-c -- a -v b"},
      {kHandler, {"a", "--"}, "", 2, "-- a"},
      // A second "--" is an ordinary word.
      {kHandler, {"--", "--"}, "", 2, "-- --"},
  };
  for (const auto& c : cases) check(c);
}

TEST(GetOptTest, OptindDuringTheScan) {
  std::vector<std::string> words = {"prog", "-o", "das", "-c", "x"};
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(&w[0]);
  GetOpt getopt(5, argv.data(), kHandler);
  EXPECT_EQ(getopt(), 'o');
  EXPECT_EQ(getopt.optind, 3);
  EXPECT_EQ(getopt(), 'c');
  EXPECT_EQ(getopt.optarg, nullptr);
  EXPECT_EQ(getopt.optind, 4);
  EXPECT_EQ(getopt(), -1);
  EXPECT_EQ(getopt.optind, 4);
}

TEST(GetOptTest, ProgramNameOnlyAndNullOptstring) {
  char prog[] = "prog";
  char* argv[] = {prog, nullptr};
  GetOpt getopt(1, argv, nullptr);
  EXPECT_EQ(getopt(), -1);
  EXPECT_EQ(getopt.optind, 1);
}

}  // namespace
}  // namespace libqvp
