// Copying values in native memory order into their big-endian encoding, as
// classic netCDF files store them.
#ifndef QVP_NC_BIGENDIAN_H
#define QVP_NC_BIGENDIAN_H

#include <endian.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace libqvp {

inline uint16_t to_big_endian(uint16_t v) { return htobe16(v); }
inline uint32_t to_big_endian(uint32_t v) { return htobe32(v); }
inline uint64_t to_big_endian(uint64_t v) { return htobe64(v); }

// `n` values of type U from `src` to `dst`, big-endian: a loop the compiler
// vectorises.
template <typename U>
void copy_big_endian_as(const char* src, size_t n, char* dst) {
  for (size_t i = 0; i < n; ++i) {
    U v;
    std::memcpy(&v, src + sizeof(U) * i, sizeof(U));
    v = to_big_endian(v);
    std::memcpy(dst + sizeof(U) * i, &v, sizeof(U));
  }
}

// Writes the `n` values of `width` bytes (1, 2, 4 or 8) at `src` to `dst`
// big-endian; the two do not overlap.
inline void copy_big_endian(const void* src, size_t n, size_t width,
                            char* dst) {
  const auto* s = static_cast<const char*>(src);
  switch (width) {
    case 2:
      return copy_big_endian_as<uint16_t>(s, n, dst);
    case 4:
      return copy_big_endian_as<uint32_t>(s, n, dst);
    case 8:
      return copy_big_endian_as<uint64_t>(s, n, dst);
    default:
      std::memcpy(dst, s, n * width);
  }
}

}  // namespace libqvp

#endif  // QVP_NC_BIGENDIAN_H
