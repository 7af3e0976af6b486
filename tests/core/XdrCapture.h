// Test helpers for the XDR tests: run the same writes through both
// marshallers, check that they agree, and compare with bytes given in hex.
#ifndef QVP_TESTS_CORE_XDRCAPTURE_H
#define QVP_TESTS_CORE_XDRCAPTURE_H

#include <gtest/gtest.h>
#include <libqvp/BaseType.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/XDRFileMarshaller.h>
#include <libqvp/XDRStreamMarshaller.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <string>
#include <type_traits>

#include "BothForms.h"

namespace qvptest {

using WriteFn = std::function<void(libqvp::Marshaller&)>;

// The bytes of `write` through an XDRFileMarshaller and an
// XDRStreamMarshaller; a failure when they differ.
inline std::string xdr_bytes(const WriteFn& write) {
  const libqvp::test::Written w = libqvp::test::run_both(
      [&](auto&& out) {
        if constexpr (std::is_same_v<std::decay_t<decltype(out)>, FILE*>) {
          libqvp::XDRFileMarshaller m(out);
          write(m);
        } else {
          libqvp::XDRStreamMarshaller m(out);
          write(m);
        }
      },
      [](const std::string& bytes) { return bytes; });
  EXPECT_EQ(w.file_bytes, w.stream_bytes)
      << "the two marshallers wrote different bytes";
  return w.file_bytes;
}

// The bytes of `v.serialize(...)` through both marshallers.
inline std::string serialized(libqvp::BaseType& v, bool ce_eval = false) {
  libqvp::DDS dds("test");
  libqvp::ConstraintEvaluator eval;
  return xdr_bytes([&](libqvp::Marshaller& m) {
    v.serialize("test", eval, dds, m, ce_eval);
  });
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

// The bytes as lower-case hex, four bytes per group, for failure messages.
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

}  // namespace qvptest

#endif  // QVP_TESTS_CORE_XDRCAPTURE_H
