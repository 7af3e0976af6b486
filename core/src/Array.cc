// Arrays: dimensions and hyperslab selection, values in memory or from a box
// reader, and serialisation of the selection box by box so that memory stays
// bounded whatever the array's size.
#include <libqvp/Array.h>
#include <libqvp/Error.h>
#include <libqvp/Marshaller.h>
#include <libqvp/escaping.h>
#include <libqvp/next_index.h>
#include <libqvp/visit_scalar.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <utility>

#include "VarText.h"

namespace libqvp {

Array::Array(std::string name, std::unique_ptr<BaseType> element)
    : BaseType(std::move(name), Type::Array), d_element(std::move(element)) {
  if (!d_element || !d_element->is_simple_type())
    throw Error(
        type_mismatch,
        "array '" + this->name() + "': the element must be a scalar, not " +
            (d_element ? d_element->type_name() : std::string("nothing")));
  d_element->set_parent(this);
}

Array::~Array() = default;

void Array::append_dim(int size, const std::string& name) {
  if (size < 0)
    throw Error(bad_hyperslab, "array '" + this->name() +
                                   "': negative dimension size " +
                                   std::to_string(size));
  const uint64_t before = d_dims.empty() ? 1 : full_length();
  if (before * static_cast<uint64_t>(size) > UINT32_MAX)
    throw Error(bad_hyperslab,
                "array '" + this->name() + "': more than 4294967295 elements");
  Dimension d;
  d.size = size;
  d.name = name;
  d.stop = size - 1;
  d.c_size = size;
  d_dims.push_back(std::move(d));
}

void Array::add_constraint(size_t dim, int start, int stride, int stop) {
  const std::string where = "array '" + name() + "'";
  if (dim >= d_dims.size())
    throw Error(bad_hyperslab,
                where + " has no dimension " + std::to_string(dim));
  Dimension& d = d_dims[dim];
  const std::string slab = "[" + std::to_string(start) + ":" +
                           std::to_string(stride) + ":" + std::to_string(stop) +
                           "]";
  if (start < 0 || stride < 1 || stop < start || stop >= d.size)
    throw Error(bad_hyperslab, "hyperslab " + slab + " of " + where +
                                   " is outside dimension " +
                                   std::to_string(dim) + " of size " +
                                   std::to_string(d.size));
  d.start = start;
  d.stride = stride;
  d.stop = stop;
  d.c_size = (stop - start) / stride + 1;
}

void Array::reset_constraint() {
  for (Dimension& d : d_dims) {
    d.start = 0;
    d.stride = 1;
    d.stop = d.size - 1;
    d.c_size = d.size;
  }
}

size_t Array::length() const {
  if (d_dims.empty()) return 0;
  size_t n = 1;
  for (const Dimension& d : d_dims) n *= static_cast<size_t>(d.c_size);
  return n;
}

size_t Array::full_length() const {
  if (d_dims.empty()) return 0;
  size_t n = 1;
  for (const Dimension& d : d_dims) n *= static_cast<size_t>(d.size);
  return n;
}

template <typename T>
void Array::store(std::vector<T>& v, Type expected) {
  if (element_type() != expected)
    throw Error(type_mismatch, "array '" + name() + "' holds " +
                                   d_element->type_name() + ", not " +
                                   libqvp::type_name(expected) + " values");
  if (v.size() != full_length())
    throw Error(type_mismatch,
                "array '" + name() + "' has " + std::to_string(full_length()) +
                    " elements, not " + std::to_string(v.size()));
  d_values = std::make_shared<std::vector<T>>(std::move(v));
  d_reader = nullptr;
  set_read_p(true);
}

void Array::set_values(std::vector<uint8_t> v) { store(v, Type::Byte); }
void Array::set_values(std::vector<int16_t> v) { store(v, Type::Int16); }
void Array::set_values(std::vector<uint16_t> v) { store(v, Type::UInt16); }
void Array::set_values(std::vector<int32_t> v) { store(v, Type::Int32); }
void Array::set_values(std::vector<uint32_t> v) { store(v, Type::UInt32); }
void Array::set_values(std::vector<float> v) { store(v, Type::Float32); }
void Array::set_values(std::vector<double> v) { store(v, Type::Float64); }
void Array::set_values(std::vector<std::string> v) {
  store(v, element_type() == Type::Url ? Type::Url : Type::String);
}

void Array::set_box_reader(BoxReader reader) {
  d_reader = std::move(reader);
  d_values.reset();
}

void Array::set_encoded_reader(EncodedReader reader) {
  d_encoded = std::move(reader);
}

void Array::check_box(const std::vector<size_t>& start,
                      const std::vector<size_t>& stride,
                      const std::vector<size_t>& count) const {
  const size_t rank = d_dims.size();
  if (start.size() != rank || stride.size() != rank || count.size() != rank)
    throw Error(bad_hyperslab, "box of array '" + name() +
                                   "' has the wrong "
                                   "number of dimensions");
  for (size_t d = 0; d < rank; ++d) {
    const size_t size = static_cast<size_t>(d_dims[d].size);
    if (count[d] == 0) continue;
    if (stride[d] == 0 || start[d] >= size ||
        (count[d] - 1) > (size - 1 - start[d]) / stride[d])
      throw Error(bad_hyperslab, "box of array '" + name() +
                                     "' exceeds dimension " +
                                     std::to_string(d));
  }
}

// Copies a box out of the values in memory, one run along the last
// dimension at a time.
template <typename T>
void Array::gather(const std::vector<size_t>& start,
                   const std::vector<size_t>& stride,
                   const std::vector<size_t>& count, T* out) const {
  const auto& values = *static_cast<const std::vector<T>*>(d_values.get());
  if (values.size() != full_length())
    throw Error(internal_error, "array '" + name() +
                                    "': dimensions changed after its values "
                                    "were set");
  const size_t rank = d_dims.size();
  std::vector<size_t> extent(rank, 1);  // elements per step of dimension d
  for (size_t d = rank - 1; d > 0; --d)
    extent[d - 1] = extent[d] * static_cast<size_t>(d_dims[d].size);
  std::vector<size_t> idx(rank, 0);
  const size_t last = rank - 1;
  for (;;) {
    size_t base = 0;
    for (size_t d = 0; d < last; ++d)
      base += (start[d] + idx[d] * stride[d]) * extent[d];
    const T* src = values.data() + base + start[last];
    if (stride[last] == 1) {
      std::copy(src, src + count[last], out);
      out += count[last];
    } else {
      for (size_t i = 0; i < count[last]; ++i) *out++ = src[i * stride[last]];
    }
    if (!next_index(idx, count, 0, last)) return;
  }
}

void Array::read_box(const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count, void* out) const {
  check_box(start, stride, count);
  if (d_dims.empty()) return;
  for (size_t c : count)
    if (c == 0) return;
  if (d_reader) {
    d_reader(*this, start, stride, count, out);
    return;
  }
  if (!d_values)
    throw Error(internal_error, "array '" + name() + "' has no values");
  visit_scalar(element_type(), [&](auto tag) {
    using T = typename decltype(tag)::value_type;
    gather<T>(start, stride, count, static_cast<T*>(out));
  });
}

// Box shape: whole selected runs of the trailing dimensions while they fit,
// a slice of the next dimension, and single indices of the leading ones.
// Boxes then follow one another in the row-major order of the selection.
template <typename F>
void Array::for_each_box(size_t max_values, F f) const {
  const size_t rank = d_dims.size();
  if (length() == 0) return;
  std::vector<size_t> box(rank, 1);
  size_t room = std::max<size_t>(max_values, 1);
  for (size_t d = rank; d-- > 0;) {
    const size_t c = static_cast<size_t>(d_dims[d].c_size);
    box[d] = std::min(c, room);
    if (box[d] < c) break;
    room /= c;
  }
  // The boxes form a grid; `at` is a box's place in it.
  std::vector<size_t> grid(rank), at(rank, 0), start(rank), stride(rank),
      count(rank);
  for (size_t d = 0; d < rank; ++d) {
    grid[d] = (static_cast<size_t>(d_dims[d].c_size) + box[d] - 1) / box[d];
    stride[d] = static_cast<size_t>(d_dims[d].stride);
  }
  do {
    size_t n = 1;
    for (size_t d = 0; d < rank; ++d) {
      const Dimension& dim = d_dims[d];
      const size_t first = at[d] * box[d];  // in the selection
      start[d] = static_cast<size_t>(dim.start) + first * stride[d];
      count[d] = std::min(box[d], static_cast<size_t>(dim.c_size) - first);
      n *= count[d];
    }
    f(start, stride, count, n);
  } while (next_index(at, grid));
}

void Array::visit_boxes(size_t max_values, const BoxVisitor& f) const {
  for_each_box(max_values, f);
}

std::vector<double> Array::selected_as_double() const {
  if (!is_numeric_type(element_type()))
    throw Error(type_mismatch, "array '" + name() + "' holds " +
                                   d_element->type_name() +
                                   " values, not numbers");
  std::vector<double> result;
  result.reserve(length());
  visit_scalar(element_type(), [&](auto tag) {
    using T = typename decltype(tag)::value_type;
    if constexpr (!std::is_same_v<T, std::string>) {
      std::vector<T> buf;
      for_each_box(kBoxBytes / sizeof(T),
                   [&](const auto& start, const auto& stride, const auto& count,
                       size_t n) {
                     buf.resize(n);
                     read_box(start, stride, count, buf.data());
                     result.insert(result.end(), buf.begin(), buf.end());
                   });
    }
  });
  return result;
}

void Array::serialize_numbers(Marshaller& m) {
  const Type t = element_type();
  const size_t n = length();
  m.put_length(static_cast<uint32_t>(n));
  m.put_length(static_cast<uint32_t>(n));
  const size_t width = value_size(t);
  if (d_values && n == full_length()) {  // whole array already in memory
    visit_scalar(t, [&](auto tag) {
      using T = typename decltype(tag)::value_type;
      const auto& v = *static_cast<const std::vector<T>*>(d_values.get());
      if (v.size() != n)
        throw Error(internal_error, "array '" + name() +
                                        "': dimensions changed after its "
                                        "values were set");
      if constexpr (!std::is_same_v<T, std::string>)
        m.put_values(v.data(), n, t);
    });
  } else {
    // uint64_t storage keeps every element type aligned.
    std::vector<uint64_t> buf((std::min(n * width, kBoxBytes) + 7) / 8);
    for_each_box(kBoxBytes / width, [&](const auto& start, const auto& stride,
                                        const auto& count, size_t k) {
      if (d_encoded && d_values == nullptr) {
        check_box(start, stride, count);
        if (d_encoded(*this, start, stride, count, m)) return;
      }
      read_box(start, stride, count, buf.data());
      m.put_values(buf.data(), k, t);
    });
  }
  if (t == Type::Byte) m.put_byte_padding(n);
}

void Array::serialize_strings(Marshaller& m) {
  const bool url = element_type() == Type::Url;
  const size_t max_values = kBoxBytes / sizeof(std::string);
  m.put_length(static_cast<uint32_t>(length()));
  std::vector<std::string> buf(std::min(length(), max_values));
  for_each_box(max_values, [&](const auto& start, const auto& stride,
                               const auto& count, size_t k) {
    read_box(start, stride, count, buf.data());
    for (size_t i = 0; i < k; ++i) {
      if (url)
        m.put_url(buf[i]);
      else
        m.put_str(buf[i]);
    }
  });
}

bool Array::serialize(const std::string&, ConstraintEvaluator&, DDS&,
                      Marshaller& m, bool) {
  read_once();
  if (is_numeric_type(element_type()))
    serialize_numbers(m);
  else
    serialize_strings(m);
  return true;
}

std::string Array::constraint_comment() const {
  if (!send_p()) return "not selected";
  std::string s = "selected ";
  for (const Dimension& d : d_dims)
    s += "[" + std::to_string(d.start) + ":" + std::to_string(d.stride) + ":" +
         std::to_string(d.stop) + "]";
  return s;
}

void Array::print_decl(std::ostream& out, const std::string& space,
                       bool print_semi, bool constraint_info,
                       bool constrained) const {
  if (constrained && !send_p()) return;
  out << space << d_element->type_name() << ' ' << www_name();
  for (const Dimension& d : d_dims) {
    out << '[';
    if (!d.name.empty()) out << id2www(d.name) << " = ";
    out << (constrained ? d.c_size : d.size) << ']';
  }
  vartext::end_decl(out, print_semi,
                    constraint_info ? constraint_comment() : std::string());
}

void Array::print_xml_as(std::ostream& out, const std::string& indent,
                         const std::string& element, bool constrained) const {
  vartext::open_xml(out, indent, element, &name(), get_attr_table());
  const std::string inner = indent + "    ";
  out << inner << '<' << d_element->type_name() << "/>\n";
  for (const Dimension& d : d_dims) {
    out << inner << "<dimension";
    if (!d.name.empty())
      out << " name=\"" << vartext::xml_escape(d.name) << '"';
    out << " size=\"" << (constrained ? d.c_size : d.size) << "\"/>\n";
  }
  vartext::close_xml(out, indent, element);
}

void Array::print_xml(std::ostream& out, const std::string& indent,
                      bool constrained) const {
  if (constrained && !send_p()) return;
  print_xml_as(out, indent, "Array", constrained);
}

}  // namespace libqvp
