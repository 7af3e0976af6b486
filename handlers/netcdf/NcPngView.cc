// The picture is read through the DDS's array, as every response is, one
// selected row at a time with unit stride along the row (a strided read
// along a row costs a request per value), and thinned in memory.
#include "NcPngView.h"

#include <libqvp/Array.h>
#include <libqvp/AttrTable.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Grid.h>
#include <libqvp/Structure.h>
#include <libqvp/cgi_util.h>
#include <libqvp/header_edit.h>
#include <libqvp/visit_scalar.h>
#include <libqvp/write_all.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "ImagePlot.h"
#include "NcDescribedDds.h"
#include "NcDownload.h"
#include "NcFile.h"
#include "NcResponseHeader.h"

namespace libqvp {
namespace {

// The selected variable: its array, the maps (a Grid's, else none) and the
// attributes (the Grid's when it has them).
struct Field {
  Array* array = nullptr;
  Grid* grid = nullptr;
  const AttrTable* attributes = nullptr;
};

// Counts the selected variables in [begin, end) and inside the structures
// among them (groups, compounds), and keeps the last one in `field`.
template <typename It>
void find_selected(It begin, It end, Field& field, size_t& n) {
  for (auto it = begin; it != end; ++it) {
    if (!(*it)->send_p()) continue;
    if (auto* s = dynamic_cast<Structure*>(*it)) {
      find_selected(s->var_begin(), s->var_end(), field, n);
      continue;
    }
    ++n;
    field = Field{};
    if (auto* g = dynamic_cast<Grid*>(*it)) {
      field.grid = g;
      field.array = g->array()->send_p() ? g->array() : nullptr;
      field.attributes = &g->get_attr_table();
    } else if (auto* a = dynamic_cast<Array*>(*it)) {
      field.array = a;
      field.attributes = &a->get_attr_table();
    }
  }
}

Field selected_field(DDS& dds) {
  Field field;
  size_t n = 0;
  find_selected(dds.var_begin(), dds.var_end(), field, n);
  if (n != 1 || field.array == nullptr ||
      !is_numeric_type(field.array->element_type()))
    throw Error(usage_error,
                "A picture shows one numeric variable of two or more "
                "dimensions; select one, e.g. sst[0][0:179][0:359]");
  return field;
}

// "2 x 3 x 4"
std::string shape_of(const Array& a) {
  std::string s;
  for (const Array::Dimension& d : a.dims())
    s += (s.empty() ? "" : " x ") + std::to_string(d.c_size);
  return s;
}

std::vector<double> numbers(const AttrTable& t, const char* name) {
  std::vector<double> out;
  if (const AttrTable::Entry* e = t.find(name))
    for (const std::string& v : e->values) {
      char* end = nullptr;
      const double d = strtod(v.c_str(), &end);
      if (end != v.c_str()) out.push_back(d);
    }
  return out;
}

// What makes a raw value invalid, in the raw values' own terms.
class Validity {
 public:
  Validity(const AttrTable& t, bool single) : d_single(single) {
    for (const char* name : {"_FillValue", "missing_value"})
      for (double v : numbers(t, name)) d_missing.push_back(narrow(v));
    const std::vector<double> range = numbers(t, "valid_range");
    if (range.size() == 2) d_min = range[0], d_max = range[1];
    const std::vector<double> lo = numbers(t, "valid_min");
    const std::vector<double> hi = numbers(t, "valid_max");
    if (!lo.empty()) d_min = lo[0];
    if (!hi.empty()) d_max = hi[0];
  }

  bool valid(double raw) const {
    if (!std::isfinite(raw) || raw < d_min || raw > d_max) return false;
    for (double m : d_missing)
      if (narrow(raw) == m) return false;
    return true;
  }

 private:
  // Float32 attributes are read back at Float32 precision.
  double narrow(double v) const {
    return d_single ? static_cast<double>(static_cast<float>(v)) : v;
  }

  bool d_single;
  std::vector<double> d_missing;
  double d_min = -INFINITY, d_max = INFINITY;
};

double first_or(const std::vector<double>& v, double fallback) {
  return v.empty() ? fallback : v[0];
}

// The coordinates of dimension `d` at the selected (thinned) cells: the
// Grid's map, else the indices.
ImageAxis axis_of(const Field& f, size_t d, size_t start, size_t stride,
                  size_t count) {
  const Array::Dimension& dim = f.array->dims()[d];
  ImageAxis axis{dim.name.empty() ? "index" : dim.name, {}};
  Array* map = f.grid && d < f.grid->map_count() ? f.grid->map(d) : nullptr;
  if (map != nullptr) {
    map->add_constraint(0, static_cast<int>(start), static_cast<int>(stride),
                        static_cast<int>(start + (count - 1) * stride));
    axis.values = map->selected_as_double();
    return axis;
  }
  for (size_t i = 0; i < count; ++i)
    axis.values.push_back(static_cast<double>(start + i * stride));
  return axis;
}

// Reads one box of the numeric array `a` and puts every `step`-th of its
// values into `out` as doubles (out[k] = value k * step); `box` is scratch.
void read_as_double(const Array& a, const std::vector<size_t>& start,
                    const std::vector<size_t>& stride,
                    const std::vector<size_t>& count, size_t step,
                    std::vector<unsigned char>& box, double* out) {
  size_t n = 1;
  for (size_t c : count) n *= c;
  visit_scalar(
      a.element_type(),
      [&](auto tag) {
        using T = typename decltype(tag)::value_type;
        if constexpr (!decltype(tag)::is_string) {
          box.resize(n * sizeof(T));
          T* values = reinterpret_cast<T*>(box.data());
          a.read_box(start, stride, count, values);
          for (size_t i = 0, k = 0; i < n; i += step, ++k)
            out[k] = static_cast<double>(values[i]);
        }
      },
      [](Type) {});
}

}  // namespace

void send_png(const NcFilter& f) {
  // The library's own I/O size: rows far apart would each cost a read of
  // kNcIoBytes.
  NcFile file(f.get_dataset_name());
  DDS dds;
  build_described_dds(file, f, dds, false);
  const time_t lmt = f.get_data_last_modified_time("");
  if (answered_not_modified(f, lmt)) return;
  ConstraintEvaluator eval;
  select_for_download(f, dds, eval, "drawn");
  const Field field = selected_field(dds);
  Array& a = *field.array;
  const size_t rank = a.dimensions();
  bool slice = rank >= 2;
  for (size_t d = 0; slice && d + 2 < rank; ++d)
    slice = a.dims()[d].c_size == 1;
  if (!slice)
    throw Error(usage_error,
                "A picture needs a 2-D slice (every dimension but the last "
                "two of length 1); \"" +
                    a.name() + "\" is selected as " + shape_of(a));

  // The thinned selection: the same step along both axes.
  const Array::Dimension& ry = a.dims()[rank - 2];
  const Array::Dimension& rx = a.dims()[rank - 1];
  const size_t rows_sel = static_cast<size_t>(ry.c_size);
  const size_t cols_sel = static_cast<size_t>(rx.c_size);
  const size_t step =
      (std::max(rows_sel, cols_sel) + kMaxImageSide - 1) / kMaxImageSide;
  const size_t rows = (rows_sel + step - 1) / step;
  const size_t cols = (cols_sel + step - 1) / step;
  const size_t ystride = static_cast<size_t>(ry.stride) * step;
  const size_t xstride = static_cast<size_t>(rx.stride) * step;

  const AttrTable& attrs = *field.attributes;
  const Validity validity(attrs, a.element_type() == Type::Float32);
  const double scale = first_or(numbers(attrs, "scale_factor"), 1);
  const double offset = first_or(numbers(attrs, "add_offset"), 0);

  // One selected row at a time, whole along the row when thinned.
  std::vector<size_t> start(rank), stride(rank, 1), count(rank, 1);
  for (size_t d = 0; d < rank; ++d)
    start[d] = static_cast<size_t>(a.dims()[d].start);
  count[rank - 1] = step == 1 ? cols_sel : (cols - 1) * xstride + 1;
  stride[rank - 1] = step == 1 ? static_cast<size_t>(rx.stride) : 1;
  const size_t take = step == 1 ? 1 : xstride;
  std::vector<double> values(rows * cols), row;
  std::vector<unsigned char> box;
  for (size_t r = 0; r < rows; ++r) {
    start[rank - 2] = static_cast<size_t>(ry.start) + r * ystride;
    row.resize(cols);
    read_as_double(a, start, stride, count, take, box, row.data());
    for (size_t c = 0; c < cols; ++c) {
      const double raw = row[c];
      values[r * cols + c] = validity.valid(raw) ? raw * scale + offset : NAN;
    }
  }
  const AttrTable::Entry* units = attrs.find("units");
  const ImagePlot plot(
      rows, cols, std::move(values),
      axis_of(field, rank - 1, static_cast<size_t>(rx.start), xstride, cols),
      axis_of(field, rank - 2, static_cast<size_t>(ry.start), ystride, rows),
      a.name(), units && !units->values.empty() ? units->values[0] : "");
  const std::string png = plot.png();
  std::ostringstream out;
  set_mime_binary(out, unknown_type, f.get_cgi_version(), x_plain, lmt);
  std::string header = out.str();
  set_header_value(header, "Content-Type: ", "image/png");
  add_header_line(header, "Content-Length: " + std::to_string(png.size()));
  begin_response(stdout, header);
  write_all(stdout, png);
  fflush(stdout);
}

}  // namespace libqvp
