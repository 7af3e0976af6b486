// Readers of input the handler programs hand over: MIME header stripping,
// user-supplied HTML documents and override files. Files opened here are
// closed on every path by a unique_ptr guard. A data set's document and
// override files are read only from inside its data root; the server-wide
// document, named after the CGI program, lies beside that program.
#include <libqvp/Ancillary.h>
#include <libqvp/DataRoot.h>
#include <libqvp/cgi_util.h>

#include <cstdio>

#include "InputFile.h"

namespace libqvp {
namespace {

// Reads the rest of the current line, its "\n" included; returns the last
// character read ('\n', or EOF at the end of input or on a read error).
int skip_line(FILE* in) {
  int c;
  while ((c = getc(in)) != EOF && c != '\n') {
  }
  return c;
}

// Appends `in` to `out` line by line: each line (the characters before the
// next "\n", or before the end of input) up to its first NUL, then "\n".
// The read that meets the end adds its line too, so a file that ends in "\n"
// gets one extra "\n" and an empty file copies as "\n". Lines of any length
// are copied whole; a read error ends the copy like the end of input.
void copy_lines(FILE* in, std::string& out) {
  for (;;) {
    bool cut = false;
    int c;
    while ((c = getc(in)) != EOF && c != '\n') {
      if (c == '\0') cut = true;
      if (!cut) out += static_cast<char>(c);
    }
    out += '\n';
    if (c == EOF) return;
  }
}

}  // namespace

// Only a line that is exactly CR LF ends the header: every line is tested
// from its first byte, whatever its length, and never a piece from inside a
// long line.
bool remove_mime_header(FILE* in) {
  if (feof(in)) return false;
  for (;;) {
    int c = getc(in);
    if (c == EOF) return false;
    if (c == '\n') continue;  // a bare LF line does not end the header
    if (c == '\r') {
      c = getc(in);
      if (c == '\n') return true;
      if (c == EOF) return false;
    }
    if (skip_line(in) == EOF) return false;
  }
}

std::string name_path(const std::string& path) {
  if (path.empty()) return "";
  std::string::size_type pos = path.rfind('#');
  if (pos == std::string::npos) pos = path.rfind('/');
  if (pos == std::string::npos) return path;
  return path.substr(pos + 1);
}

std::string get_user_supplied_docs(std::string name, std::string cgi) {
  std::string docs;
  if (InputFile server = open_input_file(cgi + ".html")) {
    copy_lines(server.get(), docs);
    docs += "<hr>";
  }
  const std::string root = DataRoot::of(name);
  InputFile dataset = open_contained_file(name + ".html", root);
  if (!dataset) {
    const std::string group =
        Ancillary::find_group_ancillary_file(name, ".html");
    if (!group.empty()) dataset = open_contained_file(group, root);
  }
  if (dataset) copy_lines(dataset.get(), docs);
  return docs;
}

bool found_override(std::string name, std::string& doc) {
  InputFile in = open_contained_file(name + ".ovr", DataRoot::of(name));
  if (!in) return false;
  doc.clear();
  copy_lines(in.get(), doc);
  return true;
}

}  // namespace libqvp
