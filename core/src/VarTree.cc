// Adoption into a list of sibling variables and the dotted-path rule.
#include "VarTree.h"

#include <libqvp/Constructor.h>
#include <libqvp/Error.h>
#include <libqvp/Grid.h>

namespace libqvp {
namespace vartree {
namespace {

// The variables one level down: a list [begin, end), or a Grid's array and
// maps.
struct Level {
  VarIterator begin, end;
  const Grid* grid = nullptr;
};

Level level_of(const BaseType& parent) {
  if (const auto* c = dynamic_cast<const Constructor*>(&parent))
    return {c->var_begin(), c->var_end(), nullptr};
  if (const auto* g = dynamic_cast<const Grid*>(&parent))
    return {VarIterator(), VarIterator(), g};
  return {VarIterator(), VarIterator(), nullptr};
}

BaseType* child(const Level& at, const std::string& name) {
  if (at.grid) return at.grid->member(name);
  for (VarIterator it = at.begin; it != at.end; ++it)
    if ((*it)->name() == name) return *it;
  return nullptr;
}

// Longest run first. A variable's name fixes how many names it takes, so a
// variable is only ever reached at one position of the path, and each
// descent below is into a variable not visited before.
BaseType* descend(const Level& at, const std::vector<std::string>& names,
                  size_t from) {
  std::string run = names[from];
  for (size_t i = from + 1; i < names.size(); ++i) run += "." + names[i];
  for (size_t to = names.size(); to > from; --to) {
    if (to < names.size()) run.resize(run.size() - names[to].size() - 1);
    BaseType* c = child(at, run);
    if (!c) continue;
    if (to == names.size()) return c;
    if (BaseType* found = descend(level_of(*c), names, to)) return found;
  }
  return nullptr;
}

}  // namespace

void adopt(VarList& vars, std::unique_ptr<BaseType> v, BaseType* parent) {
  if (!v) throw Error(internal_error, "add_var: null variable");
  v->set_parent(parent);
  for (auto& existing : vars) {
    if (existing->name() == v->name()) {
      existing = std::move(v);
      return;
    }
  }
  vars.push_back(std::move(v));
}

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  for (size_t dot = path.find('.'); dot != std::string::npos;
       dot = path.find('.', start)) {
    names.push_back(path.substr(start, dot - start));
    start = dot + 1;
  }
  names.push_back(path.substr(start));
  return names;
}

BaseType* find_var(VarIterator begin, VarIterator end,
                   const std::vector<std::string>& names) {
  if (names.empty()) return nullptr;
  return descend({begin, end, nullptr}, names, 0);
}

}  // namespace vartree
}  // namespace libqvp
