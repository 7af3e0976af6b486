// The DDS of a netCDF file with its attributes on the variables: what the
// DDX, the data set's page and the CSV view describe.
#ifndef QVP_NC_NCDESCRIBEDDDS_H
#define QVP_NC_NCDESCRIBEDDDS_H

#include <libqvp/DDS.h>

#include "NcFile.h"
#include "NcFilter.h"

namespace libqvp {

// Builds into `dds` the file's variables and moves the file's attributes
// onto them (group and compound members' onto the members). With
// `ancillary`, the request's ancillary DDS and DAS files are merged first.
// Throws Error as building the DDS and DAS does.
void build_described_dds(const NcFile& file, const NcFilter& f, DDS& dds,
                         bool ancillary);

}  // namespace libqvp

#endif  // QVP_NC_NCDESCRIBEDDDS_H
