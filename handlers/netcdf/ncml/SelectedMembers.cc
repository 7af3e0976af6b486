#include "SelectedMembers.h"

#include <libqvp/Array.h>
#include <libqvp/Constructor.h>
#include <libqvp/Grid.h>

namespace libqvp {
namespace {

void check(NcmlDataSet& ncml, BaseType& v) {
  if (!v.send_p()) return;
  switch (v.type()) {
    case Type::Array: {
      auto& a = static_cast<Array&>(v);
      a.visit_boxes(Array::kBoxBytes,
                    [&](const std::vector<size_t>& start,
                        const std::vector<size_t>& stride,
                        const std::vector<size_t>& count, size_t) {
                      ncml.check_members(a.name(), start, stride, count);
                    });
      return;
    }
    case Type::Grid: {
      auto& g = static_cast<Grid&>(v);
      if (g.array()) check(ncml, *g.array());
      for (size_t i = 0; i < g.map_count(); ++i) check(ncml, *g.map(i));
      return;
    }
    case Type::Structure: {
      auto& s = static_cast<Constructor&>(v);
      for (auto i = s.var_begin(); i != s.var_end(); ++i) check(ncml, **i);
      return;
    }
    default:
      ncml.check_members(v.name(), {}, {}, {});
  }
}

}  // namespace

void check_selected_members(NcmlDataSet& ncml, DDS& dds) {
  for (auto i = dds.var_begin(); i != dds.var_end(); ++i) check(ncml, **i);
}

}  // namespace libqvp
