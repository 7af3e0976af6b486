// VORNFilter: the DAS, DDS, DDX, data and version responses and the time-out.
#include <libqvp/Error.h>
#include <libqvp/VORNFilter.h>

namespace libqvp {
namespace {
[[noreturn]] void not_yet() { throw Error("not implemented yet"); }
}  // namespace

void VORNFilter::establish_timeout(FILE*) const { not_yet(); }
void VORNFilter::establish_timeout(std::ostream&) const { not_yet(); }
void VORNFilter::send_version_info() const { not_yet(); }
void VORNFilter::send_das(DAS&, const std::string&, bool) const { not_yet(); }
void VORNFilter::send_das(FILE*, DAS&, const std::string&, bool) const {
  not_yet();
}
void VORNFilter::send_das(std::ostream&, DAS&, const std::string&, bool) const {
  not_yet();
}
void VORNFilter::send_dds(DDS&, ConstraintEvaluator&, bool, const std::string&,
                          bool) const {
  not_yet();
}
void VORNFilter::send_dds(FILE*, DDS&, ConstraintEvaluator&, bool,
                          const std::string&, bool) const {
  not_yet();
}
void VORNFilter::send_dds(std::ostream&, DDS&, ConstraintEvaluator&, bool,
                          const std::string&, bool) const {
  not_yet();
}
void VORNFilter::functional_constraint(BaseType&, DDS&, ConstraintEvaluator&,
                                       FILE*) const {
  not_yet();
}
void VORNFilter::functional_constraint(BaseType&, DDS&, ConstraintEvaluator&,
                                       std::ostream&) const {
  not_yet();
}
void VORNFilter::dataset_constraint(DDS&, ConstraintEvaluator&, FILE*) const {
  not_yet();
}
void VORNFilter::dataset_constraint(DDS&, ConstraintEvaluator&,
                                    std::ostream&) const {
  not_yet();
}
void VORNFilter::send_data(DDS&, ConstraintEvaluator&, FILE*,
                           const std::string&, bool) const {
  not_yet();
}
void VORNFilter::send_data(DDS&, ConstraintEvaluator&, std::ostream&,
                           const std::string&, bool) const {
  not_yet();
}
void VORNFilter::send_ddx(DDS&, ConstraintEvaluator&, FILE*, bool) const {
  not_yet();
}
void VORNFilter::send_ddx(DDS&, ConstraintEvaluator&, std::ostream&,
                          bool) const {
  not_yet();
}
void VORNFilter::send_blob(DDS&, FILE*, bool) {}

}  // namespace libqvp
