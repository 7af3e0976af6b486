// What the core's unit tests share: the library's whole interface, the
// support helpers, builders for variables and data sets, and XDR bytes
// written through both marshallers.
#ifndef QVP_TESTS_CORE_CORETEST_H
#define QVP_TESTS_CORE_CORETEST_H

// First, so that the core tests show that the one include is self-contained
// and is all a handler needs.
#include <libqvp/core.h>
// Then the test framework and the standard library.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "BothForms.h"
#include "CaptureFile.h"
#include "CaseFile.h"
#include "ExpectError.h"
#include "Printed.h"

namespace libqvp::test {

// A variable of class T named `name`.
template <class T>
std::unique_ptr<T> named(const std::string& name) {
  return std::make_unique<T>(name);
}

// A scalar of class T named `name` holding `v`.
template <class T, class V>
std::unique_ptr<T> holding(V v, const std::string& name = "") {
  auto s = named<T>(name);
  s->set_value(v);
  return s;
}

// An array of T elements with dimensions {size, name}.
template <class T>
std::unique_ptr<Array> array(const std::string& name,
                             std::vector<std::pair<int, std::string>> dims) {
  auto a = std::make_unique<Array>(name, named<T>(name));
  for (const auto& d : dims) a->append_dim(d.first, d.second);
  return a;
}

// An array of T elements with unnamed dimensions of `sizes`.
template <class T>
std::unique_ptr<Array> sized(const std::string& name, std::vector<int> sizes) {
  auto a = std::make_unique<Array>(name, named<T>(name));
  for (int size : sizes) a->append_dim(size);
  return a;
}

// A one-dimensional array of T holding `values`.
template <class T, class V>
std::unique_ptr<Array> array_of(const std::string& name,
                                std::vector<V> values) {
  auto a = array<T>(name, {{static_cast<int>(values.size()), ""}});
  a->set_values(std::move(values));
  return a;
}

// A sequence row holding `values`, in field order.
template <class... V>
Sequence::Row row_of(V... values) {
  Sequence::Row row;
  (row.push_back(std::move(values)), ...);
  return row;
}

// The error code of the enumerator `name`, for codes in cases files.
inline int error_code(const std::string& name) {
  static const std::map<std::string, int> codes = {
      {"malformed_expr", malformed_expr},
      {"no_such_variable", no_such_variable},
      {"no_such_function", no_such_function},
      {"bad_hyperslab", bad_hyperslab},
      {"type_mismatch", type_mismatch}};
  return codes.at(name);
}

// A DDS parsed from `text`.
inline std::unique_ptr<DDS> parsed_dds(const std::string& text) {
  auto dds = std::make_unique<DDS>();
  dds->parse(text);
  return dds;
}

// What `print(out)` writes to a FILE* and to a std::ostream (`print` is a
// generic lambda); a failure when the two differ.
template <class Print>
std::string both_forms(Print&& print) {
  const Written w =
      run_both(print, [](const std::string& bytes) { return bytes; });
  EXPECT_EQ(w.file_bytes, w.stream_bytes) << "the two forms differ";
  return w.stream_bytes;
}

// The text form of an attribute table, without indent.
inline std::string attr_text(const AttrTable& t) {
  std::ostringstream out;
  t.print(out, "");
  return out.str();
}

// The bytes of `write` through an XDRFileMarshaller and an
// XDRStreamMarshaller; a failure when they differ.
inline std::string xdr_bytes(const std::function<void(Marshaller&)>& write) {
  return both_forms([&](auto&& out) {
    if constexpr (std::is_same_v<std::decay_t<decltype(out)>, FILE*>) {
      XDRFileMarshaller m(out);
      write(m);
    } else {
      XDRStreamMarshaller m(out);
      write(m);
    }
  });
}

// The bytes as lower-case hex, four bytes per group.
inline std::string to_hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i && i % 4 == 0) out += ' ';
    out += kDigits[static_cast<unsigned char>(bytes[i]) >> 4];
    out += kDigits[static_cast<unsigned char>(bytes[i]) & 15];
  }
  return out;
}

// Bytes written as hex digits; blanks are ignored ("0000 0001" is 00 00 00 01).
inline std::string hex(const std::string& digits) {
  std::string compact;
  for (char c : digits)
    if (!std::isspace(static_cast<unsigned char>(c))) compact += c;
  std::string bytes;
  for (size_t i = 0; i + 1 < compact.size(); i += 2)
    bytes += static_cast<char>(std::stoi(compact.substr(i, 2), nullptr, 16));
  return bytes;
}

// `hex` in the canonical spacing of to_hex, for comparing with xdr_hex.
inline std::string spaced(const std::string& digits) {
  return to_hex(hex(digits));
}

// The bytes of `v.serialize(...)` through both marshallers.
inline std::string serialized(BaseType& v, bool ce_eval = false) {
  DDS dds("test");
  ConstraintEvaluator eval;
  return xdr_bytes(
      [&](Marshaller& m) { v.serialize("test", eval, dds, m, ce_eval); });
}

// serialized(v) as to_hex writes it.
inline std::string xdr_hex(BaseType& v) { return to_hex(serialized(v)); }

}  // namespace libqvp::test

#endif  // QVP_TESTS_CORE_CORETEST_H
