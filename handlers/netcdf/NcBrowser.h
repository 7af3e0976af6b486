// The netCDF handler's answers to a browser: a data set's page, its values
// as CSV, and the catalogue of a directory.
#ifndef QVP_NC_NCBROWSER_H
#define QVP_NC_NCBROWSER_H

#include <libqvp/BrowserView.h>

#include "NcFilter.h"

namespace libqvp {

// Answers `view` (not BrowserView::no_view) for the request `f` on stdout.
// Throws Error as the responses do (see BrowserView).
void serve_view(const BrowserView& view, const NcFilter& f);

}  // namespace libqvp

#endif  // QVP_NC_NCBROWSER_H
