// Vectorisable byte-swap loops for the XDR marshallers. Each loop is a plain
// element loop that the compiler vectorises; on x86-64 with GCC it is cloned
// for AVX2 and the baseline and dispatched at load time (ifunc).
#include "XDRByteSwap.h"

#include <cstring>

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && \
    defined(__linux__)
#define QVP_SWAP_CLONES                                                       \
  __attribute__((target_clones("arch=x86-64-v4", "avx2", "ssse3", "default"), \
                 optimize("O3")))
#else
#define QVP_SWAP_CLONES
#endif

namespace libqvp {
namespace xdr {
namespace {

template <typename T>
inline T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
inline void store(unsigned char* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

inline uint64_t to_be64(uint64_t v) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return v;
#else
  return __builtin_bswap64(v);
#endif
}

}  // namespace

QVP_SWAP_CLONES void encode_i16(const void* in, size_t n, char* out) {
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = reinterpret_cast<unsigned char*>(out);
  for (size_t i = 0; i < n; ++i) {
    const int32_t wide = load<int16_t>(src + 2 * i);
    store<uint32_t>(dst + 4 * i, to_be32(static_cast<uint32_t>(wide)));
  }
}

QVP_SWAP_CLONES void encode_u16(const void* in, size_t n, char* out) {
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = reinterpret_cast<unsigned char*>(out);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t wide = load<uint16_t>(src + 2 * i);
    store<uint32_t>(dst + 4 * i, to_be32(wide));
  }
}

QVP_SWAP_CLONES void encode_32(const void* in, size_t n, char* out) {
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = reinterpret_cast<unsigned char*>(out);
  for (size_t i = 0; i < n; ++i)
    store<uint32_t>(dst + 4 * i, to_be32(load<uint32_t>(src + 4 * i)));
}

QVP_SWAP_CLONES void encode_64(const void* in, size_t n, char* out) {
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = reinterpret_cast<unsigned char*>(out);
  for (size_t i = 0; i < n; ++i)
    store<uint64_t>(dst + 8 * i, to_be64(load<uint64_t>(src + 8 * i)));
}

}  // namespace xdr
}  // namespace libqvp
