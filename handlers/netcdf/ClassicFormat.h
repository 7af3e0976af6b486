// Constants of the classic netCDF format family's header, which
// ClassicHeader reads and ClassicLayout writes.
#ifndef QVP_NC_CLASSICFORMAT_H
#define QVP_NC_CLASSICFORMAT_H

#include <cstdint>

namespace libqvp {

// The tags of the header's lists.
constexpr uint32_t kDimensionTag = 10;
constexpr uint32_t kVariableTag = 11;
constexpr uint32_t kAttributeTag = 12;

// `n` rounded up to a multiple of 4: names, attribute values and
// variables' values are padded so.
constexpr uint64_t padded(uint64_t n) { return n + (4 - n % 4) % 4; }

}  // namespace libqvp

#endif  // QVP_NC_CLASSICFORMAT_H
