// Before a response's header goes out: the members that the selection of an
// NcML data set reads are checked to be as they were indexed, so that a
// member changed since then gets an error response rather than a response
// cut short.
#ifndef QVP_NC_SELECTEDMEMBERS_H
#define QVP_NC_SELECTEDMEMBERS_H

#include <libqvp/DDS.h>

#include "NcmlDataSet.h"

namespace libqvp {

// Checks (a stat each) the members that the selected variables of `dds`
// read. Throws Error(internal_error) naming the first member that changed;
// its index is then made again at the next request.
void check_selected_members(NcmlDataSet& ncml, DDS& dds);

}  // namespace libqvp

#endif  // QVP_NC_SELECTEDMEMBERS_H
