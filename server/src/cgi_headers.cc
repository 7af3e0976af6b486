// The HTTP/1.0 header blocks and the version response. Each block is written
// once against a Sink; the FILE* and std::ostream forms only pick the sink.
#include <libqvp/cgi_util.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "Sink.h"

namespace libqvp {
namespace {

constexpr std::string_view kCRLF = "\r\n";
constexpr std::string_view kDefaultServer = "libqvp/3.8.2";
constexpr std::string_view kProtocol = "3.1";

const char* const descrip[] = {"unknown",   "vorn_das",   "vorn_dds",
                               "vorn_data", "vorn_error", "web_error",
                               "qvp4_ddx"};
const char* const encoding[] = {"unknown", "deflate", "x-plain"};

// Values outside the enumerations are written as "unknown" rather than read
// from beyond the tables.
std::string_view description_of(ObjectType type) {
  const int i = static_cast<int>(type);
  return i >= 0 && i < 7 ? descrip[i] : "unknown";
}

std::string_view encoding_of(EncodingType enc) {
  const int i = static_cast<int>(enc);
  return i >= 0 && i < 3 ? encoding[i] : "unknown";
}

void line(Sink& out, std::string_view label, std::string_view value) {
  out.write(label);
  if (!value.empty()) out.write(value);
  out.write(kCRLF);
}

std::string_view server_version(const std::string& ver) {
  return ver.empty() ? kDefaultServer : std::string_view(ver);
}

// The two server-version lines and the protocol line.
void server_lines(Sink& out, std::string_view server) {
  line(out, "XVORN-Server: ", server);
  line(out, "XKestrum-Server: ", server);
  line(out, "XQVP: ", kProtocol);
}

enum class Writer { text, html, binary };

std::string_view content_type(Writer writer, ObjectType type) {
  switch (writer) {
    case Writer::text:
      return type == qvp4_ddx ? "Content-Type: text/xml"
                              : "Content-Type: text/plain";
    case Writer::html:
      return "Content-type: text/html";
    case Writer::binary:
      break;
  }
  return "Content-Type: application/octet-stream";
}

void write_ok_block(Sink& out, Writer writer, ObjectType type,
                    const std::string& ver, EncodingType enc,
                    time_t last_modified) {
  line(out, "HTTP/1.0 200 OK", "");
  server_lines(out, server_version(ver));
  const time_t now = time(nullptr);
  line(out, "Date: ", rfc822_date(now));
  line(out,
       "Last-Modified: ", rfc822_date(last_modified > 0 ? last_modified : now));
  line(out, content_type(writer, type), "");
  line(out, "Content-Description: ", description_of(type));
  if (writer != Writer::binary && type == vorn_error)
    line(out, "Cache-Control: no-cache", "");
  if (enc != x_plain) line(out, "Content-Encoding: ", encoding_of(enc));
  out.write(kCRLF);
}

void write_error_block(Sink& out, int code, const std::string& reason,
                       const std::string& version) {
  out.write("HTTP/1.0 ");
  out.write_int(code);
  line(out, " ", reason);
  server_lines(out, server_version(version));
  line(out, "Date: ", rfc822_date(time(nullptr)));
  line(out, "Cache-Control: no-cache", "");
  out.write(kCRLF);
}

void write_not_modified_block(Sink& out) {
  line(out, "HTTP/1.0 304 NOT MODIFIED", "");
  line(out, "Date: ", rfc822_date(time(nullptr)));
  out.write(kCRLF);
}

}  // namespace

void set_mime_text(FILE* out, ObjectType type, const std::string& ver,
                   EncodingType enc, const time_t last_modified) {
  FileSink sink(out);
  write_ok_block(sink, Writer::text, type, ver, enc, last_modified);
}

void set_mime_text(std::ostream& strm, ObjectType type, const std::string& ver,
                   EncodingType enc, const time_t last_modified) {
  StreamSink sink(strm);
  write_ok_block(sink, Writer::text, type, ver, enc, last_modified);
}

void set_mime_html(FILE* out, ObjectType type, const std::string& ver,
                   EncodingType enc, const time_t last_modified) {
  FileSink sink(out);
  write_ok_block(sink, Writer::html, type, ver, enc, last_modified);
}

void set_mime_html(std::ostream& strm, ObjectType type, const std::string& ver,
                   EncodingType enc, const time_t last_modified) {
  StreamSink sink(strm);
  write_ok_block(sink, Writer::html, type, ver, enc, last_modified);
}

void set_mime_binary(FILE* out, ObjectType type, const std::string& ver,
                     EncodingType enc, const time_t last_modified) {
  FileSink sink(out);
  write_ok_block(sink, Writer::binary, type, ver, enc, last_modified);
}

void set_mime_binary(std::ostream& strm, ObjectType type,
                     const std::string& ver, EncodingType enc,
                     const time_t last_modified) {
  StreamSink sink(strm);
  write_ok_block(sink, Writer::binary, type, ver, enc, last_modified);
}

void set_mime_error(FILE* out, int code, const std::string& reason,
                    const std::string& version) {
  FileSink sink(out);
  write_error_block(sink, code, reason, version);
}

void set_mime_error(std::ostream& strm, int code, const std::string& reason,
                    const std::string& version) {
  StreamSink sink(strm);
  write_error_block(sink, code, reason, version);
}

void set_mime_not_modified(FILE* out) {
  FileSink sink(out);
  write_not_modified_block(sink);
}

void set_mime_not_modified(std::ostream& strm) {
  StreamSink sink(strm);
  write_not_modified_block(sink);
}

bool do_version(const std::string& script_ver, const std::string& dataset_ver) {
  FileSink out(stdout);
  line(out, "HTTP/1.0 200 OK", "");
  server_lines(out, kDefaultServer);
  line(out, "Content-Type: text/plain", "");
  out.write(kCRLF);
  line(out, "Core software version: ", kDefaultServer);
  if (!script_ver.empty()) line(out, "Server Script Revision: ", script_ver);
  if (!dataset_ver.empty()) line(out, "Dataset version: ", dataset_ver);
  out.flush();
  return true;
}

}  // namespace libqvp
