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

enum Kind { text, html, binary };

Writers ok_writers(Kind kind, ObjectType type, const std::string& ver,
                   EncodingType enc, time_t lm) {
  using F = void (*)(FILE*, ObjectType, const std::string&, EncodingType,
                     const time_t);
  using S = void (*)(std::ostream&, ObjectType, const std::string&,
                     EncodingType, const time_t);
  static const F files[] = {set_mime_text, set_mime_html, set_mime_binary};
  static const S streams[] = {set_mime_text, set_mime_html, set_mime_binary};
  return {[=](FILE* f) { files[kind](f, type, ver, enc, lm); },
          [=](std::ostream& s) { streams[kind](s, type, ver, enc, lm); }};
}

// Every writer and object type, each with every variant of the version
// (empty: the library's), the encoding and the last-modified time (zero or
// less: the date).
TEST(CgiHeadersTest, OkBlockForEveryWriterObjectTypeAndOption) {
  static const struct {
    Kind kind;
    ObjectType type;
    const char* type_line;    // up to the description
    const char* description;  // then, for vorn_error, Cache-Control
  } cases[] = {
      {text, unknown_type, "Content-Type: text/plain", "unknown"},
      {text, vorn_das, "Content-Type: text/plain", "vorn_das"},
      {text, vorn_dds, "Content-Type: text/plain", "vorn_dds"},
      {text, vorn_data, "Content-Type: text/plain", "vorn_data"},
      {text, vorn_error, "Content-Type: text/plain", "vorn_error"},
      {text, web_error, "Content-Type: text/plain", "web_error"},
      {text, qvp4_ddx, "Content-Type: text/xml", "qvp4_ddx"},
      {html, vorn_das, "Content-type: text/html", "vorn_das"},
      {html, vorn_error, "Content-type: text/html", "vorn_error"},
      {html, qvp4_ddx, "Content-type: text/html", "qvp4_ddx"},
      {binary, vorn_data, "Content-Type: application/octet-stream",
       "vorn_data"},
      {binary, vorn_error, "Content-Type: application/octet-stream",
       "vorn_error"},  // no Cache-Control from the binary writer
      {binary, qvp4_ddx, "Content-Type: application/octet-stream", "qvp4_ddx"},
      // Values outside the enumerators are described as "unknown".
      {text, static_cast<ObjectType>(7), "Content-Type: text/plain", "unknown"},
      {binary, static_cast<ObjectType>(-1),
       "Content-Type: application/octet-stream", "unknown"},
  };
  static const struct {
    const char* ver;
    const char* server;
    EncodingType enc;
    const char* enc_line;
    time_t lm;
    const char* lm_text;
  } options[] = {
      {"", "libqvp/3.8.2", x_plain, "", 1, "Thu, 01 Jan 1970 00:00:01 GMT"},
      {" ", " ", deflate, "Content-Encoding: deflate\r\n", 0, "<now>"},
      {"dispatch/1.0", "dispatch/1.0", unknown_enc,
       "Content-Encoding: unknown\r\n", -1, "<now>"},
      {"", "libqvp/3.8.2", static_cast<EncodingType>(3),
       "Content-Encoding: unknown\r\n", -86400, "<now>"},
      {"", "libqvp/3.8.2", static_cast<EncodingType>(-5),
       "Content-Encoding: unknown\r\n", 951782400,
       "Tue, 29 Feb 2000 00:00:00 GMT"},
  };
  for (const auto& c : cases) {
    for (const auto& o : options) {
      SCOPED_TRACE("writer " + std::to_string(c.kind) + ", type " +
                   std::to_string(c.type) + ", version \"" + o.ver +
                   "\", encoding " + std::to_string(o.enc) + ", time " +
                   std::to_string(o.lm));
      const bool no_cache = c.type == vorn_error && c.kind != binary;
      EXPECT_EQ(both_forms(ok_writers(c.kind, c.type, o.ver, o.enc, o.lm)),
                std::string("HTTP/1.0 200 OK\r\nXVORN-Server: ") + o.server +
                    "\r\nXKestrum-Server: " + o.server +
                    "\r\nXQVP: 3.1\r\nDate: <now>\r\nLast-Modified: " +
                    o.lm_text + "\r\n" + c.type_line +
                    "\r\nContent-Description: " + c.description + "\r\n" +
                    (no_cache ? "Cache-Control: no-cache\r\n" : "") +
                    o.enc_line + "\r\n");
    }
  }
}

TEST(CgiHeadersTest, ErrorAndNotModifiedBlocks) {
  static const struct {
    int code;
    const char* reason;
    const char* version;
    const char* status_line;
    const char* server;
  } cases[] = {
      {404, "Not Found", "", "HTTP/1.0 404 Not Found", "libqvp/3.8.2"},
      {500, "", "h/2", "HTTP/1.0 500 ", "h/2"},
      {-1, "Odd", "", "HTTP/1.0 -1 Odd", "libqvp/3.8.2"},
  };
  for (const auto& c : cases) {
    const Writers w{
        [&](FILE* f) { set_mime_error(f, c.code, c.reason, c.version); },
        [&](std::ostream& s) {
          set_mime_error(s, c.code, c.reason, c.version);
        }};
    EXPECT_EQ(both_forms(w), std::string(c.status_line) + "\r\nXVORN-Server: " +
                                 c.server + "\r\nXKestrum-Server: " + c.server +
                                 "\r\nXQVP: 3.1\r\nDate: <now>\r\n"
                                 "Cache-Control: no-cache\r\n\r\n")
        << c.code;
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
  static const struct {
    const char* script;
    const char* dataset;
    const char* body;
  } cases[] = {
      {"", "", ""},
      {"3.2", "", "Server Script Revision: 3.2\r\n"},
      {"", "v7", "Dataset version: v7\r\n"},
      {"3.2", "v7", "Server Script Revision: 3.2\r\nDataset version: v7\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.script) + "/" + c.dataset);
    CaptureStdout capture;
    EXPECT_TRUE(do_version(c.script, c.dataset));
    EXPECT_EQ(__fpending(stdout), 0u) << "do_version must flush";
    EXPECT_EQ(capture.finish(),
              std::string("HTTP/1.0 200 OK\r\n"
                          "XVORN-Server: libqvp/3.8.2\r\n"
                          "XKestrum-Server: libqvp/3.8.2\r\n"
                          "XQVP: 3.1\r\n"
                          "Content-Type: text/plain\r\n"
                          "\r\n"
                          "Core software version: libqvp/3.8.2\r\n") +
                  c.body);
  }
}

}  // namespace
}  // namespace libqvp
