// The length of a data response's XDR values, known from the selection
// alone where the types fix it, so that a response can state its size before
// its first byte (an HTTP Content-Length that lets a client tell a cut
// transfer from a complete one).
#ifndef LIBQVP_XDR_SIZE_H
#define LIBQVP_XDR_SIZE_H

#include <cstdint>
#include <optional>

namespace libqvp {

class BaseType;
class DDS;

// The bytes that the core's serialize() writes for the current selection of
// `v` (numbers 4 or 8 bytes, arrays their two counts and elements, Byte
// arrays padded, Structures and Grids their selected members). Empty when
// the values decide it: a String or Url, or a Sequence, among what is
// selected. A variable that is not selected takes 0 bytes.
std::optional<uint64_t> xdr_size(const BaseType& v);

// The sum of xdr_size over the selected top-level variables of `dds`, as
// the data response writes them; empty when any of them is empty.
std::optional<uint64_t> xdr_size(const DDS& dds);

}  // namespace libqvp

#endif  // LIBQVP_XDR_SIZE_H
