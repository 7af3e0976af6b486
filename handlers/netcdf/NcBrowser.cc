// The netCDF handler's browser views: the page gets the ancillary DAS and
// DDS as the DDX does; the CSV, like the data response, only what the file
// holds values for, with its attributes for the fill values.
#include "NcBrowser.h"

#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>

#include "NcDescribedDds.h"
#include "NcDownload.h"
#include "NcExactValues.h"
#include "NcFile.h"
#include "NcPngView.h"

namespace libqvp {

void serve_view(const BrowserView& view, const NcFilter& f) {
  if (view.kind() == BrowserView::catalog_view)
    return view.send_catalogue(f, stdout);
  if (view.kind() == BrowserView::netcdf_view) return send_netcdf(f);
  if (view.kind() == BrowserView::image_view) return send_png(f);
  if (view.kind() == BrowserView::netcdf4_view) return send_netcdf4(f);
  const bool page = view.kind() == BrowserView::page_view;
  NcFile file(f.get_dataset_name(), page ? 0 : kNcIoBytes);
  DDS dds;
  if (page) {
    build_described_dds(file, f, dds, true);
    return view.send_page(f, dds, stdout);
  }
  build_described_dds(file, f, dds, false);
  ConstraintEvaluator eval;
  // 64-bit integers without an exact Float64 form are refused before the
  // header, as the data response refuses them; send_csv applies the
  // constraint again.
  eval.parse_constraint(f.get_ce(), dds);
  check_exact_values(dds);
  view.send_csv(f, dds, eval, stdout);
}

}  // namespace libqvp
