// The one checked write of the library: every printer and marshaller that
// writes to a caller's FILE* or stream hands its bytes to write_all, so a
// failed write is reported the same way everywhere.
#ifndef LIBQVP_WRITE_ALL_H
#define LIBQVP_WRITE_ALL_H

#include <cstdio>
#include <ostream>
#include <string_view>

namespace libqvp {

// Writes every byte of `bytes` to `out`, NUL bytes included; nothing is
// flushed. Throws Error(write_error, "could not write N bytes: <reason>")
// when fewer bytes are written, or `out` is null. The caller keeps `out`.
void write_all(FILE* out, std::string_view bytes);
// Same contract; a stream that fails (or throws its own failure) is reported
// as Error(write_error).
void write_all(std::ostream& out, std::string_view bytes);

}  // namespace libqvp

#endif  // LIBQVP_WRITE_ALL_H
