// Fuzzes the NcML reader: any bytes are either read into a document (whose
// attribute values, values and time units are then parsed as a request
// would) or refused with an Error naming the place; nothing crashes, hangs
// or fetches anything.
#include <libqvp/Error.h>

#include <cstdint>
#include <string>

#include "ncml/CfTime.h"
#include "ncml/NcmlDocument.h"
#include "ncml/NcmlValues.h"
#include "ncml/XmlReader.h"

namespace {

void parse_values(const libqvp::NcmlDocument& doc) {
  using namespace libqvp;
  for (const NcmlAttribute& a : doc.attributes) {
    if (!a.value) continue;
    const VirtualAttribute v = attribute_of(a, ncml_type(a.type, true), "");
    CfTimeUnits units;
    if (v.type == NC_CHAR) parse_cf_time_units(v.bytes, units);
  }
  for (const NcmlVariable& var : doc.variables) {
    if (!var.values.present) continue;
    VirtualVariable v;
    v.type = ncml_type(var.type.empty() ? "double" : var.type, false);
    if (v.type == NC_NAT) continue;
    const size_t n = var.values.npts.value_or(
        split_values(var.values.text, var.values.separator).size());
    if (n <= 4096) fill_values(var.values, n, v, "");
  }
  if (doc.aggregation)
    for (const NcmlMember& m : doc.aggregation->members) {
      double t = 0;
      parse_iso_time(m.coord_value, t);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const libqvp::NcmlDocument doc =
        libqvp::interpret_ncml(libqvp::read_xml(text, "f.ncml"), "f.ncml");
    parse_values(doc);
  } catch (const libqvp::Error&) {
  }
  return 0;
}
