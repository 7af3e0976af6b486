// A line-oriented parser: every line is checked on its own, and the first
// fault ends the parse with its line number, so a table is used whole or not
// at all.
#include "HandlerTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "RequestText.h"

namespace libqvp {
namespace {

// Response kinds a suffix may name: the handlers' -o keywords, and the
// browser's views (html, csv) and downloads (nc, nc4, png).
constexpr const char* kResponses[] = {"das",     "dds",  "ddx", "DataDDS",
                                      "Version", "html", "csv", "nc",
                                      "nc4",     "png"};

bool is_key_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool is_key(const std::string& s) {
  if (s.empty() || s.size() > HandlerTable::kMaxName) return false;
  for (unsigned char c : s)
    if (!is_key_char(c)) return false;
  return true;
}

// Blanks and tabs are split off by the caller; any other control byte is
// refused here.
bool is_program(const std::string& s) {
  if (s.empty() || s.size() > HandlerTable::kMaxName || s == "." || s == "..")
    return false;
  if (has_control_byte(s)) return false;
  return s[0] == '/' || s.find('/') == std::string::npos;
}

bool is_response(const std::string& s) {
  for (const char* r : kResponses)
    if (s == r) return true;
  return false;
}

std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    const size_t begin = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    fields.push_back(line.substr(begin, i - begin));
  }
  return fields;
}

const char* find(const std::vector<HandlerTable::Row>& rows,
                 const std::string& key) {
  for (const HandlerTable::Row& r : rows)
    if (r.key == key) return r.value.c_str();
  return nullptr;
}

void add_row(std::vector<HandlerTable::Row>& rows, const std::string& kind,
             const std::vector<std::string>& f, size_t line) {
  if (find(rows, f[1]) != nullptr)
    throw HandlerTable::ParseError{line,
                                   kind + " \"" + f[1] + "\" given twice"};
  rows.push_back({f[1], f[2]});
}

}  // namespace

HandlerTable HandlerTable::builtin() {
  HandlerTable t;
  t.d_handlers = {{"nc", "qvp_nc_handler"},
                  {"nc4", "qvp_nc_handler"},
                  {"ncml", "qvp_nc_handler"}};
  t.d_suffixes = {{"das", "das"},      {"dds", "dds"},     {"ddx", "ddx"},
                  {"vorn", "DataDDS"}, {"ver", "Version"}, {"html", "html"},
                  {"csv", "csv"},      {"nc", "nc"},       {"nc4", "nc4"},
                  {"png", "png"}};
  return t;
}

HandlerTable HandlerTable::parse(const std::string& text) {
  if (text.size() > kMaxBytes)
    throw ParseError{0, "larger than " + std::to_string(kMaxBytes) + " bytes"};
  HandlerTable t;
  size_t line_no = 0;
  for (size_t begin = 0; begin < text.size();) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> f = fields_of(line);
    if (f.empty() || f[0][0] == '#') continue;
    if (f.size() != 3 || (f[0] != "handler" && f[0] != "suffix"))
      throw ParseError{line_no,
                       "expected \"handler EXTENSION PROGRAM\" or \"suffix "
                       "SUFFIX RESPONSE\", got \"" +
                           line.substr(0, 80) + "\""};
    if (!is_key(f[1]))
      throw ParseError{
          line_no, "invalid " + f[0] + " name \"" + f[1].substr(0, 80) + "\""};
    if (f[0] == "handler") {
      if (!is_program(f[2]))
        throw ParseError{line_no, "invalid program \"" + f[2].substr(0, 80) +
                                      "\" (a file name or an absolute path)"};
      add_row(t.d_handlers, "extension", f, line_no);
    } else {
      if (!is_response(f[2]))
        throw ParseError{
            line_no,
            "unknown response \"" + f[2].substr(0, 80) +
                "\" (das, dds, ddx, DataDDS, Version, html, csv, nc, nc4 "
                "or png)"};
      add_row(t.d_suffixes, "suffix", f, line_no);
    }
  }
  if (t.d_handlers.empty()) throw ParseError{0, "no handler line"};
  if (t.d_suffixes.empty()) throw ParseError{0, "no suffix line"};
  return t;
}

// Sized by fstat and read with one read(2) or two: the dispatcher loads
// the table on every request.
HandlerTable HandlerTable::load(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ParseError{0, "cannot be opened"};
  struct stat st {};
  std::string text;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok && static_cast<size_t>(st.st_size) > kMaxBytes) {
    close(fd);
    throw ParseError{0, "larger than " + std::to_string(kMaxBytes) + " bytes"};
  }
  if (ok) {
    text.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (ok && done < text.size()) {
      const ssize_t n = read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<size_t>(n);
    }
  }
  close(fd);
  if (!ok) throw ParseError{0, "cannot be read"};
  return parse(text);
}

const char* HandlerTable::program_for(const std::string& extension) const {
  return find(d_handlers, extension);
}

const char* HandlerTable::response_for(const std::string& suffix) const {
  return find(d_suffixes, suffix);
}

}  // namespace libqvp
