// PNG encoding of a cairo image surface's pixels, tuned for speed: a
// quick-look picture is sent once and at once, so zlib's fastest level and
// one cheap filter beat the smallest file.
#ifndef QVP_NC_PNGENCODER_H
#define QVP_NC_PNGENCODER_H

#include <cstddef>
#include <string>

namespace libqvp {

// The PNG (8-bit RGBA, not interlaced) of `height` rows of `width` pixels
// at `pixels`, `stride` bytes apart, each a native-endian uint32 of
// premultiplied ARGB (cairo's CAIRO_FORMAT_ARGB32). Throws
// Error(internal_error) when libpng fails.
std::string encode_png(const unsigned char* pixels, int width, int height,
                       int stride);

}  // namespace libqvp

#endif  // QVP_NC_PNGENCODER_H
