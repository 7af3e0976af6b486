// The HTTP header blocks in both forms, and the version response.
#include <stdio_ext.h>

#include "ServerTest.h"

namespace libqvp {
namespace {

// A writer's two forms, callable as either.
struct Writers {
  std::function<void(FILE*)> file;
  std::function<void(std::ostream&)> stream;
  void operator()(FILE* f) const { file(f); }
  void operator()(std::ostream& s) const { stream(s); }
};

// Writes one block through both forms, checks that they are byte for byte
// equal and returns it with "<now>" for each date of the current time.
std::string both_forms(const Writers& w) {
  const time_t from = time(nullptr);
  const Written r = test::run_both(w, [&](std::string block) {
    for (time_t t = from; t <= time(nullptr); ++t) {
      const std::string now = rfc822_date(t);
      for (size_t at; (at = block.find(now)) != std::string::npos;)
        block.replace(at, now.size(), "<now>");
    }
    return block;
  });
  EXPECT_EQ(r.file_bytes, r.stream_bytes);
  return r.file_bytes;
}

// The writer of kind "text", "html" or "binary" with these arguments.
Writers ok_writers(const std::string& kind, ObjectType type,
                   const std::string& ver, EncodingType enc, time_t lm) {
  using F = void (*)(FILE*, ObjectType, const std::string&, EncodingType,
                     const time_t);
  using S = void (*)(std::ostream&, ObjectType, const std::string&,
                     EncodingType, const time_t);
  const int i = kind == "text" ? 0 : kind == "html" ? 1 : 2;
  static const F files[] = {set_mime_text, set_mime_html, set_mime_binary};
  static const S streams[] = {set_mime_text, set_mime_html, set_mime_binary};
  return {[=](FILE* f) { files[i](f, type, ver, enc, lm); },
          [=](std::ostream& s) { streams[i](s, type, ver, enc, lm); }};
}

TEST(CgiHeadersTest, OkBlockForEveryWriterObjectTypeAndOption) {
  for (const auto& c : data_cases("ok_blocks.txt")) {
    SCOPED_TRACE(c[0] + " | " + c[1] + " | " + c[2] + " | " + c[3] + " | " +
                 c[4]);
    EXPECT_EQ(
        both_forms(ok_writers(c[0], ObjectType(std::stoi(c[1])), c[2],
                              EncodingType(std::stoi(c[3])), std::stoll(c[4]))),
        c[5]);
  }
}

TEST(CgiHeadersTest, ErrorAndNotModifiedBlocks) {
  for (const auto& c : data_cases("error_blocks.txt")) {
    const int code = std::stoi(c[0]);
    const Writers w{
        [&](FILE* f) { set_mime_error(f, code, c[1], c[2]); },
        [&](std::ostream& s) { set_mime_error(s, code, c[1], c[2]); }};
    EXPECT_EQ(both_forms(w), c[3]) << code;
  }
  const Writers w{[](FILE* f) { set_mime_not_modified(f); },
                  [](std::ostream& s) { set_mime_not_modified(s); }};
  EXPECT_EQ(both_forms(w), "HTTP/1.0 304 NOT MODIFIED\r\nDate: <now>\r\n\r\n");
}

TEST(CgiHeadersTest, ErrorCodeFollowsTheStreamBaseButNotTheFileForm) {
  std::ostringstream out;
  out << std::hex;
  set_mime_error(out, 404, "Not Found", "");
  EXPECT_EQ(out.str().substr(0, 24), "HTTP/1.0 194 Not Found\r\n");
  const std::string block =
      capture_file([](FILE* f) { set_mime_error(f, 404, "Not Found", ""); });
  EXPECT_EQ(block.substr(0, 24), "HTTP/1.0 404 Not Found\r\n");
}

TEST(CgiHeadersTest, WritersAppendWithoutFlushing) {
  char buf[4096];
  FILE* f = tmpfile();
  ASSERT_NE(f, nullptr);
  setvbuf(f, buf, _IOFBF, sizeof buf);
  fputs("before", f);
  set_mime_not_modified(f);
  set_mime_text(f, vorn_das, "", x_plain, 1);
  set_mime_error(f, 400, "Bad Request", "");
  EXPECT_GT(__fpending(f), 0u);  // still in the buffer: nothing flushed
  rewind(f);
  char first[7] = {};
  ASSERT_EQ(fread(first, 1, 6, f), 6u);
  EXPECT_STREQ(first, "before");
  fclose(f);
}

TEST(CgiHeadersTest, DoVersion) {
  for (const auto& c : data_cases("versions.txt")) {
    SCOPED_TRACE(c[0] + "/" + c[1]);
    CaptureStdout capture;
    EXPECT_TRUE(do_version(c[0], c[1]));
    EXPECT_EQ(__fpending(stdout), 0u) << "do_version must flush";
    EXPECT_EQ(capture.finish(), c[2]);
  }
}

}  // namespace
}  // namespace libqvp
