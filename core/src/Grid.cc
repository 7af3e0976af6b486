// Grids: a data array and its coordinate maps. The constrained forms print
// and write only what is selected; a grid whose array is not selected is a
// Structure of its selected maps, in its declaration and in its data alike.
#include <libqvp/Error.h>
#include <libqvp/Grid.h>

#include "VarText.h"

namespace libqvp {

Grid::~Grid() = default;

void Grid::set_array(std::unique_ptr<Array> array) {
  if (!array) throw Error(type_mismatch, "grid '" + name() + "': null array");
  array->set_parent(this);
  d_array = std::move(array);
}

void Grid::add_map(std::unique_ptr<Array> map) {
  if (!map) throw Error(type_mismatch, "grid '" + name() + "': null map");
  map->set_parent(this);
  d_maps.push_back(std::move(map));
}

Array* Grid::map(const std::string& name) const {
  for (const auto& m : d_maps)
    if (m->name() == name) return m.get();
  return nullptr;
}

Array* Grid::member(const std::string& name) const {
  if (d_array && d_array->name() == name) return d_array.get();
  return map(name);
}

bool Grid::send_p() const {
  if (d_array && d_array->send_p()) return true;
  for (const auto& m : d_maps)
    if (m->send_p()) return true;
  return false;
}

void Grid::set_send_p(bool state) {
  BaseType::set_send_p(state);
  if (d_array) d_array->set_send_p(state);
  for (auto& m : d_maps) m->set_send_p(state);
}

std::string Grid::constraint_comment() const {
  if (!send_p()) return "not selected";
  return d_array && d_array->send_p() ? "selected" : "maps selected";
}

void Grid::print_maps_as_structure(std::ostream& out, const std::string& space,
                                   bool print_semi,
                                   bool constraint_info) const {
  out << space << "Structure {\n";
  for (const auto& m : d_maps)
    m->print_decl(out, space + "    ", true, constraint_info, true);
  out << space << "} " << www_name();
  vartext::end_decl(out, print_semi,
                    constraint_info ? constraint_comment() : std::string());
}

void Grid::print_decl(std::ostream& out, const std::string& space,
                      bool print_semi, bool constraint_info,
                      bool constrained) const {
  if (constrained && !send_p()) return;
  const bool array_shown = d_array && (!constrained || d_array->send_p());
  if (constrained && !array_shown) {
    print_maps_as_structure(out, space, print_semi, constraint_info);
    return;
  }
  out << space << "Grid {\n" << space << "  Array:\n";
  if (d_array)
    d_array->print_decl(out, space + "    ", true, constraint_info,
                        constrained);
  out << space << "  Maps:\n";
  for (const auto& m : d_maps)
    m->print_decl(out, space + "    ", true, constraint_info, constrained);
  out << space << "} " << www_name();
  vartext::end_decl(out, print_semi,
                    constraint_info ? constraint_comment() : std::string());
}

bool Grid::serialize(const std::string& dataset, ConstraintEvaluator& eval,
                     DDS& dds, Marshaller& m, bool ce_eval) {
  read_once();
  if (d_array && d_array->send_p())
    d_array->serialize(dataset, eval, dds, m, ce_eval);
  for (auto& map : d_maps)
    if (map->send_p()) map->serialize(dataset, eval, dds, m, ce_eval);
  return true;
}

void Grid::print_xml(std::ostream& out, const std::string& indent,
                     bool constrained) const {
  if (constrained && !send_p()) return;
  const std::string inner = indent + "    ";
  const bool array_shown = d_array && (!constrained || d_array->send_p());
  const char* element = array_shown || !constrained ? "Grid" : "Structure";
  vartext::open_xml(out, indent, element, &name(), get_attr_table());
  if (array_shown) d_array->print_xml_as(out, inner, "Array", constrained);
  for (const auto& m : d_maps) {
    if (constrained && !m->send_p()) continue;
    m->print_xml_as(out, inner, array_shown ? "Map" : "Array", constrained);
  }
  vartext::close_xml(out, indent, element);
}

}  // namespace libqvp
