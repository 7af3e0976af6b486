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
  for (const auto& c : data_cases("mime_headers.txt")) {
    FILE* f = test::file_reading(c[0]);
    EXPECT_EQ(remove_mime_header(f), c[1] == "1") << c[0].substr(0, 40);
    EXPECT_EQ(rest_of(f), c[2]) << c[0].substr(0, 40);
    fclose(f);
  }
  FILE* f = test::file_reading("\r\nbody");
  rest_of(f);  // sets the end-of-file indicator
  EXPECT_FALSE(remove_mime_header(f));
  fclose(f);
}

TEST(NamePathTest, NamePart) {
  for (const auto& c : data_cases("name_paths.txt"))
    EXPECT_EQ(name_path(c[0]), c[1]) << c[0];
}

// The copy rule, seen through found_override.
TEST(FoundOverrideTest, CopiesLineByLine) {
  TempDir dir;
  for (const auto& c : data_cases("overrides.txt")) {
    dir.write("sst.nc.ovr", c[0]);
    std::string doc = "old";
    EXPECT_TRUE(found_override(dir / "sst.nc", doc)) << c[0];
    EXPECT_EQ(doc, c[1]) << c[0];
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

TEST(UserDocsTest, ServerAndDatasetDocuments) {
  const char* const files[] = {"bin/handler.html", "data/sst2001.nc.html",
                               "data/sst.html"};
  for (const auto& c : data_cases("user_docs.txt")) {
    SCOPED_TRACE(c[0] + " | " + c[1] + " | " + c[2]);
    TempDir dir;
    dir.mkdir("data");
    for (int i = 0; i < 3; ++i) {
      if (c[i] == "/")
        dir.mkdir(files[i]);
      else if (c[i] != "-")
        dir.write(files[i], c[i]);
    }
    EXPECT_EQ(
        get_user_supplied_docs(dir / "data/sst2001.nc", dir / "bin/handler"),
        c[4]);
    std::string read;
    for (const std::string& name :
         user_supplied_doc_names(dir / "data/sst2001.nc", dir / "bin/handler"))
      read += (read.empty() ? "" : " ") +
              (name.empty() ? "-" : name.substr((dir / "").size()));
    EXPECT_EQ(read, c[3]);
  }
}

// A data set's documents and override files are read only when they are
// regular files inside the data root (here the data set's directory, no root
// being configured): a link out of it, or a fifo that would block the read,
// counts as missing. The server document may lie anywhere.
TEST(UserDocsTest, OnlyRegularFilesInsideTheRootAreRead) {
  TempDir dir;
  const std::string outside = dir.write("outside.html", "SECRET");
  dir.write("bin/handler.html", "S");
  dir.mkdir("data");
  const std::string dataset = dir / "data/sst2001.nc";
  std::string doc = "kept";
  const char* const names[] = {"data/sst2001.nc.html", "data/sst.html",
                               "data/sst2001.nc.ovr"};
  for (bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "fifo" : "link out");
    for (const char* name : names) {
      const std::string at = dir / name;
      ASSERT_EQ(fifo ? mkfifo(at.c_str(), 0600)
                     : symlink(outside.c_str(), at.c_str()),
                0)
          << name;
    }
    EXPECT_EQ(get_user_supplied_docs(dataset, dir / "bin/handler"), "S\n<hr>");
    EXPECT_EQ(user_supplied_doc_names(dataset, dir / "bin/handler"),
              (std::array<std::string, 2>{dir / "bin/handler.html", ""}));
    EXPECT_FALSE(found_override(dataset, doc));
    EXPECT_EQ(doc, "kept");
    for (const char* name : names) unlink((dir / name).c_str());
  }
  // A link inside the root is followed.
  dir.write("data/notes.txt", "inside");
  ASSERT_EQ(symlink("notes.txt", (dir / "data/sst2001.nc.ovr").c_str()), 0);
  EXPECT_TRUE(found_override(dataset, doc));
  EXPECT_EQ(doc, "inside\n");
}

}  // namespace
}  // namespace libqvp
