// Moving nested attribute containers from Structures onto their members.
#include "NcMemberAttributes.h"

#include <libqvp/AttrTable.h>
#include <libqvp/Structure.h>

namespace libqvp {
namespace {

BaseType* member_named(const Structure& s, const std::string& name) {
  for (auto it = s.var_begin(); it != s.var_end(); ++it)
    if ((*it)->name() == name) return *it;
  return nullptr;
}

void move_into_members(Structure& s) {
  AttrTable& table = s.get_attr_table();
  AttrTable kept;
  for (const AttrTable::Entry& e : table.entries()) {
    if (e.is_container()) {
      if (BaseType* member = member_named(s, e.name))
        member->get_attr_table().merge(*e.table);
      else
        kept.append_container(e.name)->merge(*e.table);
    } else {
      for (const std::string& value : e.values)
        kept.append_attr(e.name, e.type, value);
    }
  }
  table = std::move(kept);
  for (auto it = s.var_begin(); it != s.var_end(); ++it)
    if (auto* inner = dynamic_cast<Structure*>(*it)) move_into_members(*inner);
}

}  // namespace

void move_member_attributes(DDS& dds) {
  for (auto it = dds.var_begin(); it != dds.var_end(); ++it)
    if (auto* s = dynamic_cast<Structure*>(*it)) move_into_members(*s);
}

}  // namespace libqvp
