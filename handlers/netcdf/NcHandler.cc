// The netCDF handler's entry function: serves the one request named on its
// command line. The response goes to stdout and every failure becomes an
// error response there (or, once a data response's body has begun, a log line
// on stderr and a non-zero exit).
#include "NcHandler.h"

#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/cgi_util.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <new>

#include "ErrorResponse.h"
#include "NcBrowser.h"
#include "NcDAS.h"
#include "NcDDS.h"
#include "NcFastPath.h"
#include "NcFile.h"
#include "NcFilter.h"
#include "NcMemberAttributes.h"

#if defined(__SANITIZE_ADDRESS__)
#define QVP_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVP_UNDER_ASAN 1
#endif
#endif

namespace libqvp {
namespace {

// The address space the handler may use. A response needs a few MiB (values
// go out one box at a time); the cap turns a hostile file that makes the
// netCDF library allocate without end (a header declaring 2^31 dimensions)
// into an allocation failure, answered with an error, instead of exhausting
// the machine. AddressSanitizer reserves terabytes up front: no cap there.
constexpr rlim_t kAddressSpaceLimit = rlim_t{2} << 30;

void limit_address_space() {
#ifndef QVP_UNDER_ASAN
  struct rlimit limit {};
  if (getrlimit(RLIMIT_AS, &limit) == 0 &&
      (limit.rlim_cur == RLIM_INFINITY ||
       limit.rlim_cur > kAddressSpaceLimit)) {
    limit.rlim_cur = kAddressSpaceLimit;
    setrlimit(RLIMIT_AS, &limit);
  }
#endif
}

void send_das(const NcFilter& f) {
  NcFile file(f.get_dataset_name());
  DAS das;
  build_das(file, das);
  f.read_ancillary_das(das, "");
  f.send_das(das, "", true);
}

void send_dds(const NcFilter& f) {
  NcFile file(f.get_dataset_name());
  DDS dds;
  build_dds(file, dds);
  f.read_ancillary_dds(dds, "");
  ConstraintEvaluator eval;
  f.send_dds(dds, eval, true, "", true);
}

void send_ddx(const NcFilter& f) {
  NcFile file(f.get_dataset_name());
  DDS dds;
  build_dds(file, dds);
  f.read_ancillary_dds(dds, "");
  DAS das;
  build_das(file, das);
  f.read_ancillary_das(das, "");
  dds.transfer_attributes(das);
  move_member_attributes(dds);
  ConstraintEvaluator eval;
  f.send_ddx(dds, eval, stdout, true);
}

// The data response leaves ancillary DDS files out: a variable they declare
// would have no values to send.
void send_data(const NcFilter& f) {
  NcFile file(f.get_dataset_name());
  DDS dds;
  build_dds(file, dds);
  install_fast_readers(file, dds);
  enlarge_output_pipe(stdout);
  ConstraintEvaluator eval;
  f.send_data(dds, eval, stdout, "", true);
}

void serve(const NcFilter& f) {
  switch (f.get_response()) {
    case VORNFilter::DAS_Response:
      return send_das(f);
    case VORNFilter::DDS_Response:
      return send_dds(f);
    case VORNFilter::DDX_Response:
      return send_ddx(f);
    case VORNFilter::DataDDS_Response:
      return send_data(f);
    case VORNFilter::Version_Response:
      return f.send_version_info();
    default:
      throw Error(usage_error, "No response kind was asked for (option -o)");
  }
}

int fail(const NcFilter* f, const BrowserView* view, const Error& e) {
  if ((f != nullptr && f->body_started()) ||
      (view != nullptr && view->body_started())) {
    ErrMsgT("The data response for \"" + base_name(f->get_dataset_name()) +
            "\" was cut short: " + e.get_error_message());
    return 1;
  }
  if (http_status_of(e) == 500) ErrMsgT(e.get_error_message());
  send_error(stdout, e, f != nullptr ? f->get_cgi_version() : "");
  return 0;
}

}  // namespace

int nc_handler_main(int argc, char* argv[]) {
  limit_address_space();
  std::unique_ptr<BrowserView> view;
  std::unique_ptr<NcFilter> filter;
  try {
    view = std::make_unique<BrowserView>(argc, argv);
    filter =
        std::make_unique<NcFilter>(view->filter_argc(), view->filter_argv());
    if (view->kind() != BrowserView::no_view)
      serve_view(*view, *filter);
    else
      serve(*filter);
  } catch (const Error& e) {
    return fail(filter.get(), view.get(), e);
  } catch (const std::bad_alloc&) {
    return fail(filter.get(), view.get(),
                Error(internal_error, "Out of memory"));
  } catch (const std::exception& e) {
    return fail(filter.get(), view.get(), Error(internal_error, e.what()));
  }
  return fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace libqvp
