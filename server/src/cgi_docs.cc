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

// The user-supplied documents of the data set `name`, open, with the names
// they were opened by; a document not found is null. Shared by the reader
// and the lister, so the two never disagree on which files are read.
struct UserDocs {
  std::string server_name, dataset_name;
  InputFile server, dataset;
};

UserDocs open_user_docs(const std::string& name, const std::string& cgi) {
  UserDocs found;
  found.server_name = cgi + ".html";
  found.server = open_input_file(found.server_name);
  const std::string root = DataRoot::of(name);
  found.dataset_name = name + ".html";
  found.dataset = open_contained_file(found.dataset_name, root);
  if (!found.dataset) {
    found.dataset_name = Ancillary::find_group_ancillary_file(name, ".html");
    if (!found.dataset_name.empty())
      found.dataset = open_contained_file(found.dataset_name, root);
  }
  return found;
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
  const UserDocs found = open_user_docs(name, cgi);
  std::string docs;
  if (found.server) {
    copy_lines(found.server.get(), docs);
    docs += "<hr>";
  }
  if (found.dataset) copy_lines(found.dataset.get(), docs);
  return docs;
}

std::array<std::string, 2> user_supplied_doc_names(const std::string& name,
                                                   const std::string& cgi) {
  const UserDocs found = open_user_docs(name, cgi);
  return {found.server ? found.server_name : "",
          found.dataset ? found.dataset_name : ""};
}

bool found_override(std::string name, std::string& doc) {
  InputFile in = open_contained_file(name + ".ovr", DataRoot::of(name));
  if (!in) return false;
  doc.clear();
  copy_lines(in.get(), doc);
  return true;
}

}  // namespace libqvp
