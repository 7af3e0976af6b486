// The netCDF handler's request filter.
#include "NcFilter.h"

#include <libqvp/Error.h>
#include <netcdf.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "ncml/NcmlDataSet.h"

#ifndef QVP_VERSION
#define QVP_VERSION "0"
#endif

namespace libqvp {

std::string NcFilter::get_dataset_version() const {
  std::string lib = nc_inq_libvers();
  const size_t blank = lib.find(' ');
  if (blank != std::string::npos) lib.resize(blank);
  return std::string("qvp_nc_handler/") + QVP_VERSION + " (netCDF " + lib + ")";
}

namespace {

// Runs `send`; an Error without a code (the function-call refusal, thrown
// before anything is written) becomes usage_error.
template <typename F>
void refusing_functions(F send) {
  try {
    send();
  } catch (const Error& e) {
    if (e.get_error_code() != undefined_error) throw;
    throw Error(usage_error, e.get_error_message());
  }
}

}  // namespace

void NcFilter::send_dds(std::ostream& out, DDS& dds, ConstraintEvaluator& eval,
                        bool constrained, const std::string& anc_location,
                        bool with_mime_headers) const {
  refusing_functions([&] {
    VORNFilter::send_dds(out, dds, eval, constrained, anc_location,
                         with_mime_headers);
  });
}

void NcFilter::send_ddx(DDS& dds, ConstraintEvaluator& eval, std::ostream& out,
                        bool with_mime_headers) const {
  refusing_functions(
      [&] { VORNFilter::send_ddx(dds, eval, out, with_mime_headers); });
}

time_t NcFilter::get_dataset_last_modified_time() const {
  if (!NcmlDataSet::names_document(get_dataset_name()))
    return VORNFilter::get_dataset_last_modified_time();
  return NcmlDataSet::open(get_dataset_name())->last_modified();
}

void NcFilter::anchor_dataset_name() {
  if (d_dataset.empty() || d_dataset[0] == '/') return;
  std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
  if (cwd) d_dataset = std::string(cwd.get()) + "/" + d_dataset;
}

void NcFilter::establish_timeout(FILE*) const {}

void NcFilter::establish_timeout(std::ostream&) const {}

}  // namespace libqvp
