// The parser of the DDS text form.
#ifndef LIBQVP_DDSPARSER_H
#define LIBQVP_DDSPARSER_H

#include <libqvp/Array.h>
#include <libqvp/BaseType.h>
#include <libqvp/Type.h>

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "TextLexer.h"

namespace libqvp {

class DDSParser {
 public:
  static constexpr int kMaxDepth = 64;    // nested Structures and Sequences
  static constexpr size_t kMaxRank = 64;  // dimensions of one array
  // Members of one Structure or Sequence (adding members one by one costs
  // time growing with the square of their number).
  static constexpr size_t kMaxMembers = 4096;

  struct Result {
    std::string name;  // the data set's name; empty when the text gives none
    std::vector<std::unique_ptr<BaseType>> vars;
  };

  // `text` must outlive the parser.
  explicit DDSParser(std::string_view text) : d_lex(text) {}

  // Parses the whole text into new variables. Text holding only blanks and
  // comments gives an empty result. Throws Error(malformed_text,
  // "line N: ...").
  Result parse();

 private:
  using Names = std::set<std::string>;
  using Vars = std::vector<std::unique_ptr<BaseType>>;
  struct Dim {
    int size;
    std::string name;
  };

  void dataset(Result& r);
  void declarations(Vars& vars, int depth, size_t max_vars);
  std::unique_ptr<BaseType> declaration(Names& names, int depth);
  std::unique_ptr<BaseType> constructor(Type t, Names& names, int depth);
  std::unique_ptr<BaseType> grid(Names& names);
  std::unique_ptr<BaseType> simple(Type t, Names& names);
  std::unique_ptr<Array> grid_part(Names& names, bool is_map);
  std::vector<Dim> dimensions(const std::string& var);
  Dim dimension();
  Type scalar_type(const TextToken& t, const std::string& what);
  std::string new_name(Names& names, const std::string& what);

  TextLexer d_lex;
  TextToken d_name_token;  // the last name new_name() read
};

}  // namespace libqvp

#endif  // LIBQVP_DDSPARSER_H
