// The types of the data model and their names in the text forms.
#ifndef LIBQVP_TYPE_H
#define LIBQVP_TYPE_H

#include <cstddef>
#include <string>

namespace libqvp {

enum class Type {
  Byte,
  Int16,
  UInt16,
  Int32,
  UInt32,
  Float32,
  Float64,
  String,
  Url,
  Array,
  Structure,
  Sequence,
  Grid
};

// "Byte", "Int16", ..., "String", "Url", "Array", "Structure", "Sequence",
// "Grid".
const char* type_name(Type t);

// The type whose name equals `name`, ignoring case; false when none does.
bool type_from_name(const std::string& name, Type& t);

// True for the numeric scalar types, Byte to Float64.
bool is_numeric_type(Type t);

// True for the scalar types: the numeric ones, String and Url.
bool is_simple_type(Type t);

// Bytes one value of numeric type `t` takes in memory (1, 2, 4 or 8); 0
// otherwise.
size_t value_size(Type t);

}  // namespace libqvp

#endif  // LIBQVP_TYPE_H
