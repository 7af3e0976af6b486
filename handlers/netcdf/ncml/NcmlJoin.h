// Joins the members of an aggregation into one VirtualDataSet, checking that
// each member agrees with the first.
#ifndef QVP_NC_NCMLJOIN_H
#define QVP_NC_NCMLJOIN_H

#include <vector>

#include "NcmlDocument.h"
#include "NcmlMembers.h"
#include "VirtualDataSet.h"

namespace libqvp {

// Fills `out` from `members` as `agg` asks: joinExisting along agg.dim_name
// (the join coordinate and the other numeric variables of that dimension
// alone become values of the data set; the coordinate must be strictly
// monotonic across members), joinNew along a new outer dimension with its own
// coordinate variable, union side by side. Variables not joined come from
// the first member (for a union, from the first member that has them).
// Throws Error(internal_error) naming the member, the variable and the
// difference when a member does not agree with the first.
void join_members(const NcmlDocument& doc, const NcmlAggregation& agg,
                  const std::vector<ResolvedMember>& members,
                  VirtualDataSet& out);

}  // namespace libqvp

#endif  // QVP_NC_NCMLJOIN_H
