// The option scanner: letters, arguments, '?' reports, permutation of
// non-option words and optind.
#include "Argv.h"
#include "CoreTest.h"

namespace libqvp::test {

std::string join(const std::vector<std::string>& v, size_t from = 0) {
  std::string s;
  for (size_t i = from; i < v.size(); ++i) s += (i > from ? " " : "") + v[i];
  return s;
}

struct Case {
  const char* optstring;
  std::vector<std::string> words;  // after argv[0]
  const char* results;  // the answers: a letter, letter=arg or ?x, by blanks
  int optind;
  const char* argv;  // argv after the scan, without argv[0]
};

// Runs a scanner over the case's words and checks its answers, optind and
// the permuted argv; -1 must stay -1.
void check(const Case& c) {
  SCOPED_TRACE(std::string("optstring \"") + c.optstring +
               "\", words: " + join(c.words));
  std::vector<std::string> words = c.words;
  words.insert(words.begin(), "prog");
  Argv argv(words);
  GetOpt getopt(argv.argc(), argv.argv(), c.optstring);
  std::vector<std::string> results;
  for (int r; (r = getopt()) != -1;) {
    if (r == '?')
      results.push_back(std::string("?") + static_cast<char>(getopt.optopt));
    else
      results.push_back(
          std::string(1, static_cast<char>(r)) +
          (getopt.optarg ? std::string("=") + getopt.optarg : ""));
  }
  EXPECT_EQ(getopt(), -1);
  EXPECT_EQ(join(results), c.results);
  EXPECT_EQ(getopt.optind, c.optind);
  EXPECT_EQ(
      join(std::vector<std::string>(argv.argv(), argv.argv() + argv.argc()), 1),
      c.argv);
}

constexpr const char* kHandler = "ce: v: d: f: r: l: o: u: t: ";

TEST(GetOptTest, LettersAndArguments) {
  // clang-format off
  static const Case cases[] = {
      {kHandler, {}, "", 1, ""}, {kHandler, {"-c"}, "c", 2, "-c"},
      {kHandler, {"-o", "das", "x.nc"}, "o=das", 3, "-o das x.nc"},
      {kHandler, {"-odas", "x.nc"}, "o=das", 2, "-odas x.nc"},
      {kHandler, {"-cv3"}, "c v=3", 2, "-cv3"}, {kHandler, {"-cc", "-c"}, "c c c", 3, "-cc -c"},
      // An argument in the next word is taken whatever it looks like.
      {kHandler, {"-e", "-c", "x"}, "e=-c", 3, "-e -c x"},
      {kHandler, {"-e", "--"}, "e=--", 3, "-e --"}, {kHandler, {"-e", ""}, "e=", 3, "-e "},
      {"ab", {"-ab"}, "a b", 2, "-ab"},
      // Blanks in the option string are ignored, ':' is never a letter.
      {"c e :", {"-e", "x"}, "e=x", 3, "-e x"}, {"c e :", {"-c"}, "c", 2, "-c"},
      {"c e :", {"- x"}, "?  ?x", 2, "- x"}, {" c ", {"-c", "-e"}, "c ?e", 3, "-c -e"},
      {"a:", {"-:"}, "?:", 2, "-:"},
  };
  // clang-format on
  for (const auto& c : cases) check(c);
}

TEST(GetOptTest, UnknownOptionsAndMissingArguments) {
  // clang-format off
  static const Case cases[] = {
      {kHandler, {"-h"}, "?h", 2, "-h"}, {kHandler, {"-x", "-c"}, "?x c", 3, "-x -c"},
      {kHandler, {"-cxv1"}, "c ?x v=1", 2, "-cxv1"}, {kHandler, {"-o"}, "?o", 2, "-o"},
      {kHandler, {"-c", "-t"}, "c ?t", 3, "-c -t"},
      // A non-option moved to the end is not an argument for a final -t.
      {kHandler, {"x.nc", "-t"}, "?t", 2, "-t x.nc"},
  };
  // clang-format on
  for (const auto& c : cases) check(c);
}

TEST(GetOptTest, NonOptionsMoveToTheEndAndDoubleDashEndsTheOptions) {
  // clang-format off
  static const Case cases[] = {
      {kHandler, {"x.nc", "-o", "das"}, "o=das", 3, "-o das x.nc"},
      {kHandler, {"x.nc", "-c", "y", "-v", "2"}, "c v=2", 4, "-c -v 2 x.nc y"},
      {kHandler, {"a", "b", "c"}, "", 1, "a b c"},
      {kHandler, {"a", "-c", "b", "-c", "c"}, "c c", 3, "-c -c a b c"},
      {kHandler, {"-", "-c"}, "c", 2, "-c -"},  // "-" alone is a non-option
      {kHandler, {"--"}, "", 2, "--"}, {kHandler, {"-c", "--", "-v", "x"}, "c", 3, "-c -- -v x"},
      {kHandler, {"--", "-c"}, "", 2, "-- -c"},
      // Non-options met before "--" keep their place before those after it.
      {kHandler, {"a", "-c", "--", "-v", "b"}, "c", 3, "-c -- a -v b"},
      {kHandler, {"a", "--"}, "", 2, "-- a"},
      {kHandler, {"--", "--"}, "", 2, "-- --"},  // a second "--" is a word
  };
  // clang-format on
  for (const auto& c : cases) check(c);
}

TEST(GetOptTest, OptindDuringTheScanAndANullOptstring) {
  Argv argv({"prog", "-o", "das", "-c", "x"});
  GetOpt getopt(5, argv.argv(), kHandler);
  EXPECT_EQ(getopt(), 'o');
  EXPECT_EQ(getopt.optind, 3);
  EXPECT_EQ(getopt(), 'c');
  EXPECT_EQ(getopt.optarg, nullptr);
  EXPECT_EQ(getopt.optind, 4);
  EXPECT_EQ(getopt(), -1);
  EXPECT_EQ(getopt.optind, 4);

  Argv prog({"prog"});
  GetOpt none(1, prog.argv(), nullptr);
  EXPECT_EQ(none(), -1);
  EXPECT_EQ(none.optind, 1);
}

}  // namespace libqvp::test
