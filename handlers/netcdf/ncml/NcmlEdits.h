// The edits an NcML document makes to the data set it starts from (a file,
// an aggregation, or nothing): dimensions, attributes and variables added,
// changed, renamed and removed.
#ifndef QVP_NC_NCMLEDITS_H
#define QVP_NC_NCMLEDITS_H

#include "NcmlDocument.h"
#include "VirtualDataSet.h"

namespace libqvp {

// Applies the edits of `doc` to `ds`: dimensions first, then the global
// removes and attributes, then the variables in document order. Throws
// Error(internal_error) naming the place in the document for an edit of
// something that does not exist, a new variable without type, shape or
// values, values of the wrong count or type, and a dimension still used by a
// variable when it is removed.
void apply_edits(const NcmlDocument& doc, VirtualDataSet& ds);

}  // namespace libqvp

#endif  // QVP_NC_NCMLEDITS_H
