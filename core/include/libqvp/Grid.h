// An array with one coordinate array (map) per dimension.
#ifndef LIBQVP_GRID_H
#define LIBQVP_GRID_H

#include <libqvp/Array.h>
#include <libqvp/BaseType.h>

#include <memory>
#include <string>
#include <vector>

namespace libqvp {

class Grid : public BaseType {
 public:
  explicit Grid(std::string name) : BaseType(std::move(name), Type::Grid) {}
  ~Grid() override;

  // Adopts the data array / the next map (parent becomes this).
  void set_array(std::unique_ptr<Array> array);
  void add_map(std::unique_ptr<Array> map);

  Array* array() const { return d_array.get(); }
  size_t map_count() const { return d_maps.size(); }
  Array* map(size_t i) const { return d_maps.at(i).get(); }
  Array* map(const std::string& name) const;  // null when absent
  // The array or the map named `name`; null when absent.
  Array* member(const std::string& name) const;

  // True when the array or any map is selected.
  bool send_p() const override;
  // Sets the grid, its array and every map.
  void set_send_p(bool state) override;

  using BaseType::print_decl;
  // A Grid with "Array:" and "Maps:" two blanks inside `space`; constrained,
  // only the selected maps, and a Structure of the selected maps when the
  // array is not selected.
  void print_decl(std::ostream& out, const std::string& space = "    ",
                  bool print_semi = true, bool constraint_info = false,
                  bool constrained = false) const override;

  // The array if selected, then the selected maps.
  bool serialize(const std::string& dataset, ConstraintEvaluator& eval,
                 DDS& dds, Marshaller& m, bool ce_eval = true) override;

  void print_xml(std::ostream& out, const std::string& indent,
                 bool constrained) const override;

 protected:
  std::string constraint_comment() const override;

 private:
  // Constrained forms when only maps are selected: a Structure of them.
  void print_maps_as_structure(std::ostream& out, const std::string& space,
                               bool print_semi, bool constraint_info) const;

  std::unique_ptr<Array> d_array;
  std::vector<std::unique_ptr<Array>> d_maps;
};

}  // namespace libqvp

#endif  // LIBQVP_GRID_H
