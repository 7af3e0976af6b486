// An n-dimensional array of one scalar type, with the hyperslab selection of
// the last constraint and values either in memory or from a box reader.
#ifndef LIBQVP_ARRAY_H
#define LIBQVP_ARRAY_H

#include <libqvp/BaseType.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace libqvp {

class Array : public BaseType {
 public:
  // One dimension: its size and name, and the selection [start:stride:stop]
  // (indices into the whole dimension) with the count it selects.
  struct Dimension {
    int size = 0;
    std::string name;
    int start = 0;
    int stride = 1;
    int stop = -1;
    int c_size = 0;
  };

  // Fills `out` with the values of one box of the array: for each dimension d
  // the count[d] indices start[d], start[d] + stride[d], ... in row-major
  // order. `out` has room for the product of `count` values of the element's
  // value type (std::string objects for String and Url). Throws Error.
  using BoxReader =
      std::function<void(const Array& array, const std::vector<size_t>& start,
                         const std::vector<size_t>& stride,
                         const std::vector<size_t>& count, void* out)>;

  // Writes the elements of one box (as BoxReader describes it) to `m` with
  // put_encoded (or put_values, for values it decoded itself), and returns
  // true; or returns false having written nothing, and the box is then read
  // with the box reader. For readers whose source already holds the wire
  // encoding, or nearly. Throws Error.
  using EncodedReader =
      std::function<bool(const Array& array, const std::vector<size_t>& start,
                         const std::vector<size_t>& stride,
                         const std::vector<size_t>& count, Marshaller& m)>;

  // Largest box serialize() reads at once, in bytes of values.
  static constexpr size_t kBoxBytes = size_t{1} << 20;

  // `element` is a scalar prototype that gives the element type; its name is
  // normally the array's. Throws Error(type_mismatch) for a non-scalar.
  Array(std::string name, std::unique_ptr<BaseType> element);
  ~Array() override;

  BaseType* var() const { return d_element.get(); }
  Type element_type() const { return d_element->type(); }

  // Adds a dimension of `size` elements (selected whole). Throws
  // Error(bad_hyperslab) for a negative size or an array of more than
  // 2^32 - 1 elements.
  void append_dim(int size, const std::string& name = "");
  const std::vector<Dimension>& dims() const { return d_dims; }
  size_t dimensions() const { return d_dims.size(); }

  // Selects [start:stride:stop] of dimension `dim`. Throws
  // Error(bad_hyperslab) when dim is out of range, start < 0, stride < 1,
  // stop < start or stop >= size; nothing changes then.
  void add_constraint(size_t dim, int start, int stride, int stop);
  // Selects every element of every dimension again.
  void reset_constraint();

  size_t length() const;       // elements selected
  size_t full_length() const;  // elements in the whole array

  // Values in memory, row-major over the whole array; T is the element's
  // value type. Throws Error(type_mismatch) for another type or a count other
  // than full_length(). Replaces any box reader.
  void set_values(std::vector<uint8_t> v);
  void set_values(std::vector<int16_t> v);
  void set_values(std::vector<uint16_t> v);
  void set_values(std::vector<int32_t> v);
  void set_values(std::vector<uint32_t> v);
  void set_values(std::vector<float> v);
  void set_values(std::vector<double> v);
  void set_values(std::vector<std::string> v);

  // Installs a reader for the values; replaces values in memory.
  void set_box_reader(BoxReader reader);

  // Installs a reader that serialize() asks first for each box of numbers
  // (EncodedReader); a null one removes it. Values in memory ignore it.
  void set_encoded_reader(EncodedReader reader);

  // Reads one box (as BoxReader describes it) from memory or the reader.
  void read_box(const std::vector<size_t>& start,
                const std::vector<size_t>& stride,
                const std::vector<size_t>& count, void* out) const;

  // Calls f(start, stride, count, n) for each box of the current selection
  // in row-major order, each box holding n <= max_values values (at least
  // one), as serialize() walks it: a reader of several arrays with the same
  // selection reads the same boxes from each.
  using BoxVisitor = std::function<void(
      const std::vector<size_t>& start, const std::vector<size_t>& stride,
      const std::vector<size_t>& count, size_t n)>;
  void visit_boxes(size_t max_values, const BoxVisitor& f) const;

  // The selected values converted to double, row-major; for numeric arrays.
  // Throws Error(type_mismatch) for String and Url.
  std::vector<double> selected_as_double() const;

  using BaseType::print_decl;
  // "<space>Float64 depth[depth = 4];\n"; a dimension without a name prints
  // as "[4]". Constrained: the selected counts, nothing when not selected.
  void print_decl(std::ostream& out, const std::string& space = "    ",
                  bool print_semi = true, bool constraint_info = false,
                  bool constrained = false) const override;

  // Numbers: the selected count twice, then the elements (Byte packed and
  // padded). Strings: the count once, then each string. Box by box, each at
  // most kBoxBytes of values, each written before the next is read.
  bool serialize(const std::string& dataset, ConstraintEvaluator& eval,
                 DDS& dds, Marshaller& m, bool ce_eval = true) override;

  void print_xml(std::ostream& out, const std::string& indent,
                 bool constrained) const override;
  // The same element under another element name (a Grid's "Map"):
  //   <indent><Map name="time">
  //   <indent>    ...attributes...
  //   <indent>    <Float64/>
  //   <indent>    <dimension name="time" size="2"/>
  //   <indent></Map>
  // Constrained: the selected sizes (written even when not selected).
  void print_xml_as(std::ostream& out, const std::string& indent,
                    const std::string& element, bool constrained) const;

 protected:
  std::string constraint_comment() const override;

 private:
  // Calls f(start, stride, count, n) for each box of the selection in
  // row-major order, each box holding n <= max_values values.
  template <typename F>
  void for_each_box(size_t max_values, F f) const;
  template <typename T>
  void store(std::vector<T>& v, Type expected);
  template <typename T>
  void gather(const std::vector<size_t>& start,
              const std::vector<size_t>& stride,
              const std::vector<size_t>& count, T* out) const;
  void check_box(const std::vector<size_t>& start,
                 const std::vector<size_t>& stride,
                 const std::vector<size_t>& count) const;
  void serialize_numbers(Marshaller& m);
  void serialize_strings(Marshaller& m);

  std::unique_ptr<BaseType> d_element;
  std::vector<Dimension> d_dims;
  std::shared_ptr<void> d_values;  // a std::vector<T> of the element type
  BoxReader d_reader;
  EncodedReader d_encoded;
};

}  // namespace libqvp

#endif  // LIBQVP_ARRAY_H
