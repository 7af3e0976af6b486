// The DAS nests the containers of a group's variables (and of a compound's
// members) inside the group's container; DDS::transfer_attributes leaves them
// there, as containers of the Structure. This moves each onto the member of
// the same name, so that the DDX shows a member's attributes on the member.
#ifndef QVP_NC_NCMEMBERATTRIBUTES_H
#define QVP_NC_NCMEMBERATTRIBUTES_H

#include <libqvp/DDS.h>

namespace libqvp {

// For every Structure of `dds`, at any depth: each attribute container named
// after one of its members is merged into that member's attributes and
// removed from the Structure's. Other entries stay. Throws
// Error(type_mismatch) when a merged attribute exists on the member with
// another type.
void move_member_attributes(DDS& dds);

}  // namespace libqvp

#endif  // QVP_NC_NCMEMBERATTRIBUTES_H
