// Which handler program serves which data set extension, and which response
// kind each URL suffix asks for. The built-in table serves .nc, .nc4 and
// .ncml (NcML documents) with qvp_nc_handler; a deployment replaces it with a
// file (see docs/handler-table.md):
//   # comment
//   handler nc   qvp_nc_handler
//   suffix  vorn DataDDS
//   suffix  data DataDDS       (an alias)
#ifndef QVP_MAPPING_HANDLERTABLE_H
#define QVP_MAPPING_HANDLERTABLE_H

#include <cstddef>
#include <string>
#include <vector>

namespace libqvp {

class HandlerTable {
 public:
  struct Row {
    std::string key;    // an extension or a suffix
    std::string value;  // a program or a response keyword
  };

  // A malformed table: `line` is its 1-based line (0 for the file as a
  // whole) and `message` says what was expected and found.
  struct ParseError {
    size_t line;
    std::string message;
  };

  static constexpr size_t kMaxBytes = 64 * 1024;  // of a table file
  static constexpr size_t kMaxName = 255;         // of any one field

  // The built-in table: extensions nc, nc4 and ncml to qvp_nc_handler;
  // suffixes das, dds, ddx, vorn, ver, html, csv, nc, nc4 and png to das,
  // dds, ddx, DataDDS, Version, html, csv, nc, nc4 and png.
  static HandlerTable builtin();

  // Parses the text of a table. Each line is blank, a comment ('#' first
  // after blanks) or three fields separated by blanks or tabs:
  //   handler <extension> <program>
  //   suffix <suffix> <response>
  // An extension or suffix holds letters, digits, '_' and '-'; a program is
  // a file name (resolved in the handler directory) or an absolute path,
  // without control bytes or blanks, and not "." or ".."; a response is one
  // of das, dds, ddx, DataDDS, Version, html (the data set's page), csv
  // (its values as CSV), nc and nc4 (the selection as a netCDF file of the
  // classic family / netCDF-4) and
  // png (a picture of it). Throws ParseError for anything else,
  // for an extension or suffix given twice, for text over kMaxBytes, and for
  // a table without any handler or any suffix line.
  static HandlerTable parse(const std::string& text);

  // Reads and parses the file at `path`. Throws ParseError (line 0 when the
  // file cannot be read).
  static HandlerTable load(const std::string& path);

  // The program for `extension` / the response for `suffix`; null when the
  // table has none. Valid while the table lives.
  const char* program_for(const std::string& extension) const;
  const char* response_for(const std::string& suffix) const;

  const std::vector<Row>& handlers() const { return d_handlers; }
  const std::vector<Row>& suffixes() const { return d_suffixes; }

 private:
  std::vector<Row> d_handlers;
  std::vector<Row> d_suffixes;
};

}  // namespace libqvp

#endif  // QVP_MAPPING_HANDLERTABLE_H
