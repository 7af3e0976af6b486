#include "NcDescribedDds.h"

#include <libqvp/DAS.h>

#include "NcDAS.h"
#include "NcDDS.h"
#include "NcMemberAttributes.h"

namespace libqvp {

void build_described_dds(const NcFile& file, const NcFilter& f, DDS& dds,
                         bool ancillary) {
  build_dds(file, dds);
  DAS das;
  build_das(file, das);
  if (ancillary) {
    f.read_ancillary_dds(dds, "");
    f.read_ancillary_das(das, "");
  }
  dds.transfer_attributes(das);
  move_member_attributes(dds);
}

}  // namespace libqvp
