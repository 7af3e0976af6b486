// Fuzzes the constraint expression parser against a fixed DDS: any bytes
// either apply, and then the constrained DDS prints and its data (sequence
// rows filtered by the clauses) serialises, or fail with libqvp::Error and
// leave nothing selected.
#include <libqvp/Array.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Grid.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Sequence.h>
#include <libqvp/Str.h>
#include <libqvp/Structure.h>
#include <libqvp/XDRStreamMarshaller.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

namespace {

using namespace libqvp;

template <typename T>
std::unique_ptr<Array> array(const std::string& name, int n, const char* dim) {
  auto a = std::make_unique<Array>(name, std::make_unique<T>(name));
  a->append_dim(n, dim);
  return a;
}

std::unique_ptr<Sequence> make_obs() {
  auto obs = std::make_unique<Sequence>("obs");
  obs->add_var(std::make_unique<Str>("id"));
  obs->add_var(std::make_unique<Float64>("time"));
  auto loc = std::make_unique<Structure>("loc");
  loc->add_var(std::make_unique<Int32>("n"));
  obs->add_var(std::move(loc));
  for (int i = 0; i < 3; ++i) {
    Sequence::Row row;
    auto id = std::make_unique<Str>("id");
    id->set_value("row" + std::to_string(i));
    auto time = std::make_unique<Float64>("time");
    time->set_value(i * 1.5);
    auto n = std::make_unique<Int32>("n");
    n->set_value(i);
    auto l = std::make_unique<Structure>("loc");
    l->add_var(std::move(n));
    row.push_back(std::move(id));
    row.push_back(std::move(time));
    row.push_back(std::move(l));
    obs->add_row(std::move(row));
  }
  return obs;
}

std::unique_ptr<DDS> make_dds() {
  auto dds = std::make_unique<DDS>("fuzz.nc");
  auto count = std::make_unique<Int32>("count");
  count->set_value(7);
  dds->add_var(std::move(count));
  dds->add_var(std::make_unique<Str>("title"));
  auto depth = array<Float64>("depth", 4, "depth");
  depth->set_values(std::vector<double>{1, 2, 3, 4});
  depth->get_attr_table().append_attr("scale_factor", "Float64", "2");
  dds->add_var(std::move(depth));
  auto st = std::make_unique<Structure>("station");
  st->add_var(std::make_unique<Int16>("code"));
  auto level = array<Float32>("level", 3, "");
  level->set_values(std::vector<float>{1, 2, 3});
  st->add_var(std::move(level));
  dds->add_var(std::move(st));
  dds->add_var(make_obs());
  auto grid = std::make_unique<Grid>("sst");
  auto data = std::make_unique<Array>("sst", std::make_unique<Float32>("sst"));
  data->append_dim(2, "time");
  data->append_dim(3, "lat");
  data->set_values(std::vector<float>{1, 2, 3, 4, 5, 6});
  grid->set_array(std::move(data));
  auto time = array<Float64>("time", 2, "time");
  time->set_values(std::vector<double>{0, 1});
  grid->add_map(std::move(time));
  auto lat = array<Float32>("lat", 3, "lat");
  lat->set_values(std::vector<float>{0, 1, 2});
  grid->add_map(std::move(lat));
  dds->add_var(std::move(grid));
  return dds;
}

bool any_selected(const DDS& dds) {
  for (auto it = dds.var_begin(); it != dds.var_end(); ++it)
    if ((*it)->send_p()) return true;
  return false;
}

void respond(DDS& dds, ConstraintEvaluator& eval) {
  std::ostringstream out;
  if (eval.functional_expression()) {
    std::unique_ptr<BaseType> v(eval.eval_function(dds, "fuzz.nc"));
    if (!v) return;
    v->print_decl(out, "    ", true, false, true);
    XDRStreamMarshaller m(out);
    v->serialize("fuzz.nc", eval, dds, m, false);
    return;
  }
  dds.print_constrained(out);
  XDRStreamMarshaller m(out);
  for (auto it = dds.var_begin(); it != dds.var_end(); ++it)
    if ((*it)->send_p()) (*it)->serialize("fuzz.nc", eval, dds, m, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<DDS> dds = make_dds();
  const std::string expr(reinterpret_cast<const char*>(data), size);
  ConstraintEvaluator eval;
  try {
    eval.parse_constraint(expr, *dds);
  } catch (const Error&) {
    if (any_selected(*dds) || eval.has_selection() ||
        eval.functional_expression())
      abort();  // a refused expression left something behind
    return 0;
  }
  try {
    respond(*dds, eval);
  } catch (const Error&) {  // e.g. a function given arguments of a wrong kind
  }
  return 0;
}
