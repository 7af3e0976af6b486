// The netCDF handler's browser views: the page gets the ancillary DAS and
// DDS as the DDX does (and, in a pool worker, is kept as the DDX is); the
// CSV, like the data response, only what the file holds values for, with its
// attributes for the fill values.
#include "NcBrowser.h"

#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>

#include "NcDescribedDds.h"
#include "NcDownload.h"
#include "NcExactValues.h"
#include "NcFile.h"
#include "NcPngView.h"
#include "ResponseBodies.h"

namespace libqvp {
namespace {

// The page, kept in a pool worker as the DDX is (ResponseBodies.h): a kept
// body goes out under headers made now; a body made anew is kept only when
// its sources are still those it was looked up by, so that a file changed
// while it was read is not remembered under the older key.
void send_page(const BrowserView& view, const NcFilter& f) {
  const auto sources = ResponseBodies::sources(f, ResponseBodies::page, &view);
  if (sources) {
    if (const std::string* kept = ResponseBodies::find(sources->key))
      return view.send_page(f, *kept, sources->last_modified, stdout);
  }
  NcFile file(f.get_dataset_name(), 0);
  DDS dds;
  build_described_dds(file, f, dds, true);
  if (!sources) return view.send_page(f, dds, stdout);
  const std::string body = view.page(f, dds);
  view.send_page(f, body, sources->last_modified, stdout);
  const auto now = ResponseBodies::sources(f, ResponseBodies::page, &view);
  if (now && now->key == sources->key) ResponseBodies::put(now->key, body);
}

}  // namespace

void serve_view(const BrowserView& view, const NcFilter& f) {
  if (view.kind() == BrowserView::catalog_view)
    return view.send_catalogue(f, stdout);
  if (view.kind() == BrowserView::netcdf_view) return send_netcdf(f);
  if (view.kind() == BrowserView::image_view) return send_png(f);
  if (view.kind() == BrowserView::netcdf4_view) return send_netcdf4(f);
  if (view.kind() == BrowserView::page_view) return send_page(view, f);
  NcFile file(f.get_dataset_name(), kNcIoBytes);
  DDS dds;
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
