// The netCDF handler's entry function: serves the one request named on its
// command line. The response goes to stdout and every failure becomes an
// error response there (or, once a data response's body has begun, a log line
// on stderr and a non-zero exit). The whole request runs under a
// RequestGuard: a time limit, a crash answered with an error response, and
// the data set's directory as the working directory.
#include "NcHandler.h"

#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Pool.h>
#include <libqvp/RequestGuard.h>
#include <libqvp/cgi_util.h>
#include <libqvp/header_edit.h>
#include <libqvp/write_all.h>
#include <libqvp/xdr_size.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <sstream>

#include "ErrorResponse.h"
#include "NcBrowser.h"
#include "NcDAS.h"
#include "NcDDS.h"
#include "NcDescribedDds.h"
#include "NcExactValues.h"
#include "NcFastPath.h"
#include "NcFile.h"
#include "NcFilter.h"
#include "NcResponseHeader.h"
#include "OpenFiles.h"
#include "ResponseBodies.h"
#include "ncml/LoggedError.h"
#include "ncml/NcmlDataSet.h"
#include "ncml/SelectedMembers.h"

namespace libqvp {
namespace {

// The address space the handler may use. A response needs a few MiB (values
// go out one box at a time); the cap turns a hostile file that makes the
// netCDF library allocate without end (a header declaring 2^31 dimensions)
// into an allocation failure, answered with an error, instead of exhausting
// the machine. The largest legitimate metadata measured (the DDX of a
// netCDF-4 file of 5000 variables with a dozen attributes each, 9 MB of XML;
// bench/metadata_memory.sh) needs about 330 MiB, linear_scale() at its bound
// about 400 MiB: 1 GiB leaves room for files a few times larger.
// AddressSanitizer reserves terabytes up front: no cap there.
constexpr rlim_t kAddressSpaceLimit = rlim_t{1} << 30;

// The time limits when the command line gives none (-t): a data response may
// stream a large variable to a slow client; a metadata response only reads
// the file's header.
constexpr unsigned kDataSeconds = 300;
constexpr unsigned kMetadataSeconds = 120;

// The netCDF library's switch that makes it ignore its configuration files
// (.ncrc, .daprc, .dodsrc in $HOME and the working directory): a file placed
// there must not reconfigure the library a request runs.
constexpr const char* kIgnoreLibraryConfig = "NCRCENV_IGNORE";

unsigned time_limit(const NcFilter& f, const BrowserView& view) {
  if (f.get_timeout() > 0) return static_cast<unsigned>(f.get_timeout());
  const bool data = f.get_response() == VORNFilter::DataDDS_Response ||
                    view.kind() == BrowserView::csv_view ||
                    view.kind() == BrowserView::netcdf_view ||
                    view.kind() == BrowserView::netcdf4_view ||
                    view.kind() == BrowserView::image_view;
  return data ? kDataSeconds : kMetadataSeconds;
}

// The directory part of `path` ("" when it has none).
std::string directory_of(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A pool worker keeps open files and response bodies between requests; a
// one-request process keeps nothing. Blocks of kMmapThreshold and more are
// mapped apart and given back when freed: otherwise the few MiB a large
// response makes in passing stay resident around the bodies kept beside
// them (16 DDX bodies of 1.5 MB left a worker at 80 MiB instead of 30).
constexpr int kMmapThreshold = 256 << 10;

void enable_caches() {
  static bool enabled = false;
  if (enabled || !Pool::in_worker()) return;
  enabled = true;
  mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
  OpenFiles::enable();
  ResponseBodies::enable();
}

// Once per process: a resident worker keeps the limit it set.
void limit_address_space() {
#ifndef QVP_UNDER_ASAN
  static bool limited = false;
  if (limited) return;
  limited = true;
  struct rlimit limit {};
  if (getrlimit(RLIMIT_AS, &limit) == 0 &&
      (limit.rlim_cur == RLIM_INFINITY ||
       limit.rlim_cur > kAddressSpaceLimit)) {
    limit.rlim_cur = kAddressSpaceLimit;
    setrlimit(RLIMIT_AS, &limit);
  }
#endif
}

// Writes a text response: `header`, a header block from a library writer,
// completed for a body of `body` (none after a 304), then the body.
void send_parts(const std::string& header, std::string_view body) {
  begin_response(stdout, completed_text_header(header, body.size()));
  write_all(stdout, body);
  fflush(stdout);
}

// Answers f's request with the body kept for `sources`, under a header made
// now; false when none is kept.
bool send_kept(const NcFilter& f, const ResponseBodies::Sources& sources) {
  const std::string* body = ResponseBodies::find(sources.key);
  if (body == nullptr) return false;
  std::ostringstream header;
  if (unchanged_since_request(f, sources.last_modified)) {
    set_mime_not_modified(header);
    send_parts(header.str(), "");
  } else {
    set_mime_text(header, sources.type, f.get_cgi_version(), x_plain,
                  sources.last_modified);
    send_parts(header.str(), *body);
  }
  return true;
}

// Text responses are made whole in memory (a header, then at most a few MiB
// of text); the header is completed with the charset and the length, then
// both are written. The body is kept for `sources` when there are any.
template <typename Write>
void send_text(const std::optional<ResponseBodies::Sources>& sources,
               Write write) {
  std::ostringstream out;
  write(out);
  const std::string response = out.str();
  const size_t length = header_block_length(response);
  if (length == std::string::npos) {
    begin_response(stdout, response);
    fflush(stdout);
    return;
  }
  const std::string_view body = std::string_view(response).substr(length);
  send_parts(response.substr(0, length), body);
  if (sources && !body.empty())
    ResponseBodies::put(sources->key, std::string(body));
}

void send_das(const NcFilter& f) {
  const auto sources = ResponseBodies::sources(f, ResponseBodies::das);
  if (sources && send_kept(f, *sources)) return;
  NcFile file(f.get_dataset_name());
  DAS das;
  build_das(file, das);
  f.read_ancillary_das(das, "");
  send_text(sources,
            [&](std::ostream& out) { f.send_das(out, das, "", true); });
}

void send_dds(const NcFilter& f) {
  const auto sources = ResponseBodies::sources(f, ResponseBodies::dds);
  if (sources && send_kept(f, *sources)) return;
  NcFile file(f.get_dataset_name());
  DDS dds;
  build_dds(file, dds);
  f.read_ancillary_dds(dds, "");
  ConstraintEvaluator eval;
  send_text(sources, [&](std::ostream& out) {
    f.send_dds(out, dds, eval, true, "", true);
  });
}

void send_ddx(const NcFilter& f) {
  const auto sources = ResponseBodies::sources(f, ResponseBodies::ddx);
  if (sources && send_kept(f, *sources)) return;
  NcFile file(f.get_dataset_name());
  DDS dds;
  build_described_dds(file, f, dds, true);
  ConstraintEvaluator eval;
  send_text(sources,
            [&](std::ostream& out) { f.send_ddx(dds, eval, out, true); });
}

// The body's length when the selection fixes it: the constrained DDS text,
// "Data:\n" and the XDR values.
std::optional<uint64_t> data_length(const DDS& dds) {
  const std::optional<uint64_t> values = xdr_size(dds);
  if (!values) return std::nullopt;
  std::ostringstream text;
  dds.print_constrained(text);
  return text.str().size() + sizeof "Data:\n" - 1 + *values;
}

// The data response leaves ancillary DDS files out: a variable they declare
// would have no values to send. What could fail is decided before the
// header goes out (the constraint, 64-bit integers without an exact Float64
// form), and the header states the body's length where the types fix it, so
// that a client can tell a response cut short from a whole one. A 304 and a
// function's result take the library's own path.
void send_data(const NcFilter& f) {
  NcFile file(f.get_dataset_name(), kNcIoBytes);
  DDS dds;
  build_dds(file, dds);
  install_fast_readers(file, dds);
  enlarge_output_pipe(stdout);
  ConstraintEvaluator eval;
  const time_t lmt = f.get_data_last_modified_time("");
  if (!unchanged_since_request(f, lmt)) {
    eval.parse_constraint(f.get_ce(), dds);
    if (!eval.functional_expression()) {
      check_exact_values(dds);
      if (file.ncml() != nullptr) check_selected_members(*file.ncml(), dds);
      const std::string header = data_header(f, lmt, data_length(dds));
      begin_response(stdout, header);
      // The rest of the library's data frame, whose steps before the body
      // are done above (so the data set's times are not looked up twice).
      dds.set_timeout(f.get_timeout());
      dds.tag_nested_sequences();
      f.dataset_constraint(dds, eval, stdout);
      fflush(stdout);
      return;
    }
  }
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

// Answers `e` with an error response, or, once the response has begun
// under `guard` (it is null until the guard is armed), logs that the
// response was cut short and returns 1.
int fail(const RequestGuard* guard, const NcFilter* f, const Error& e) {
  const bool cut_short = guard != nullptr && RequestGuard::output_started();
  // A library that failed on a file may have left it unusable: no file
  // stays open past a failed read.
  if (cut_short || http_status_of(e) == 500) OpenFiles::clear();
  if (cut_short) {
    ErrMsgT("The response for \"" + base_name(f->get_dataset_name()) +
            "\" was cut short: " + e.get_error_message());
    return 1;
  }
  if (http_status_of(e) == 500 &&
      dynamic_cast<const LoggedError*>(&e) == nullptr)
    ErrMsgT(e.get_error_message());
  send_error(stdout, e, f != nullptr ? f->get_cgi_version() : "");
  return 0;
}

}  // namespace

int nc_handler_main(int argc, char* argv[]) {
  limit_address_space();
  enable_caches();
  NcmlDataSet::begin_request();
  setenv(kIgnoreLibraryConfig, "1", 1);
  std::unique_ptr<BrowserView> view;
  std::unique_ptr<NcFilter> filter;
  // Lives until the return: the error response and the final flush run
  // under it too.
  std::unique_ptr<RequestGuard> guard;
  try {
    view = std::make_unique<BrowserView>(argc, argv);
    filter =
        std::make_unique<NcFilter>(view->filter_argc(), view->filter_argv());
    filter->anchor_dataset_name();
    const std::string dataset = filter->get_dataset_name();
    guard = std::make_unique<RequestGuard>(
        time_limit(*filter, *view), filter->get_cgi_version(),
        "\"" + base_name(dataset) + "\"", directory_of(dataset));
    if (view->kind() != BrowserView::no_view)
      serve_view(*view, *filter);
    else
      serve(*filter);
  } catch (const Error& e) {
    return fail(guard.get(), filter.get(), e);
  } catch (const std::bad_alloc&) {
    Pool::retire_after_request();
    return fail(guard.get(), filter.get(),
                Error(internal_error, "Out of memory"));
  } catch (const std::exception& e) {
    return fail(guard.get(), filter.get(), Error(internal_error, e.what()));
  }
  return fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace libqvp
