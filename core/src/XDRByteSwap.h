// Bulk conversion of native numeric arrays to XDR's big-endian element
// encoding. Private to the core library.
#ifndef LIBQVP_SRC_XDRBYTESWAP_H
#define LIBQVP_SRC_XDRBYTESWAP_H

#include <cstddef>
#include <cstdint>

namespace libqvp {
namespace xdr {

// Each function reads `n` values from `in` (any alignment) and writes their
// big-endian encodings to `out` (any alignment, no overlap): 4 bytes per
// value for the 16- and 32-bit kinds (int16 sign-extended, uint16
// zero-extended), 8 bytes per value for the 64-bit kind. The loops are
// compiled for several instruction sets and chosen at load time, so one
// binary runs everywhere and uses AVX2 where it exists.
void encode_i16(const void* in, size_t n, char* out);
void encode_u16(const void* in, size_t n, char* out);
void encode_32(const void* in, size_t n, char* out);
void encode_64(const void* in, size_t n, char* out);

// One 32-bit value in big-endian order, for scalars and markers.
inline uint32_t to_be32(uint32_t v) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return v;
#else
  return __builtin_bswap32(v);
#endif
}

}  // namespace xdr
}  // namespace libqvp

#endif  // LIBQVP_SRC_XDRBYTESWAP_H
