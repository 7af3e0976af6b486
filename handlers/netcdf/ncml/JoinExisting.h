// A joinExisting: the members joined along their existing outer dimension,
// each checked against the first, the join coordinate strictly monotonic
// across them.
#ifndef QVP_NC_JOINEXISTING_H
#define QVP_NC_JOINEXISTING_H

#include <cstddef>
#include <vector>

#include "CfTime.h"
#include "NcmlDocument.h"
#include "NcmlMembers.h"
#include "VirtualDataSet.h"

namespace libqvp {

// Fills a VirtualDataSet from the members (see join_members).
class JoinExisting {
 public:
  JoinExisting(const NcmlDocument& doc, const NcmlAggregation& agg,
               const std::vector<ResolvedMember>& members, VirtualDataSet& ds)
      : d_doc(doc), d_agg(agg), d_members(members), d_ds(ds) {}
  void run();

 private:
  void first_member();
  void add_member(size_t k);
  std::vector<double> read_member(size_t k, VirtualMember& out);
  std::vector<double> coordinates_given(const ResolvedMember& m) const;
  void check_monotonic(size_t k, const std::vector<double>& values);
  void finish();

  const NcmlDocument& d_doc;
  const NcmlAggregation& d_agg;
  const std::vector<ResolvedMember>& d_members;
  VirtualDataSet& d_ds;
  size_t d_join = 0;
  int d_coord = -1;
  bool d_have_units = false;
  CfTimeUnits d_units;
  std::vector<size_t> d_along;  // numeric variables of the join alone
  std::vector<std::vector<double>> d_values;  // per d_along entry
  std::vector<double> d_coord_values;
  bool d_started = false;
  bool d_all_opened = true;
  int d_direction = 0;  // +1 increasing, -1 decreasing
  double d_last = 0;
  size_t d_total = 0;
};

}  // namespace libqvp

#endif  // QVP_NC_JOINEXISTING_H
