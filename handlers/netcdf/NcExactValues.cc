// A selection is walked box by box, as the data response walks it, so that
// the check runs in the same bounded memory.
#include "NcExactValues.h"

#include <libqvp/Array.h>
#include <libqvp/Constructor.h>
#include <libqvp/DDS.h>
#include <libqvp/Grid.h>

#include <string>
#include <vector>

#include "InexactValue.h"
#include "NcScalar.h"

namespace libqvp {
namespace {

// "[i][j]...": the index of the value at `position` (row-major) of a box.
std::string index_text(const std::vector<size_t>& start,
                       const std::vector<size_t>& stride,
                       const std::vector<size_t>& count, size_t position) {
  std::vector<size_t> index(count.size());
  for (size_t d = count.size(); d-- > 0;) {
    index[d] = start[d] + position % count[d] * stride[d];
    position /= count[d];
  }
  std::string text;
  for (size_t i : index) text += "[" + std::to_string(i) + "]";
  return text;
}

[[noreturn]] void refuse(const std::string& where, const InexactValue& e) {
  throw Error(internal_error,
              "\"" + where + "\" holds " + e.value() +
                  ", which has no exact Float64 form (64-bit integers are "
                  "served as Float64): leave the variable out of the request "
                  "or select other elements");
}

void check_array(const Array& a, const std::string& path) {
  std::vector<double> values;
  a.visit_boxes(
      Array::kBoxBytes / sizeof(double),
      [&](const std::vector<size_t>& start, const std::vector<size_t>& stride,
          const std::vector<size_t>& count, size_t n) {
        values.resize(n);
        try {
          a.read_box(start, stride, count, values.data());
        } catch (const InexactValue& e) {
          refuse(path + index_text(start, stride, count, e.position()), e);
        }
      });
}

void check(BaseType& v, const std::string& parent) {
  if (!v.send_p()) return;
  const std::string path = parent.empty() ? v.name() : parent + "." + v.name();
  switch (v.type()) {
    case Type::Array:
      if (serves_wide_integers(v)) check_array(static_cast<Array&>(v), path);
      return;
    case Type::Grid: {
      auto& g = static_cast<Grid&>(v);
      if (g.array()) check(*g.array(), parent);
      for (size_t i = 0; i < g.map_count(); ++i) check(*g.map(i), parent);
      return;
    }
    case Type::Structure: {
      auto& s = static_cast<Constructor&>(v);
      for (auto i = s.var_begin(); i != s.var_end(); ++i) check(**i, path);
      return;
    }
    default:
      if (!serves_wide_integers(v)) return;
      try {
        v.read_once();  // the value is kept for the response
      } catch (const InexactValue& e) {
        refuse(path, e);
      }
  }
}

}  // namespace

void check_exact_values(const DDS& dds) {
  for (auto i = dds.var_begin(); i != dds.var_end(); ++i) check(**i, "");
}

}  // namespace libqvp
