// The base of the variables that own member variables: Structure, Sequence.
#ifndef LIBQVP_CONSTRUCTOR_H
#define LIBQVP_CONSTRUCTOR_H

#include <libqvp/BaseType.h>
#include <libqvp/VarIterator.h>

#include <memory>
#include <string>
#include <vector>

namespace libqvp {

class Constructor : public BaseType {
 public:
  Constructor(std::string name, Type type) : BaseType(std::move(name), type) {}
  ~Constructor() override;

  // Adopts `v` as the last member (its parent becomes this). A member of the
  // same name is replaced.
  void add_var(std::unique_ptr<BaseType> v);

  // The member named `name`, or a dotted path into nested members, by the
  // path rule of DDS::var (nothing is decoded here); null when absent.
  BaseType* var(const std::string& name) const;

  VarIterator var_begin() const { return VarIterator(d_vars.begin()); }
  VarIterator var_end() const { return VarIterator(d_vars.end()); }
  size_t num_var() const { return d_vars.size(); }

  // True when this was selected or any member is (selecting a member
  // selects the structures that enclose it).
  bool send_p() const override;
  // Sets this and every member, recursively.
  void set_send_p(bool state) override;

  using BaseType::print_decl;
  // "Structure {" / "Sequence {", members at `space` plus four blanks,
  // "} name;". Constrained: only selected members.
  void print_decl(std::ostream& out, const std::string& space = "    ",
                  bool print_semi = true, bool constraint_info = false,
                  bool constrained = false) const override;

  void print_xml(std::ostream& out, const std::string& indent,
                 bool constrained) const override;

 private:
  std::vector<std::unique_ptr<BaseType>> d_vars;
};

}  // namespace libqvp

#endif  // LIBQVP_CONSTRUCTOR_H
