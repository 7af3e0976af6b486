// Compound values are read as whole records with nc_get_vars, a run of
// records along the last dimension at a time, and each member's values are
// picked out of the records at the member's offset. Records with strings or
// vlens inside own memory that netCDF allocated; it is handed back with
// nc_reclaim_data before the next run.
#include "NcCompound.h"

#include <libqvp/Array.h>
#include <libqvp/Error.h>
#include <libqvp/Structure.h>
#include <libqvp/next_index.h>
#include <netcdf.h>

#include <algorithm>
#include <climits>

#include "NcFile.h"
#include "NcScalar.h"
#include "NcValues.h"

namespace libqvp {
namespace {

constexpr size_t kRunBytes = size_t{1} << 20;

struct Context {
  int ncid;
  std::vector<std::string>& omitted;
  size_t& members;  // described so far, nested ones included
};

// The atomic type that holds `xtype`'s values, or the type's class
// (NC_COMPOUND, NC_VLEN, NC_OPAQUE) for other user-defined types.
nc_type value_class(int ncid, nc_type xtype, int& type_class) {
  type_class = 0;
  if (xtype <= NC_MAX_ATOMIC_TYPE) return xtype;
  nc_type base = NC_NAT;
  check_nc(nc_inq_user_type(ncid, xtype, nullptr, nullptr, &base, nullptr,
                            &type_class),
           "Cannot read a compound member's type");
  return type_class == NC_ENUM ? base : NC_NAT;
}

void describe_members(const Context& cx, nc_type xtype, size_t base_offset,
                      const std::string& path, int depth,
                      std::vector<NcMember>& out);

// Fills the atomic member `m` from its netCDF dimensions; false when its
// arrays exceed the core's sizes.
bool describe_atomic(NcMember& m, nc_type atomic, int ndims,
                     const int* dim_sizes) {
  m.xtype = atomic;
  if (!core_type_of(atomic, m.type)) return false;
  size_t elements = 1;
  for (int d = 0; d < ndims; ++d) {
    if (dim_sizes[d] < 0) return false;
    const size_t len = static_cast<size_t>(dim_sizes[d]);
    if (atomic == NC_CHAR && d == ndims - 1) {
      m.string_length = len;
      break;
    }
    if (len != 0 && elements > kMaxElements / len) return false;
    elements *= len;
    m.dims.push_back(len);
  }
  if (atomic == NC_CHAR && ndims == 0) m.string_length = 1;
  return m.string_length <= kMaxStringLength;
}

// What the member of the type class `type_class` whose values are not served
// is, for the list of omitted members.
const char* unserved_kind(int type_class) {
  if (type_class == NC_VLEN) return " (vlen)";
  return type_class == NC_OPAQUE ? " (opaque)" : " (string)";
}

// Describes `m`, a member of compound type `ft` in `path`, and adds it to
// `out`; an array of compounds is omitted, a deeper nesting than
// kMaxCompoundDepth refused.
void describe_nested(const Context& cx, NcMember m, nc_type ft, int ndims,
                     const std::string& path, int depth,
                     std::vector<NcMember>& out) {
  const std::string member_path = path + "." + m.name;
  if (ndims > 0) {
    cx.omitted.push_back(member_path + " (array of compounds)");
    return;
  }
  if (depth + 1 > kMaxCompoundDepth)
    throw Error(internal_error,
                "The compound type of \"" + path + "\" nests more than " +
                    std::to_string(kMaxCompoundDepth) + " levels deep");
  describe_members(cx, ft, m.offset, member_path, depth + 1, m.members);
  out.push_back(std::move(m));
}

void describe_member(const Context& cx, nc_type xtype, int i,
                     size_t base_offset, const std::string& path, int depth,
                     std::vector<NcMember>& out) {
  char name[NC_MAX_NAME + 1] = {};
  size_t offset = 0;
  nc_type ft = NC_NAT;
  int ndims = 0;
  int dim_sizes[NC_MAX_VAR_DIMS] = {};
  check_nc(nc_inq_compound_field(cx.ncid, xtype, i, name, &offset, &ft, &ndims,
                                 dim_sizes),
           "Cannot read a member of \"" + path + "\"");
  // A type may hold another several times: without a bound, a few nested
  // types could describe exponentially many members.
  if (++cx.members > kMaxCompoundMembers)
    throw Error(internal_error,
                "The compound type of \"" + path + "\" has more than " +
                    std::to_string(kMaxCompoundMembers) + " members");
  NcMember m;
  m.name = name;
  m.offset = base_offset + offset;
  int type_class = 0;
  const nc_type atomic = value_class(cx.ncid, ft, type_class);
  if (type_class == NC_COMPOUND)
    return describe_nested(cx, std::move(m), ft, ndims, path, depth, out);
  const std::string member_path = path + "." + m.name;
  if (atomic == NC_STRING || atomic == NC_NAT) {
    cx.omitted.push_back(member_path + unserved_kind(type_class));
    return;
  }
  if (type_class == NC_ENUM) m.enum_type = ft;
  if (!describe_atomic(m, atomic, ndims, dim_sizes)) {
    cx.omitted.push_back(member_path + " (too large)");
    return;
  }
  out.push_back(std::move(m));
}

void describe_members(const Context& cx, nc_type xtype, size_t base_offset,
                      const std::string& path, int depth,
                      std::vector<NcMember>& out) {
  size_t fields = 0;
  check_nc(nc_inq_compound(cx.ncid, xtype, nullptr, nullptr, &fields),
           "Cannot read the type of \"" + path + "\"");
  for (size_t i = 0; i < fields; ++i)
    describe_member(cx, xtype, static_cast<int>(i), base_offset, path, depth,
                    out);
}

size_t out_size(Type t) {
  return t == Type::String ? sizeof(std::string) : value_size(t);
}

// Returns records to netCDF's allocator on every path out of a run.
struct Reclaim {
  int ncid;
  nc_type xtype;
  void* records;
  size_t n;
  ~Reclaim() { nc_reclaim_data(ncid, xtype, records, n); }
};

// Converts the member box (dimensions nd.. of the box) out of one record to
// `out`, a place in the output that begins at `box`.
unsigned char* convert_record(const NcMember& m, const unsigned char* record,
                              size_t nd, const std::vector<size_t>& start,
                              const std::vector<size_t>& stride,
                              const std::vector<size_t>& count,
                              const unsigned char* box, unsigned char* out,
                              const std::string& name) {
  const size_t md = m.dims.size();
  const size_t elem =
      m.xtype == NC_CHAR ? m.string_length : atomic_size(m.xtype);
  std::vector<size_t> step(md);  // bytes between neighbours per dimension
  size_t bytes = elem;
  for (size_t d = md; d-- > 0;) {
    step[d] = bytes;
    bytes *= m.dims[d];
  }
  const size_t run = md ? count[nd + md - 1] : 1;
  const size_t run_step = md ? step[md - 1] * stride[nd + md - 1] : elem;
  std::vector<size_t> idx(nd + md, 0);
  do {
    size_t at = m.offset;
    for (size_t d = 0; d < md; ++d)
      at += (start[nd + d] + idx[nd + d] * stride[nd + d]) * step[d];
    const size_t first = static_cast<size_t>(out - box) / out_size(m.type);
    convert_atomic(m.xtype, m.string_length, record + at, run_step, run, out,
                   name, first);
    out += run * out_size(m.type);
  } while (md > 1 && next_index(idx, count, nd, nd + md - 1));
  return out;
}

void read_member_box(const NcCompound& c, const NcMember& m,
                     const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count, void* out) {
  for (size_t n : count)
    if (n == 0) return;
  const size_t nd = c.v.dim_sizes.size();
  const size_t max_run = std::max<size_t>(1, kRunBytes / c.record_size);
  const size_t last_count = nd ? count[nd - 1] : 1;
  std::vector<unsigned char> records(std::min(max_run, last_count) *
                                     c.record_size);
  std::vector<size_t> s(nd + 1, 0), n(nd + 1, 1), idx(nd, 0);
  std::vector<ptrdiff_t> st(nd + 1, 1);
  auto* const box = static_cast<unsigned char*>(out);
  unsigned char* dest = box;
  const std::string context = "Cannot read the values of \"" + c.v.name + "\"";
  const std::string name = c.v.name + "." + m.name;
  do {
    for (size_t d = 0; d + 1 < nd; ++d) {
      s[d] = start[d] + idx[d] * stride[d];
      n[d] = 1;
    }
    for (size_t done = 0; done < last_count;) {
      const size_t r = std::min(max_run, last_count - done);
      if (nd) {
        s[nd - 1] = start[nd - 1] + done * stride[nd - 1];
        n[nd - 1] = r;
        st[nd - 1] = static_cast<ptrdiff_t>(stride[nd - 1]);
      }
      check_nc(nc_get_vars(c.v.ncid, c.v.varid, s.data(), n.data(), st.data(),
                           records.data()),
               context);
      Reclaim reclaim{c.v.ncid, c.v.xtype, records.data(), r};
      for (size_t k = 0; k < r; ++k)
        dest = convert_record(m, records.data() + k * c.record_size, nd, start,
                              stride, count, box, dest, name);
      done += r;
    }
  } while (nd > 1 && next_index(idx, count, 0, nd - 1));
}

std::unique_ptr<BaseType> member_variable(
    const std::shared_ptr<const NcCompound>& c, const NcMember& m) {
  if (m.xtype == NC_NAT) {
    auto s = std::make_unique<Structure>(m.name);
    for (const NcMember& sub : m.members) s->add_var(member_variable(c, sub));
    return s;
  }
  const NcMember* member = &m;  // lives as long as *c
  if (c->v.dim_sizes.empty() && m.dims.empty())
    return make_scalar(
        m.type, m.name,
        [c, member](void* value) {
          read_member_box(*c, *member, {}, {}, {}, value);
        },
        m.xtype);
  auto a = std::make_unique<Array>(
      m.name, make_scalar(m.type, m.name, nullptr, m.xtype));
  for (size_t d = 0; d < c->v.dim_sizes.size(); ++d)
    a->append_dim(static_cast<int>(c->v.dim_sizes[d]), c->v.dim_names[d]);
  for (size_t len : m.dims) a->append_dim(static_cast<int>(len));
  a->set_box_reader(
      [c, member](const Array&, const std::vector<size_t>& s,
                  const std::vector<size_t>& st, const std::vector<size_t>& n,
                  void* out) { read_member_box(*c, *member, s, st, n, out); });
  return a;
}

}  // namespace

NcCompound describe_compound(const NcVariable& v) {
  NcCompound c;
  c.v = v;
  check_nc(nc_inq_compound(v.ncid, v.xtype, nullptr, &c.record_size, nullptr),
           "Cannot read the type of \"" + v.name + "\"");
  if (c.record_size == 0)
    throw Error(internal_error, "The type of \"" + v.name + "\" is empty");
  size_t members = 0;
  const Context cx{v.ncid, c.omitted, members};
  describe_members(cx, v.xtype, 0, v.name, 1, c.members);
  return c;
}

std::unique_ptr<BaseType> compound_variable(const NcCompound& c) {
  auto shared = std::make_shared<const NcCompound>(c);
  auto s = std::make_unique<Structure>(c.v.name);
  for (const NcMember& m : shared->members)
    s->add_var(member_variable(shared, m));
  return s;
}

}  // namespace libqvp
