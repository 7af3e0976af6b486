// The .png download: a quick-look picture of one 2-D slice of a variable.
#ifndef QVP_NC_NCPNGVIEW_H
#define QVP_NC_NCPNGVIEW_H

#include "NcFilter.h"

namespace libqvp {

// Answers f's request with a PNG picture (ImagePlot) of the one numeric
// variable its constraint selects: the last two selected dimensions are the
// picture's columns and rows, every other selected dimension must have
// length 1. scale_factor and add_offset are applied; _FillValue,
// missing_value, values outside valid_range / valid_min / valid_max, NaN
// and infinities are left transparent and out of the colour range. A
// selection longer than kMaxImageSide on a side is read with strides (each
// selected row read whole, then thinned). A conditional request for an
// unchanged data set gets a 304. Throws Error(usage_error) before anything
// is written for anything but one variable with such a 2-D shape (the
// message names the shape). Flushes stdout.
void send_png(const NcFilter& f);

constexpr size_t kMaxImageSide = 1024;

}  // namespace libqvp

#endif  // QVP_NC_NCPNGVIEW_H
