// A record: serialised as its selected members in declaration order.
#include <libqvp/Structure.h>

namespace libqvp {

bool Structure::serialize(const std::string& dataset, ConstraintEvaluator& eval,
                          DDS& dds, Marshaller& m, bool ce_eval) {
  read_once();
  for (auto it = var_begin(); it != var_end(); ++it)
    if ((*it)->send_p()) (*it)->serialize(dataset, eval, dds, m, ce_eval);
  return true;
}

}  // namespace libqvp
