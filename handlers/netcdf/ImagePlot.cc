// cairo draws everything: the cells into an image surface's pixels
// directly (premultiplied ARGB, alpha 0 for cells without a value), then
// the frame, ticks, labels and colour bar with its path and text API.
#include "ImagePlot.h"

#include <cairo.h>
#include <libqvp/Error.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "PngEncoder.h"

namespace libqvp {
namespace {

// Viridis at eleven even steps; colours between are interpolated.
constexpr double kViridis[11][3] = {
    {0x44, 0x01, 0x54}, {0x48, 0x24, 0x75}, {0x41, 0x44, 0x87},
    {0x35, 0x5f, 0x8d}, {0x2a, 0x78, 0x8e}, {0x21, 0x91, 0x8c},
    {0x22, 0xa8, 0x84}, {0x44, 0xbf, 0x70}, {0x7a, 0xd1, 0x51},
    {0xbd, 0xdf, 0x26}, {0xfd, 0xe7, 0x25}};

using Surface = std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)>;
using Context = std::unique_ptr<cairo_t, void (*)(cairo_t*)>;

std::string number(double v) {
  char text[32];
  snprintf(text, sizeof text, "%.4g", v);
  return text;
}

void text_at(cairo_t* cr, const std::string& s, double x, double y,
             double align_x, double align_y) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, s.c_str(), &e);
  cairo_move_to(cr, x - e.width * align_x - e.x_bearing,
                y - e.height * align_y - e.y_bearing);
  cairo_show_text(cr, s.c_str());
}

// Up to `n` evenly spread cell indices of `count`, first and last included.
std::vector<size_t> ticks(size_t count, size_t n) {
  std::vector<size_t> out;
  if (count == 0) return out;
  const size_t k = std::min(count, n);
  for (size_t i = 0; i < k; ++i)
    out.push_back(k == 1 ? 0 : i * (count - 1) / (k - 1));
  return out;
}

}  // namespace

void viridis(double t, double rgb[3]) {
  t = std::clamp(std::isnan(t) ? 0.0 : t, 0.0, 1.0) * 10;
  const int i = std::min(static_cast<int>(t), 9);
  const double f = t - i;
  for (int c = 0; c < 3; ++c)
    rgb[c] = (kViridis[i][c] * (1 - f) + kViridis[i + 1][c] * f) / 255;
}

ImagePlot::ImagePlot(size_t rows, size_t cols, std::vector<double> values,
                     ImageAxis x, ImageAxis y, std::string title,
                     std::string units)
    : d_rows(rows),
      d_cols(cols),
      d_scale(std::max<size_t>(
          1, kMinLongSide / std::max({rows, cols, size_t{1}}))),
      d_values(std::move(values)),
      d_x(std::move(x)),
      d_y(std::move(y)),
      d_title(std::move(title)),
      d_units(std::move(units)) {}

std::string ImagePlot::png() const {
  const int pw = static_cast<int>(d_cols * d_scale);
  const int ph = static_cast<int>(d_rows * d_scale);
  const int w = kLeft + pw + kRight, h = kTop + ph + kBottom;
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h),
                  cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    throw Error(internal_error, "Cannot make a picture of " +
                                    std::to_string(w) + " x " +
                                    std::to_string(h) + " pixels");
  double lo = INFINITY, hi = -INFINITY;
  for (double v : d_values)
    if (!std::isnan(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  const bool any = lo <= hi;
  const double span = hi > lo ? hi - lo : 1;

  // The cells, straight into the pixels, their colours from a table of
  // kShades steps (finer than 8-bit colour tells apart).
  constexpr size_t kShades = 1024;
  std::vector<uint32_t> shades(kShades);
  for (size_t i = 0; i < kShades; ++i) {
    double rgb[3];
    viridis(static_cast<double>(i) / (kShades - 1), rgb);
    shades[i] = 0xFF000000u | uint32_t(rgb[0] * 255 + 0.5) << 16 |
                uint32_t(rgb[1] * 255 + 0.5) << 8 |
                uint32_t(rgb[2] * 255 + 0.5);
  }
  const double to_shade = (kShades - 1) / span;
  cairo_surface_flush(surface.get());
  unsigned char* pixels = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (size_t r = 0; r < d_rows; ++r) {
    for (size_t c = 0; c < d_cols; ++c) {
      const double v = d_values[r * d_cols + c];
      const uint32_t argb =  // transparent without a value
          std::isnan(v)
              ? 0
              : shades[std::min(kShades - 1, static_cast<size_t>(
                                                 (v - lo) * to_shade + 0.5))];
      const size_t top = kTop + (d_rows - 1 - r) * d_scale;
      for (size_t dy = 0; dy < d_scale; ++dy) {
        auto* row = reinterpret_cast<uint32_t*>(
            pixels + (top + dy) * static_cast<size_t>(stride));
        std::fill_n(row + kLeft + c * d_scale, d_scale, argb);
      }
    }
  }
  cairo_surface_mark_dirty(surface.get());

  Context cr(cairo_create(surface.get()), cairo_destroy);
  cairo_t* g = cr.get();
  cairo_select_font_face(g, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                         CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(g, 12);
  cairo_set_source_rgb(g, 0, 0, 0);
  cairo_set_line_width(g, 1);
  cairo_rectangle(g, kLeft - 0.5, kTop - 0.5, pw + 1, ph + 1);
  cairo_stroke(g);
  text_at(g, d_title, kLeft + pw / 2.0, kTop / 2.0, 0.5, 0.5);
  if (!any)
    text_at(g, "no valid values (all fill or missing)", kLeft + pw / 2.0,
            kTop + ph / 2.0, 0.5, 0.5);
  // x ticks below the plot, y ticks left of it, at cell centres.
  for (size_t c : ticks(d_cols, 5)) {
    const double x = kLeft + (c + 0.5) * d_scale;
    cairo_move_to(g, x, kTop + ph);
    cairo_line_to(g, x, kTop + ph + 5);
    cairo_stroke(g);
    text_at(g, number(d_x.values[c]), x, kTop + ph + 8, 0.5, 0);
  }
  text_at(g, d_x.name, kLeft + pw / 2.0, h - 12, 0.5, 1);
  for (size_t r : ticks(d_rows, 5)) {
    const double y = kTop + ph - (r + 0.5) * d_scale;
    cairo_move_to(g, kLeft - 5, y);
    cairo_line_to(g, kLeft, y);
    cairo_stroke(g);
    text_at(g, number(d_y.values[r]), kLeft - 8, y, 1, 0.5);
  }
  cairo_save(g);
  cairo_translate(g, 14, kTop + ph / 2.0);
  cairo_rotate(g, -M_PI / 2);
  text_at(g, d_y.name, 0, 0, 0.5, 0.5);
  cairo_restore(g);
  // The colour bar, low values at the bottom.
  const double bx = kLeft + pw + 20, bw = 16;
  for (int i = 0; i < ph; ++i) {
    double rgb[3];
    viridis(1.0 - (i + 0.5) / ph, rgb);
    cairo_set_source_rgb(g, rgb[0], rgb[1], rgb[2]);
    cairo_rectangle(g, bx, kTop + i, bw, 1);
    cairo_fill(g);
  }
  cairo_set_source_rgb(g, 0, 0, 0);
  cairo_rectangle(g, bx - 0.5, kTop - 0.5, bw + 1, ph + 1);
  cairo_stroke(g);
  if (any) {
    text_at(g, number(hi), bx + bw + 4, kTop, 0, 0);
    text_at(g, number(lo), bx + bw + 4, kTop + ph, 0, 1);
  }
  text_at(g, d_units, bx + bw / 2, kTop + ph + 8, 0.5, 0);

  cairo_surface_flush(surface.get());
  return encode_png(cairo_image_surface_get_data(surface.get()), w, h,
                    cairo_image_surface_get_stride(surface.get()));
}

}  // namespace libqvp
