// The HTTP header blocks in both forms, and the version response.
#include <gtest/gtest.h>
#include <libqvp/cgi_util.h>
#include <stdio_ext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <sstream>
#include <string>

#include "BothForms.h"
#include "CaptureFile.h"
#include "CaptureStdout.h"

namespace libqvp {
namespace {

using test::capture_file;

std::string capture_stream(const std::function<void(std::ostream&)>& write) {
  std::ostringstream out;
  write(out);
  return out.str();
}

// True when `text` is an RFC 822 date ("Thu, 01 Jan 1970 00:00:00 GMT")
// whose day of the week is right, for a time in [from, to].
bool is_date_between(const std::string& text, time_t from, time_t to) {
  struct tm tm {};
  const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
  if (end == nullptr || *end != '\0' || text.size() != 29) return false;
  const int wday = tm.tm_wday;
  const time_t t = timegm(&tm);
  return tm.tm_wday == wday && t >= from && t <= to;
}

// The value of the header line `label` ("Date: ") in `block`; "" if absent.
std::string header(const std::string& block, const std::string& label) {
  const auto at = block.find("\r\n" + label);
  if (at == std::string::npos) return "";
  const auto start = at + 2 + label.size();
  return block.substr(start, block.find("\r\n", start) - start);
}

// Replaces each date that lies in [from, to] by "<now>" after checking that
// it is a well-formed date, so blocks compare against golden texts.
std::string normalise(std::string block, time_t from, time_t to) {
  for (const char* label : {"Date: ", "Last-Modified: "}) {
    const std::string value = header(block, label);
    if (!is_date_between(value, from, to)) continue;
    const auto at = block.find(std::string("\r\n") + label + value);
    block.replace(at + 2 + strlen(label), value.size(), "<now>");
  }
  return block;
}

// A writer's two forms, callable as either.
struct Writers {
  std::function<void(FILE*)> file;
  std::function<void(std::ostream&)> stream;
  void operator()(FILE* f) const { file(f); }
  void operator()(std::ostream& s) const { stream(s); }
};

// Writes one block through both forms; checks that they are byte for byte
// equal (dates aside) and returns the normalised block.
std::string both_forms(const Writers& w, const std::string& what) {
  const time_t from = time(nullptr);
  const test::Written r = test::run_both(w, [&](const std::string& block) {
    return normalise(block, from, time(nullptr));
  });
  EXPECT_EQ(r.file_bytes, r.stream_bytes) << what;
  EXPECT_NE(r.file_bytes.find("<now>"), std::string::npos)
      << what << ": " << r.file_bytes;
  return r.file_bytes;
}

const std::string kHead =
    "HTTP/1.0 200 OK\r\n"
    "XVORN-Server: libqvp/3.8.2\r\n"
    "XKestrum-Server: libqvp/3.8.2\r\n"
    "XQVP: 3.1\r\n"
    "Date: <now>\r\n"
    "Last-Modified: Thu, 01 Jan 1970 00:00:01 GMT\r\n";

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

TEST(CgiHeadersTest, OkBlockForEveryWriterAndObjectType) {
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
  for (const auto& c : cases) {
    const std::string what =
        "writer " + std::to_string(c.kind) + ", type " + std::to_string(c.type);
    const bool no_cache = c.type == vorn_error && c.kind != binary;
    EXPECT_EQ(both_forms(ok_writers(c.kind, c.type, "", x_plain, 1), what),
              kHead + c.type_line +
                  "\r\nContent-Description: " + c.description + "\r\n" +
                  (no_cache ? "Cache-Control: no-cache\r\n" : "") + "\r\n")
        << what;
  }
}

TEST(CgiHeadersTest, ContentEncodingLine) {
  static const struct {
    EncodingType enc;
    const char* line;
  } cases[] = {
      {x_plain, ""},
      {deflate, "Content-Encoding: deflate\r\n"},
      {unknown_enc, "Content-Encoding: unknown\r\n"},
      {static_cast<EncodingType>(3), "Content-Encoding: unknown\r\n"},
      {static_cast<EncodingType>(-5), "Content-Encoding: unknown\r\n"},
  };
  for (Kind kind : {text, html, binary}) {
    for (const auto& c : cases) {
      const std::string what = "writer " + std::to_string(kind) +
                               ", encoding " + std::to_string(c.enc);
      const std::string block =
          both_forms(ok_writers(kind, vorn_error, "", c.enc, 1), what);
      const std::string expected_end =
          std::string(kind == binary ? "" : "Cache-Control: no-cache\r\n") +
          c.line + "\r\n";
      ASSERT_GE(block.size(), expected_end.size()) << what;
      EXPECT_EQ(block.substr(block.size() - expected_end.size()), expected_end)
          << what;
      EXPECT_EQ(block.find("\r\nContent-Encoding: ") == std::string::npos,
                c.enc == x_plain)
          << what;
    }
  }
}

TEST(CgiHeadersTest, ServerVersionLines) {
  static const struct {
    const char* ver;
    const char* server;
  } cases[] = {
      {"", "libqvp/3.8.2"}, {" ", " "}, {"dispatch/1.0", "dispatch/1.0"}};
  for (const auto& c : cases) {
    const std::string block =
        both_forms(ok_writers(text, vorn_das, c.ver, x_plain, 1), c.ver);
    EXPECT_EQ(header(block, "XVORN-Server: "), c.server) << '"' << c.ver << '"';
    EXPECT_EQ(header(block, "XKestrum-Server: "), c.server)
        << '"' << c.ver << '"';
    EXPECT_EQ(header(block, "XQVP: "), "3.1");
  }
}

TEST(CgiHeadersTest, LastModifiedOfZeroOrLessIsTheDate) {
  for (time_t lm : {time_t{0}, time_t{-1}, time_t{-86400}}) {
    const std::string block = capture_file(
        [=](FILE* f) { set_mime_text(f, vorn_das, "", x_plain, lm); });
    EXPECT_EQ(header(block, "Last-Modified: "), header(block, "Date: ")) << lm;
    const std::string sblock = capture_stream([=](std::ostream& s) {
      set_mime_binary(s, vorn_data, "", x_plain, lm);
    });
    EXPECT_EQ(header(sblock, "Last-Modified: "), header(sblock, "Date: "))
        << lm;
  }
  const std::string block = capture_file(
      [](FILE* f) { set_mime_html(f, vorn_das, "", x_plain, 951782400); });
  EXPECT_EQ(header(block, "Last-Modified: "), "Tue, 29 Feb 2000 00:00:00 GMT");
}

TEST(CgiHeadersTest, ErrorBlock) {
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
    EXPECT_EQ(both_forms(w, c.reason), std::string(c.status_line) +
                                           "\r\nXVORN-Server: " + c.server +
                                           "\r\nXKestrum-Server: " + c.server +
                                           "\r\nXQVP: 3.1\r\nDate: <now>\r\n"
                                           "Cache-Control: no-cache\r\n\r\n")
        << c.code;
  }
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

TEST(CgiHeadersTest, NotModifiedBlock) {
  const Writers w{[](FILE* f) { set_mime_not_modified(f); },
                  [](std::ostream& s) { set_mime_not_modified(s); }};
  EXPECT_EQ(both_forms(w, "304"),
            "HTTP/1.0 304 NOT MODIFIED\r\nDate: <now>\r\n\r\n");
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
    test::CaptureStdout capture;
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
                  c.body)
        << '"' << c.script << "\", \"" << c.dataset << '"';
  }
}

}  // namespace
}  // namespace libqvp
