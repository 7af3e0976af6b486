// A quick-look picture of a 2-D field: the values as viridis colours, a
// colour bar with the units, and axes labelled with coordinate values,
// drawn with cairo and encoded as PNG.
#ifndef QVP_NC_IMAGEPLOT_H
#define QVP_NC_IMAGEPLOT_H

#include <cstddef>
#include <string>
#include <vector>

namespace libqvp {

struct ImageAxis {
  std::string name;            // the dimension's name
  std::vector<double> values;  // one coordinate (or index) per cell
};

class ImagePlot {
 public:
  // `values` holds rows x cols values, row-major; NaN marks a cell without
  // a valid value, drawn transparent. Row 0 is drawn at the bottom.
  ImagePlot(size_t rows, size_t cols, std::vector<double> values, ImageAxis x,
            ImageAxis y, std::string title, std::string units);

  // The picture as PNG bytes. The plot's top left corner lies at
  // (kLeft, kTop); each value is a square of scale() pixels. With no valid
  // value the plot says so. Throws Error(internal_error) when cairo fails.
  std::string png() const;

  size_t scale() const { return d_scale; }

  static constexpr int kLeft = 90, kTop = 40, kRight = 120, kBottom = 60;
  // Grids smaller than this on their long side are enlarged.
  static constexpr size_t kMinLongSide = 400;

 private:
  size_t d_rows, d_cols, d_scale;
  std::vector<double> d_values;
  ImageAxis d_x, d_y;
  std::string d_title, d_units;
};

// The viridis colour of `t` in [0, 1] as red, green, blue in [0, 1].
void viridis(double t, double rgb[3]);

}  // namespace libqvp

#endif  // QVP_NC_IMAGEPLOT_H
