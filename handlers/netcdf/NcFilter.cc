// The netCDF handler's request filter.
#include "NcFilter.h"

#include <netcdf.h>

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

void NcFilter::dataset_constraint(DDS& dds, ConstraintEvaluator& eval,
                                  FILE* out) const {
  d_body_started = true;
  VORNFilter::dataset_constraint(dds, eval, out);
}

void NcFilter::functional_constraint(BaseType& var, DDS& dds,
                                     ConstraintEvaluator& eval,
                                     FILE* out) const {
  d_body_started = true;
  VORNFilter::functional_constraint(var, dds, eval, out);
}

}  // namespace libqvp
