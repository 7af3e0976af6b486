// What checking a member against the aggregation's first member needs:
// the member's header, and the checks and messages shared by the joins.
#ifndef QVP_NC_MEMBERCHECKS_H
#define QVP_NC_MEMBERCHECKS_H

#include <string>
#include <vector>

#include "CfTime.h"
#include "NcFile.h"
#include "NcmlMembers.h"
#include "VirtualDataSet.h"

namespace libqvp {

// A member's header, read from the open file.
struct MemberView {
  VirtualDataSet header;
  std::vector<std::string> omitted;
};

// Throws Error(internal_error, "\"<member>\": <what>").
[[noreturn]] void disagree(const ResolvedMember& m, const std::string& what);

// The header of `m`, open as `file`.
MemberView open_member(const ResolvedMember& m, NcFile& file);

// Checks that variable `want.member_name` of `mv` has the type and
// dimensions (names and lengths) that `ds` gives `want`, less `skip_outer`
// leading dimensions of `ds`'s (the joined one of a joinNew), or with the
// first of any length (`outer_free`, a joinExisting). Throws as disagree().
void check_variable(const VirtualDataSet& ds, const VirtualVariable& want,
                    const MemberView& mv, const ResolvedMember& m,
                    size_t skip_outer, bool outer_free);

// The CF time units of variable `coord` of `ds`; false when it has none.
bool time_units(const VirtualDataSet& ds, int coord, CfTimeUnits& out);

// `x` with up to ten significant digits, for messages.
std::string format_number(double x);

}  // namespace libqvp

#endif  // QVP_NC_MEMBERCHECKS_H
