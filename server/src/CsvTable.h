// The variables that a constraint selected, as one CSV table (RFC 4180,
// UTF-8, CR LF line ends): a header row, then one row per selected element
// with a column per dimension (the coordinate value where the dimension has
// a coordinate variable, its index otherwise) and a column per variable.
// Private to the server library.
#ifndef LIBQVP_CSVTABLE_H
#define LIBQVP_CSVTABLE_H

#include <libqvp/Array.h>
#include <libqvp/BaseType.h>
#include <libqvp/DDS.h>

#include <cstdio>
#include <string>
#include <vector>

namespace libqvp {

class CsvTable {
 public:
  // Collects the columns from the current selection of `dds`, which must
  // outlive this object. A Grid whose array is selected gives one column
  // (its maps are the coordinates); a Grid of which only maps are selected
  // gives a column per map; the selected members of a Structure give
  // columns named by their paths ("group.var"). Throws Error(usage_error),
  // before anything is written, when nothing is selected, a Sequence is
  // selected, or the variables do not share their dimensions and selected
  // ranges (the message names two that differ, with their dimensions).
  explicit CsvTable(const DDS& dds);

  // Writes the table to `out` in pieces of about 64 KiB, reading each
  // variable box by box, so memory stays bounded whatever the selection's
  // size. Numbers are written in their shortest form that reads back to the
  // same value; values equal to the variable's _FillValue or missing_value
  // attribute are written as empty fields. Does not flush. Throws the box
  // readers' Error, and Error(write_error) when a write fails.
  void write(FILE* out) const;

  // The fields of one row joined as RFC 4180 says: a field holding a comma,
  // a quote, CR or LF is quoted, its quotes doubled; invalid UTF-8 bytes
  // become the Latin-1 characters of the same code.
  static std::string row(const std::vector<std::string>& fields);

 private:
  // One column: a scalar, or an array whose selection every array column
  // shares. `fill` holds the values written as empty fields.
  struct Column {
    const BaseType* var = nullptr;
    const Array* array = nullptr;  // null for a scalar
    std::string prefix;            // the enclosing structures: "group."
    std::vector<double> fill;
  };
  // One dimension of the shared shape: its header, and the coordinate
  // array to read values from (null: the index is written).
  struct Axis {
    std::string header;
    const Array* coordinate = nullptr;
    bool written = true;  // false when a column is this axis's coordinate
  };

  // Adds the selected variables of `v` (a top-level variable or a member
  // of the structures that `prefix` names).
  void collect(const BaseType* v, const std::string& prefix);
  void add_column(const BaseType* var, const BaseType* attributes_of,
                  const std::string& prefix);
  void check_shapes() const;
  void find_axes();
  void write_scalars(FILE* out) const;
  void write_arrays(FILE* out) const;

  const DDS& d_dds;
  std::vector<Column> d_columns;
  std::vector<Axis> d_axes;
};

}  // namespace libqvp

#endif  // LIBQVP_CSVTABLE_H
