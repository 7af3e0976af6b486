// A record of named members.
#ifndef LIBQVP_STRUCTURE_H
#define LIBQVP_STRUCTURE_H

#include <libqvp/Constructor.h>

namespace libqvp {

class Structure : public Constructor {
 public:
  explicit Structure(std::string name)
      : Constructor(std::move(name), Type::Structure) {}

  // The selected members in order.
  bool serialize(const std::string& dataset, ConstraintEvaluator& eval,
                 DDS& dds, Marshaller& m, bool ce_eval = true) override;
};

}  // namespace libqvp

#endif  // LIBQVP_STRUCTURE_H
