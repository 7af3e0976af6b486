// libpng reports errors by longjmp; the jump lands in encode_png's own
// frame, whose objects were all made before setjmp, and the write callback
// turns a failed append into png_error with nothing of its own alive.
#include "PngEncoder.h"

#include <libqvp/Error.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

namespace libqvp {
namespace {

void append(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    out->append(reinterpret_cast<const char*>(data), length);
  } catch (...) {
    failed = true;
  }
  if (failed) png_error(png, "out of memory");
}

void flush(png_structp) {}

// One row of premultiplied ARGB words as straight RGBA bytes.
void straight_rgba(const unsigned char* in, int width, unsigned char* out) {
  for (int x = 0; x < width; ++x, out += 4) {
    uint32_t p;
    std::memcpy(&p, in + 4 * x, 4);
    const uint32_t a = p >> 24;
    uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (a != 0 && a != 255) {
      r = (r * 255 + a / 2) / a;
      g = (g * 255 + a / 2) / a;
      b = (b * 255 + a / 2) / a;
    }
    out[0] = static_cast<unsigned char>(r);
    out[1] = static_cast<unsigned char>(g);
    out[2] = static_cast<unsigned char>(b);
    out[3] = static_cast<unsigned char>(a);
  }
}

}  // namespace

std::string encode_png(const unsigned char* pixels, int width, int height,
                       int stride) {
  std::string out;
  std::vector<unsigned char> row(static_cast<size_t>(width) * 4);
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    throw Error(internal_error, "Cannot encode the picture as PNG");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw Error(internal_error, "Cannot encode the picture as PNG");
  }
  png_set_write_fn(png, &out, append, flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width),
               static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);
  // Cells are runs of one colour along a row: the left neighbour predicts.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    straight_rgba(pixels + static_cast<size_t>(y) * stride, width, row.data());
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace libqvp
