// The request filter of the netCDF handler: VORNFilter, plus the handler's
// version.
#ifndef QVP_NC_NCFILTER_H
#define QVP_NC_NCFILTER_H

#include <libqvp/VORNFilter.h>

namespace libqvp {

class NcFilter : public VORNFilter {
 public:
  // Throws Error(usage_error) for a bad command line, as VORNFilter does.
  NcFilter(int argc, char* argv[]) : VORNFilter(argc, argv) {}

  // "qvp_nc_handler/<version> (netCDF <library version>)".
  std::string get_dataset_version() const override;

  using VORNFilter::dataset_constraint;
  using VORNFilter::send_dds;
  using VORNFilter::send_ddx;

  // As VORNFilter's; the refusal of a function call in the constraint, which
  // VORNFilter throws without a code, is thrown again as usage_error, since
  // it is the client's mistake (answered with 400, not 500). The handler
  // writes its text responses to a string first (NcResponseHeader.h).
  void send_dds(std::ostream& out, DDS& dds, ConstraintEvaluator& eval,
                bool constrained, const std::string& anc_location,
                bool with_mime_headers) const override;
  void send_ddx(DDS& dds, ConstraintEvaluator& eval, std::ostream& out,
                bool with_mime_headers) const override;

  // The newest modification time of the data set: for an NcML document, of
  // the document and of everything its data set is made from, so that a
  // changed member is never answered with 304.
  time_t get_dataset_last_modified_time() const override;

  // The ancillary directory (-d) and file name (-f) the ancillary files are
  // looked up with (Ancillary.h).
  const std::string& ancillary_dir() const { return d_anc_dir; }
  const std::string& ancillary_file() const { return d_anc_file; }

  // Makes a relative data set name absolute (against the working directory),
  // so that it still names the data set after the handler enters the data
  // set's directory. The name is not otherwise changed.
  void anchor_dataset_name();

  // Does nothing: the handler bounds the whole request with a RequestGuard,
  // whose alarm must not be restarted or replaced when the data response
  // begins.
  void establish_timeout(FILE* stream) const override;
  void establish_timeout(std::ostream& stream) const override;
};

}  // namespace libqvp

#endif  // QVP_NC_NCFILTER_H
