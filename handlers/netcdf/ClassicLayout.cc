// Layout (all big-endian; ClassicHeader.cc reads the same):
//   "CDF" version  numrecs  dim_list  gatt_list  var_list
//   list    := tag count item* | 0 0          (tags 10 dims, 11 vars, 12 atts)
//   dim     := name length                    (length 0: the record dimension)
//   att     := name type count values, padded to 4 bytes
//   var     := name ndims dimid* att_list type vsize begin
//   name    := count bytes, padded to 4 bytes
// Counts, lengths, dimids and vsize are 4 bytes (8 in CDF-5); begin is 4
// bytes in version 1 and 8 otherwise. Fixed variables follow the header in
// order, each padded to 4 bytes; then the records, each holding every
// record variable's values padded to 4 bytes, except that a single record
// variable is not padded at all (the netCDF library reads it so).
#include "ClassicLayout.h"

#include <libqvp/Error.h>

#include "BigEndian.h"
#include "ClassicFormat.h"
#include "NcValues.h"

namespace libqvp {
namespace {

constexpr uint64_t kMaxVsize32 = 0xFFFFFFFCu;

bool is_cdf5_type(nc_type t) { return t > NC_DOUBLE; }

class HeaderWriter {
 public:
  HeaderWriter(std::string& out, int version) : d_out(out), d_ver(version) {}

  void u32(uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) d_out += static_cast<char>(v >> s);
  }
  void u64(uint64_t v) {
    u32(static_cast<uint32_t>(v >> 32));
    u32(static_cast<uint32_t>(v));
  }
  void count(uint64_t v) {
    d_ver == 5 ? u64(v) : u32(static_cast<uint32_t>(v));
  }
  void name(const std::string& s) {
    count(s.size());
    d_out += s;
    pad();
  }
  void pad() { d_out.append((4 - d_out.size() % 4) % 4, '\0'); }
  void list(uint32_t tag, uint64_t n) {
    u32(n == 0 ? 0 : tag);
    count(n);
  }
  void attributes(const std::vector<NcRawAttribute>& atts) {
    list(kAttributeTag, atts.size());
    for (const NcRawAttribute& a : atts) {
      name(a.name);
      u32(static_cast<uint32_t>(a.type));
      count(a.count);
      const size_t width = atomic_size(a.type);
      const size_t at = d_out.size();
      d_out.resize(at + a.count * width);
      copy_big_endian(a.values.data(), a.count, width, d_out.data() + at);
      pad();
    }
  }
  // Writes a begin of 0 and returns its position, to be set later.
  size_t begin_placeholder() {
    const size_t at = d_out.size();
    d_ver == 1 ? u32(0) : u64(0);
    return at;
  }
  void set_begin(size_t at, uint64_t begin) {
    const size_t width = d_ver == 1 ? 4 : 8;
    for (size_t i = 0; i < width; ++i)
      d_out[at + i] = static_cast<char>(begin >> (8 * (width - 1 - i)));
  }

 private:
  std::string& d_out;
  int d_ver;
};

void check_type(nc_type t, const std::string& what) {
  if (t < NC_BYTE || t > NC_UINT64 || t == NC_STRING)
    throw Error(usage_error, what +
                                 " has a type that a netCDF file of the "
                                 "classic family cannot hold");
}

}  // namespace

ClassicLayout::ClassicLayout(const NcOutputPlan& plan,
                             const std::vector<NcRawAttribute>& globals) {
  const auto& vars = plan.variables();
  bool cdf5 = false;
  for (const NcRawAttribute& a : globals) {
    check_type(a.type, "The attribute \"" + a.name + "\"");
    cdf5 = cdf5 || is_cdf5_type(a.type);
  }
  for (const OutputDimension& d : plan.dimensions())
    cdf5 = cdf5 || d.length > INT32_MAX;
  for (const OutputVariable& v : vars) {
    check_type(v.type, "\"" + v.name + "\"");
    cdf5 = cdf5 || is_cdf5_type(v.type);
    for (const NcRawAttribute& a : v.attributes) {
      check_type(a.type, "The attribute \"" + v.name + ":" + a.name + "\"");
      cdf5 = cdf5 || is_cdf5_type(a.type);
    }
    uint64_t bytes = atomic_size(v.type);
    for (size_t k = v.record ? 1 : 0; k < v.dims.size(); ++k)
      bytes *= plan.dimensions()[v.dims[k]].length;
    d_bytes.push_back(bytes);
    cdf5 = cdf5 || padded(bytes) > kMaxVsize32;
  }
  if (plan.record_dimension() >= 0)
    d_records =
        plan.dimensions()[static_cast<size_t>(plan.record_dimension())].length;
  d_version = cdf5 ? 5 : 1;
  lay_out(plan, globals);
  if (d_version == 1 && d_size > INT32_MAX) {
    // A begin past 2 GiB needs 64-bit offsets; the first record's too.
    d_version = 2;
    lay_out(plan, globals);
  }
}

void ClassicLayout::lay_out(const NcOutputPlan& plan,
                            const std::vector<NcRawAttribute>& globals) {
  const auto& vars = plan.variables();
  const auto& dims = plan.dimensions();
  d_header = std::string("CDF") + static_cast<char>(d_version);
  HeaderWriter w(d_header, d_version);
  w.count(d_records);
  w.list(kDimensionTag, dims.size());
  for (const OutputDimension& d : dims) {
    w.name(d.name);
    w.count(d.record ? 0 : d.length);
  }
  w.attributes(globals);
  w.list(kVariableTag, vars.size());
  std::vector<size_t> begins;
  for (size_t i = 0; i < vars.size(); ++i) {
    const OutputVariable& v = vars[i];
    w.name(v.name);
    w.count(v.dims.size());
    for (size_t d : v.dims) w.count(d);
    w.attributes(v.attributes);
    w.u32(static_cast<uint32_t>(v.type));
    w.count(padded(d_bytes[i]));
    begins.push_back(w.begin_placeholder());
  }
  size_t record_vars = 0;
  for (const OutputVariable& v : vars) record_vars += v.record ? 1 : 0;
  d_padding.assign(vars.size(), 0);
  uint64_t at = d_header.size();
  for (size_t i = 0; i < vars.size(); ++i) {
    if (vars[i].record) continue;
    w.set_begin(begins[i], at);
    d_padding[i] = padded(d_bytes[i]) - d_bytes[i];
    at += padded(d_bytes[i]);
  }
  uint64_t record_bytes = 0;
  for (size_t i = 0; i < vars.size(); ++i) {
    if (!vars[i].record) continue;
    w.set_begin(begins[i], at + record_bytes);
    if (record_vars > 1) d_padding[i] = padded(d_bytes[i]) - d_bytes[i];
    record_bytes += d_bytes[i] + d_padding[i];
  }
  d_size = at + record_bytes * d_records;
}

}  // namespace libqvp
