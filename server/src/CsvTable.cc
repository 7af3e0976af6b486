// Writing the CSV table: the columns share one selection, so each box of
// the first array's selection is read from every array column (and the
// matching run of each coordinate), then written row by row.
#include "CsvTable.h"

#include <libqvp/Constructor.h>
#include <libqvp/Error.h>
#include <libqvp/Grid.h>
#include <libqvp/next_index.h>
#include <libqvp/write_all.h>

#include <string>
#include <vector>

#include "CsvValues.h"
#include "web_text.h"

namespace libqvp {
namespace {

constexpr size_t kBoxValues = 16384;       // values per column per box
constexpr size_t kFlushBytes = 64 * 1024;  // text collected before fwrite
constexpr const char* kFillAttributes[] = {"_FillValue", "missing_value"};

bool is_whole(const Array::Dimension& d) {
  return d.start == 0 && d.stride == 1 && d.stop == d.size - 1;
}

// "[time=2][lat=0:2:2]": each dimension with its size, or with its selected
// range when not whole.
std::string shape_text(const Array* a) {
  if (a == nullptr) return "no dimensions";
  std::string out;
  for (const Array::Dimension& d : a->dims()) {
    out += "[" + (d.name.empty() ? std::string() : d.name + "=");
    out += is_whole(d)
               ? std::to_string(d.size)
               : std::to_string(d.start) + ":" + std::to_string(d.stride) +
                     ":" + std::to_string(d.stop);
    out += "]";
  }
  return out;
}

bool same_shape(const Array* a, const Array* b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->dims().size() != b->dims().size()) return false;
  for (size_t i = 0; i < a->dims().size(); ++i) {
    const Array::Dimension& x = a->dims()[i];
    const Array::Dimension& y = b->dims()[i];
    if (x.name != y.name || x.size != y.size || x.start != y.start ||
        x.stride != y.stride || x.stop != y.stop)
      return false;
  }
  return true;
}

// True when `text` is plain ASCII that needs no quotes (every number).
bool is_plain(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80 || c == ',' || c == '"' || c == '\r' || c == '\n')
      return false;
  return true;
}

// Appends `field` to the row `out` as RFC 4180 wants it.
void append_field(std::string& out, const std::string& field) {
  if (is_plain(field)) {
    out += field;
    return;
  }
  const std::string f = utf8_repaired(field);
  if (f.find_first_of(",\"\r\n") == std::string::npos) {
    out += f;
    return;
  }
  out += '"';
  for (char c : f) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  out += '"';
}

// Collects text and writes it in large pieces.
class Output {
 public:
  explicit Output(FILE* out) : d_out(out) {}
  void add(const std::string& line) {
    d_text += line;
    if (d_text.size() >= kFlushBytes) flush();
  }
  void flush() {
    write_all(d_out, d_text);
    d_text.clear();
  }

 private:
  FILE* d_out;
  std::string d_text;
};

}  // namespace

CsvTable::CsvTable(const DDS& dds) : d_dds(dds) {
  for (auto it = dds.var_begin(); it != dds.var_end(); ++it) collect(*it, "");
  if (d_columns.empty())
    throw Error(usage_error, "No variable is selected for the CSV response");
  check_shapes();
  find_axes();
}

void CsvTable::collect(const BaseType* v, const std::string& prefix) {
  if (!v->send_p()) return;
  if (v->is_simple_type() || v->type() == Type::Array) {
    add_column(v, v, prefix);
  } else if (v->type() == Type::Grid) {
    const auto* g = static_cast<const Grid*>(v);
    if (g->array()->send_p()) {
      add_column(g->array(), g, prefix);
    } else {
      for (size_t i = 0; i < g->map_count(); ++i)
        if (g->map(i)->send_p()) add_column(g->map(i), g->map(i), prefix);
    }
  } else if (v->type() == Type::Structure) {
    const auto* s = static_cast<const Constructor*>(v);
    for (auto it = s->var_begin(); it != s->var_end(); ++it)
      collect(*it, prefix + v->name() + ".");
  } else {
    throw Error(usage_error, "CSV holds arrays and scalars; \"" + prefix +
                                 v->name() + "\" is a " + v->type_name());
  }
}

void CsvTable::add_column(const BaseType* var, const BaseType* attributes_of,
                          const std::string& prefix) {
  Column c;
  c.var = var;
  c.prefix = prefix;
  if (var->type() == Type::Array) c.array = static_cast<const Array*>(var);
  const Type t = c.array ? c.array->element_type() : var->type();
  for (const char* name : kFillAttributes) {
    for (const BaseType* holder : {var, attributes_of}) {
      const AttrTable::Entry* e = holder->get_attr_table().find(name);
      if (e == nullptr || e->is_container()) continue;
      const std::vector<double> f = CsvValues::fills(t, e->values);
      c.fill.insert(c.fill.end(), f.begin(), f.end());
      break;
    }
  }
  d_columns.push_back(std::move(c));
}

void CsvTable::check_shapes() const {
  const Column& first = d_columns.front();
  for (const Column& c : d_columns) {
    if (same_shape(first.array, c.array)) continue;
    throw Error(usage_error,
                "The variables of one CSV response must share their "
                "dimensions: \"" +
                    first.prefix + first.var->name() + "\" has " +
                    shape_text(first.array) + ", \"" + c.prefix +
                    c.var->name() + "\" has " + shape_text(c.array));
  }
}

void CsvTable::find_axes() {
  const Array* a = d_columns.front().array;
  if (a == nullptr) return;
  const auto* grid = dynamic_cast<const Grid*>(a->get_parent());
  for (size_t i = 0; i < a->dims().size(); ++i) {
    const Array::Dimension& d = a->dims()[i];
    Axis axis;
    axis.header = d.name.empty() ? "dim" + std::to_string(i) : d.name;
    if (grid != nullptr && grid->array() == a && grid->map_count() > i) {
      axis.coordinate = grid->map(i);
    } else if (!d.name.empty()) {
      // A coordinate beside the variable (in its structure), else at the top.
      const BaseType* v = d_dds.var(d_columns.front().prefix + d.name);
      if (v == nullptr) v = d_dds.var(d.name);
      if (v != nullptr && v->type() == Type::Grid)
        v = static_cast<const Grid*>(v)->array();
      const auto* c = dynamic_cast<const Array*>(v);
      if (c != nullptr && c->dims().size() == 1 &&
          c->dims()[0].name == d.name && c->dims()[0].size == d.size)
        axis.coordinate = c;
    }
    // A one-dimensional column named after its dimension is that
    // dimension's coordinate: the axis column would repeat it.
    for (const Column& c : d_columns)
      if (a->dims().size() == 1 && c.var->name() == d.name)
        axis.written = false;
    d_axes.push_back(std::move(axis));
  }
}

std::string CsvTable::row(const std::vector<std::string>& fields) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    append_field(out, fields[i]);
  }
  return out + "\r\n";
}

void CsvTable::write(FILE* out) const {
  std::vector<std::string> header;
  for (const Axis& a : d_axes)
    if (a.written) header.push_back(a.header);
  for (const Column& c : d_columns) header.push_back(c.prefix + c.var->name());
  Output o(out);
  o.add(row(header));
  o.flush();
  if (d_columns.front().array == nullptr)
    write_scalars(out);
  else
    write_arrays(out);
}

void CsvTable::write_scalars(FILE* out) const {
  std::vector<std::string> fields;
  for (const Column& c : d_columns)
    fields.push_back(CsvValues::scalar_text(*c.var, c.fill));
  Output o(out);
  o.add(row(fields));
  o.flush();
}

void CsvTable::write_arrays(FILE* out) const {
  Output o(out);
  const size_t rank = d_axes.size();
  std::vector<CsvValues> values(d_columns.size());
  std::vector<CsvValues> coords(rank);
  std::vector<std::string> fields;
  const std::vector<double> no_fill;
  d_columns.front().array->visit_boxes(
      kBoxValues,
      [&](const std::vector<size_t>& start, const std::vector<size_t>& stride,
          const std::vector<size_t>& count, size_t n) {
        for (size_t i = 0; i < d_columns.size(); ++i)
          values[i].read(*d_columns[i].array, start, stride, count, n);
        for (size_t d = 0; d < rank; ++d)
          if (d_axes[d].coordinate && d_axes[d].written)
            coords[d].read(*d_axes[d].coordinate, {start[d]}, {stride[d]},
                           {count[d]}, count[d]);
        std::vector<size_t> idx(rank, 0);
        for (size_t k = 0; k < n; ++k) {
          fields.clear();
          for (size_t d = 0; d < rank; ++d) {
            if (!d_axes[d].written) continue;
            fields.push_back(
                d_axes[d].coordinate
                    ? coords[d].text(idx[d], no_fill)
                    : std::to_string(start[d] + idx[d] * stride[d]));
          }
          for (size_t i = 0; i < d_columns.size(); ++i)
            fields.push_back(values[i].text(k, d_columns[i].fill));
          o.add(row(fields));
          next_index(idx, count);
        }
      });
  o.flush();
}

}  // namespace libqvp
