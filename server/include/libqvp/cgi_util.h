// HTTP/1.0 header blocks, RFC 822 dates, file modification times, the version
// response, the error log, MIME header stripping, user-supplied documents and
// override files: the CGI utilities that handlers and VORNFilter use.
#ifndef LIBQVP_CGI_UTIL_H
#define LIBQVP_CGI_UTIL_H

#include <array>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <string>

namespace libqvp {

// The kind of object a response carries; selects the Content-Description.
// The underlying type is fixed so that any int converts to a defined value;
// the writers describe a value outside the enumerators as "unknown".
enum ObjectType : int {
  unknown_type = 0,
  vorn_das = 1,
  vorn_dds = 2,
  vorn_data = 3,
  vorn_error = 4,
  web_error = 5,
  qvp4_ddx = 6
};

// The content encoding a response announces; a value outside the
// enumerators is announced as "unknown".
enum EncodingType : int { unknown_enc = 0, deflate = 1, x_plain = 2 };

// Writes the 200 header block for a text response (DAS, DDS, DDX, ...):
//   "HTTP/1.0 200 OK\r\n" "XVORN-Server: <ver>\r\n" "XKestrum-Server:
//   <ver>\r\n" "XQVP: 3.1\r\n" "Date: <now>\r\n" "Last-Modified: <date>\r\n"
//   "Content-Type: text/plain\r\n" (text/xml for qvp4_ddx)
//   "Content-Description: <type>\r\n" ["Cache-Control: no-cache\r\n"]
//   ["Content-Encoding: <enc>\r\n"] "\r\n"
// An empty `ver` writes "libqvp/3.8.2". `last_modified` <= 0 means now.
// The caller keeps `out`; it is neither flushed nor closed. Write failures
// are not reported.
void set_mime_text(FILE* out, ObjectType type, const std::string& ver,
                   EncodingType enc, const time_t last_modified);
void set_mime_text(std::ostream& strm, ObjectType type, const std::string& ver,
                   EncodingType enc, const time_t last_modified);

// As set_mime_text, with "Content-type: text/html".
void set_mime_html(FILE* out, ObjectType type, const std::string& ver,
                   EncodingType enc, const time_t last_modified);
void set_mime_html(std::ostream& strm, ObjectType type, const std::string& ver,
                   EncodingType enc, const time_t last_modified);

// As set_mime_text, with "Content-Type: application/octet-stream" and never a
// Cache-Control line.
void set_mime_binary(FILE* out, ObjectType type, const std::string& ver,
                     EncodingType enc, const time_t last_modified);
void set_mime_binary(std::ostream& strm, ObjectType type,
                     const std::string& ver, EncodingType enc,
                     const time_t last_modified);

// Writes an error header block:
//   "HTTP/1.0 <code> <reason>\r\n" "XVORN-Server: <version>\r\n"
//   "XKestrum-Server: <version>\r\n" "XQVP: 3.1\r\n" "Date: <now>\r\n"
//   "Cache-Control: no-cache\r\n" "\r\n"
// Neither flushes.
void set_mime_error(FILE* out, int code, const std::string& reason,
                    const std::string& version);
void set_mime_error(std::ostream& strm, int code, const std::string& reason,
                    const std::string& version);

// Writes "HTTP/1.0 304 NOT MODIFIED\r\n" "Date: <now>\r\n" "\r\n". Neither
// flushes.
void set_mime_not_modified(FILE* out);
void set_mime_not_modified(std::ostream& strm);

// `t` as "Thu, 01 Jan 1970 00:00:00 GMT" (the year padded with blanks to
// four characters). A time beyond the calendar gives the date of time 0.
std::string rfc822_date(const time_t t);

// The modification time of the regular file `name`; the current time when it
// does not exist, cannot be reached or is not a regular file. The test is on
// the S_IFREG bit alone, so a socket counts as a regular file. Never fails.
time_t last_modified_time(const std::string& name);

// Writes the whole version response to stdout and flushes it; returns true:
//   "HTTP/1.0 200 OK\r\n" "XVORN-Server: libqvp/3.8.2\r\n"
//   "XKestrum-Server: libqvp/3.8.2\r\n" "XQVP: 3.1\r\n"
//   "Content-Type: text/plain\r\n" "\r\n"
//   "Core software version: libqvp/3.8.2\r\n"
//   ["Server Script Revision: <script_ver>\r\n"]  (when not empty)
//   ["Dataset version: <dataset_ver>\r\n"]        (when not empty)
bool do_version(const std::string& script_ver, const std::string& dataset_ver);

// Writes one error-log entry to std::cerr and flushes it (std::endl):
//   "[Thu Jan  1 00:00:00 1970] QVP server error: <Msgt>\n"
// with the local time in ctime form, or "time() error" and eleven blanks
// when the clock fails or its time cannot be converted.
// In a worker of the resident pool (Pool.h) the entry is a line of the
// pool's log instead, in its form, naming the worker.
void ErrMsgT(const std::string& Msgt);

// Reads `in` past the first line that is exactly CR LF (the end of a MIME
// header), leaving it at the body's first byte; true when it was found, false
// when the input ended (or a read failed) first. A bare LF line does not end
// the header. Lines of any length and holding any bytes are handled.
bool remove_mime_header(FILE* in);

// The name part of `path`: what follows its last '#', else its last '/'.
std::string name_path(const std::string& path);

// The server document (cgi + ".html", then "<hr>") followed by the data set
// document (name + ".html", or else the group document of
// Ancillary::find_group_ancillary_file(name, ".html")); empty when none
// exists. Each document is copied line by line, every line (up to its first
// NUL) followed by "\n", including the empty line after a final "\n": so
// "a\nb\n" copies as "a\nb\n\n" and an empty file as "\n". A file that
// cannot be opened or is not a regular file (opened without blocking) is
// skipped, and so is a data set or group document whose real path lies
// outside the data root of `name` (DataRoot::of). Never throws.
std::string get_user_supplied_docs(std::string name, std::string cgi);

// The files that get_user_supplied_docs(name, cgi) would read now, by the
// same rules: {the server document, the data set or group document}, each ""
// when none would be read. For a cache that keys the page by them. Never
// throws but std::bad_alloc.
std::array<std::string, 2> user_supplied_doc_names(const std::string& name,
                                                   const std::string& cgi);

// Reads name + ".ovr" into `doc` (copied as the documents above) and returns
// true; false, `doc` untouched, when it cannot be opened, is not a regular
// file or lies outside the data root of `name` (DataRoot::of).
bool found_override(std::string name, std::string& doc);

}  // namespace libqvp

#endif  // LIBQVP_CGI_UTIL_H
