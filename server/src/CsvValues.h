// The values of a CSV table's fields: one box of an array's values, or a
// scalar, turned into field text, with fill values left empty. Private to
// the server library.
#ifndef LIBQVP_CSVVALUES_H
#define LIBQVP_CSVVALUES_H

#include <libqvp/Array.h>
#include <libqvp/BaseType.h>

#include <cstdint>
#include <string>
#include <vector>

namespace libqvp {

class CsvValues {
 public:
  // The fill values of a variable of scalar type `t` from the texts of its
  // attribute, each read in that type (so that a Float32 fill compares equal
  // to the Float32 values it marks); texts that are no number are skipped.
  static std::vector<double> fills(Type t,
                                   const std::vector<std::string>& texts);

  // The field text of the scalar `var`, read first: numbers in the shortest
  // form that reads back to the same value, "" for a value in `fill`.
  static std::string scalar_text(const BaseType& var,
                                 const std::vector<double>& fill);

  // Reads one box of `a` (as Array::read_box) holding `n` values, replacing
  // the box read before. Throws the reader's Error.
  void read(const Array& a, const std::vector<size_t>& start,
            const std::vector<size_t>& stride, const std::vector<size_t>& count,
            size_t n);

  // The field text of value `i` of the box, as scalar_text writes it.
  std::string text(size_t i, const std::vector<double>& fill) const;

 private:
  Type d_type = Type::Byte;
  std::vector<uint64_t> d_numbers;  // uint64_t keeps every type aligned
  std::vector<std::string> d_strings;
};

}  // namespace libqvp

#endif  // LIBQVP_CSVVALUES_H
