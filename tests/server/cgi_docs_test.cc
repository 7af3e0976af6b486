// MIME header stripping, name_path, user-supplied documents and overrides.
#include "ServerTest.h"

namespace libqvp {
namespace {

// The bytes left in `f` from its current position.
std::string rest_of(FILE* f) {
  std::string rest;
  for (int c; (c = getc(f)) != EOF;) rest += static_cast<char>(c);
  return rest;
}

TEST(RemoveMimeHeaderTest, StopsAfterTheFirstCrLfLine) {
  const std::string x254(254, 'x');
  const std::string x300(300, 'x');
  static const std::string nul("a\0b\r\n\r\nbody", 11);
  const struct {
    std::string input;
    bool found;
    std::string rest;
  } cases[] = {
      {"Content-Type: text/plain\r\n\r\nbody", true, "body"},
      {"\r\nbody", true, "body"},
      {"A: b\r\n\r\n\r\nx", true, "\r\nx"},
      {"A: b\r\n\r\n", true, ""},
      {"", false, ""},
      {"A: b\r\nC: d\r\n", false, ""},
      // Only a line of exactly CR LF ends the header.
      {"A: b\n\nbody", false, ""},
      {"\n\r\nbody", true, "body"},
      {"\r\r\n\r\nbody", true, "body"},
      {"A\r\n \r\nbody\r\n", false, ""},
      {"\r", false, ""},
      {"\rX\n", false, ""},
      // Long lines end the header only where an empty line follows.
      {x254 + "\r\nB: c\r\n\r\nbody", true, "body"},
      {x254 + "\r\n\r\nbody", true, "body"},
      {x300 + "\r\n\r\nbody", true, "body"},
      {std::string(253, 'x') + "\r\r\nB: c\r\n\r\nbody", true, "body"},
      {x300, false, ""},
      // A NUL inside a header line is an ordinary byte.
      {nul, true, "body"},
  };
  for (const auto& c : cases) {
    FILE* f = test::file_reading(c.input);
    EXPECT_EQ(remove_mime_header(f), c.found) << c.input.substr(0, 40);
    EXPECT_EQ(rest_of(f), c.rest) << c.input.substr(0, 40);
    fclose(f);
  }
  FILE* f = test::file_reading("\r\nbody");
  rest_of(f);  // sets the end-of-file indicator
  EXPECT_FALSE(remove_mime_header(f));
  fclose(f);
}

TEST(NamePathTest, NamePart) {
  static const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"", ""},
      {"/data/sst.nc", "sst.nc"},
      {"sst.nc", "sst.nc"},
      {"/data/", ""},
      {"/data/sst.nc#temp", "temp"},
      {"a#b/c", "b/c"},
      {"a#", ""},
      {"#", ""},
      {"/", ""},
      {"a#b#c", "c"},
  };
  for (const auto& c : cases) EXPECT_EQ(name_path(c.path), c.name) << c.path;
}

// The copy rule, seen through found_override.
TEST(FoundOverrideTest, CopiesLineByLine) {
  const std::string long_line(1000, 'y');
  const struct {
    std::string content;
    std::string doc;
  } cases[] = {
      {"", "\n"},
      {"\n", "\n\n"},
      {"a\nb\n", "a\nb\n\n"},
      {"a\nb", "a\nb\n"},
      {"a\r\n", "a\r\n\n"},
      {"\n\n", "\n\n\n"},
      {std::string("a\0b\nc", 5), "a\nc\n"},
      {std::string("\0", 1), "\n"},
      {std::string("x\0\n\0y\n", 6), "x\n\n\n"},
      {std::string(254, 'z') + "\n", std::string(254, 'z') + "\n\n"},
      {std::string(255, 'z') + "\n", std::string(255, 'z') + "\n\n"},
      {long_line + "\nend", long_line + "\nend\n"},
      {long_line, long_line + "\n"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    dir.write("sst.nc.ovr", c.content);
    std::string doc = "old";
    EXPECT_TRUE(found_override(dir / "sst.nc", doc)) << c.content;
    EXPECT_EQ(doc, c.doc) << c.content;
  }
}

// No file, a file with the suffix substituted (it is appended), a
// directory: no override, the document is left alone.
TEST(FoundOverrideTest, MissingFileLeavesTheDocument) {
  TempDir dir;
  std::string doc = "kept";
  for (const auto& make : std::vector<std::function<void()>>{
           [] {}, [&] { dir.write("sst.ovr", "x"); },
           [&] { dir.mkdir("sst.nc.ovr"); }}) {
    make();
    EXPECT_FALSE(found_override(dir / "sst.nc", doc));
    EXPECT_EQ(doc, "kept");
  }
}

class UserDocsTest : public ::testing::Test {
 protected:
  std::string docs(const std::string& dataset) {
    return get_user_supplied_docs(d_dir / dataset, d_dir / "bin/handler");
  }
  TempDir d_dir;
};

TEST_F(UserDocsTest, ServerAndDatasetDocuments) {
  static const struct {
    const char* server;   // bin/handler.html, or null
    const char* dataset;  // data/sst2001.nc.html, "/" a directory, or null
    const char* group;    // data/sst.html, or null
    const char* expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, ""},
      {"S1\nS2\n", nullptr, nullptr, "S1\nS2\n\n<hr>"},
      {"", nullptr, nullptr, "\n<hr>"},
      {nullptr, "D", nullptr, "D\n"},
      {"S", "D\n", nullptr, "S\n<hr>D\n\n"},
      {nullptr, nullptr, "G", "G\n"},
      {"S\n", nullptr, "G", "S\n\n<hr>G\n"},
      {nullptr, "D", "G", "D\n"},  // the data set's own document wins
      {nullptr, "/", "G", "G\n"},  // a directory in its place is skipped
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string name = dir / "data/sst2001.nc";
    dir.mkdir("data");
    if (c.server) dir.write("bin/handler.html", c.server);
    if (c.dataset && *c.dataset == '/')
      dir.mkdir("data/sst2001.nc.html");
    else if (c.dataset)
      dir.write("data/sst2001.nc.html", c.dataset);
    if (c.group) dir.write("data/sst.html", c.group);
    EXPECT_EQ(get_user_supplied_docs(name, dir / "bin/handler"), c.expected)
        << (c.server ? "server " : "") << (c.dataset ? "dataset " : "")
        << (c.group ? "group" : "");
  }
}

// A data set's documents and override files are read only when they are
// regular files inside the data root (here the data set's directory, no root
// being configured): a link out of it, or a fifo that would block the read,
// counts as missing. The server document may lie anywhere.
TEST_F(UserDocsTest, OnlyRegularFilesInsideTheRootAreRead) {
  const std::string outside = d_dir.write("outside.html", "SECRET");
  d_dir.write("bin/handler.html", "S");
  d_dir.mkdir("data");
  const std::string dataset = d_dir / "data/sst2001.nc";
  std::string doc = "kept";
  const char* const names[] = {"data/sst2001.nc.html", "data/sst.html",
                               "data/sst2001.nc.ovr"};
  for (bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "fifo" : "link out");
    for (const char* name : names) {
      const std::string at = d_dir / name;
      ASSERT_EQ(fifo ? mkfifo(at.c_str(), 0600)
                     : symlink(outside.c_str(), at.c_str()),
                0)
          << name;
    }
    EXPECT_EQ(docs("data/sst2001.nc"), "S\n<hr>");
    EXPECT_FALSE(found_override(dataset, doc));
    EXPECT_EQ(doc, "kept");
    for (const char* name : names) unlink((d_dir / name).c_str());
  }
  // A link inside the root is followed.
  d_dir.write("data/notes.txt", "inside");
  ASSERT_EQ(symlink("notes.txt", (d_dir / "data/sst2001.nc.ovr").c_str()), 0);
  EXPECT_TRUE(found_override(dataset, doc));
  EXPECT_EQ(doc, "inside\n");
}

}  // namespace
}  // namespace libqvp
