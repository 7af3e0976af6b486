#include "MemberReads.h"

#include <libqvp/Error.h>
#include <libqvp/Marshaller.h>
#include <netcdf.h>

#include <algorithm>

#include "MemberValues.h"
#include "NcDimensions.h"
#include "NcReader.h"
#include "RawRunReader.h"

namespace libqvp {

MemberReads::MemberReads(const NcmlIndex& index, std::function<void()> stale)
    : d_index(index), d_stale(std::move(stale)) {
  for (const VirtualMember& m : index.members)
    d_ends.push_back(m.offset + m.length);
}

MemberReads::~MemberReads() = default;

void MemberReads::release() {
  d_open.clear();
  d_checked.assign(d_index.members.size(), false);
}

void MemberReads::check_identity(uint32_t k) {
  if (d_checked.size() != d_index.members.size())
    d_checked.assign(d_index.members.size(), false);
  if (d_checked.at(k)) return;
  const VirtualMember& m = d_index.members[k];
  FileIdentity now;
  if (!FileIdentity::of(m.path, now) || now != m.identity) {
    d_stale();
    throw Error(internal_error,
                "\"" + m.display +
                    "\" changed after the aggregation was indexed; it is "
                    "indexed again at the next request");
  }
  d_checked[k] = true;
}

void MemberReads::check_members(const std::string& name,
                                const std::vector<size_t>& start,
                                const std::vector<size_t>& stride,
                                const std::vector<size_t>& count) {
  const ValueOrigin* o = origin_of(name);
  if (o == nullptr) return;
  if (o->source == ValueSource::member) return check_identity(o->member);
  if (count.empty() || count[0] == 0) return;
  const uint64_t first = start[0], last = start[0] + (count[0] - 1) * stride[0];
  if (d_index.kind == VirtualDataSet::Kind::join_new) {
    for (uint64_t i = first; i <= last; i += stride[0])
      check_identity(static_cast<uint32_t>(i));
    return;
  }
  const size_t from =
      std::upper_bound(d_ends.begin(), d_ends.end(), first) - d_ends.begin();
  for (size_t k = from; k < d_ends.size(); ++k) {
    const VirtualMember& m = d_index.members[k];
    if (m.offset > last) break;
    // Only members holding a selected index.
    const uint64_t next = m.offset <= first
                              ? first
                              : first + (m.offset - first + stride[0] - 1) /
                                            stride[0] * stride[0];
    if (next < m.offset + m.length && next <= last)
      check_identity(static_cast<uint32_t>(k));
  }
}

void MemberReads::map_variables(int image) {
  d_by_varid.clear();
  int nvars = 0;
  check_nc(nc_inq_nvars(image, &nvars), "Cannot read the variables");
  for (int varid = 0; varid < nvars; ++varid) {
    char name[NC_MAX_NAME + 1] = {};
    check_nc(nc_inq_varname(image, varid, name), "Cannot read the variables");
    const auto it =
        std::find_if(d_index.origins.begin(), d_index.origins.end(),
                     [&](const ValueOrigin& o) { return o.name == name; });
    if (it == d_index.origins.end())
      throw Error(internal_error,
                  std::string("The index has no variable ") + name);
    d_by_varid.push_back(&*it);
  }
}

NcFile& MemberReads::member(uint32_t k) {
  for (size_t i = 0; i < d_open.size(); ++i)
    if (d_open[i].member == k) {
      std::rotate(d_open.begin() + static_cast<std::ptrdiff_t>(i),
                  d_open.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                  d_open.end());
      return *d_open.back().file;
    }
  const VirtualMember& m = d_index.members.at(k);
  check_identity(k);
  if (d_open.size() >= kOpenMembers) d_open.erase(d_open.begin());
  d_open.push_back(
      {k, std::make_unique<NcFile>(m.path, d_io_bytes, NcFile::Reuse::fresh)});
  return *d_open.back().file;
}

NcVariable MemberReads::member_variable(uint32_t k, const std::string& name,
                                        const NcVariable& v,
                                        size_t outer_removed, bool joined) {
  const int ncid = member(k).id();
  const VirtualMember& m = d_index.members[k];
  int varid = -1;
  NcDimensions dims;
  NcVariable mv;
  const bool found = nc_inq_varid(ncid, name.c_str(), &varid) == NC_NOERR &&
                     describe_variable(ncid, varid, dims, mv);
  bool same = found && mv.type == v.type &&
              mv.dim_sizes.size() + outer_removed == v.dim_sizes.size();
  // Along a joinExisting's dimension the member has its own length.
  const bool own_outer = joined && outer_removed == 0;
  if (same && own_outer) same = mv.dim_sizes[0] == m.length;
  for (size_t d = own_outer ? 1 : 0; same && d < mv.dim_sizes.size(); ++d)
    same = mv.dim_sizes[d] == v.dim_sizes[d + outer_removed];
  if (!same) {
    d_stale();
    throw Error(internal_error, "\"" + m.display + "\": " + name +
                                    " is not as the aggregation was indexed");
  }
  mv.name = v.name;  // messages name the aggregation's variable
  return mv;
}

void MemberReads::each_part(const NcVariable& v, const ValueOrigin& o,
                            const std::vector<size_t>& start,
                            const std::vector<size_t>& stride,
                            const std::vector<size_t>& count,
                            const Part& part) {
  if (o.source == ValueSource::member) {
    const NcVariable mv = member_variable(o.member, o.member_name, v, 0, false);
    part(member(o.member), mv, start, stride, count, 0);
    return;
  }
  const bool join_new = d_index.kind == VirtualDataSet::Kind::join_new;
  std::vector<size_t> s(start), st(stride), c(count);
  if (join_new) {
    s.erase(s.begin());
    st.erase(st.begin());
    c.erase(c.begin());
  }
  for (size_t k = 0; k < count[0];) {
    const uint64_t i = start[0] + k * stride[0];
    uint32_t m = 0;
    size_t n = 1;
    if (join_new) {
      m = static_cast<uint32_t>(i);
    } else {
      m = static_cast<uint32_t>(
          std::upper_bound(d_ends.begin(), d_ends.end(), i) - d_ends.begin());
      const VirtualMember& vm = d_index.members.at(m);
      n = std::min<size_t>(count[0] - k,
                           (vm.offset + vm.length - 1 - i) / stride[0] + 1);
      s[0] = i - vm.offset;
      c[0] = n;
    }
    const NcVariable mv =
        member_variable(m, o.member_name, v, join_new ? 1 : 0, true);
    part(member(m), mv, s, st, c, k);
    k += n;
  }
}

const ValueOrigin* MemberReads::origin_of(const std::string& name) const {
  const auto o =
      std::find_if(d_index.origins.begin(), d_index.origins.end(),
                   [&](const ValueOrigin& v) { return v.name == name; });
  return o == d_index.origins.end() || o->source == ValueSource::own ? nullptr
                                                                     : &*o;
}

bool MemberReads::write_encoded(const Array& a,
                                const std::vector<size_t>& start,
                                const std::vector<size_t>& stride,
                                const std::vector<size_t>& count,
                                Marshaller& m) {
  const ValueOrigin* o = origin_of(a.name());
  const Type t = a.element_type();
  const size_t width = core_value_bytes(t);
  if (o == nullptr || width == 0 || !is_numeric_type(t)) return false;
  NcVariable v;  // the data set's variable as the member checks see it
  v.name = a.name();
  v.type = t;
  for (const auto& d : a.dims())
    v.dim_sizes.push_back(static_cast<size_t>(d.size));
  size_t n = 1;
  for (size_t c : count) n *= c;
  d_io_bytes = n * width >= kLargeBoxBytes ? kNcIoBytes : 0;
  std::vector<char> values;
  each_part(
      v, *o, start, stride, count,
      [&](NcFile& file, const NcVariable& mv, const std::vector<size_t>& s,
          const std::vector<size_t>& st, const std::vector<size_t>& c, size_t) {
        if (file.raw_reader()) {
          const std::vector<uint64_t> shape(mv.dim_sizes.begin(),
                                            mv.dim_sizes.end());
          auto raw = RawRunReader::encoded_reader(
              file.raw_reader(), file.id(), mv.varid, o->member_name, shape);
          if (raw && raw(a, s, st, c, m)) return;
        }
        size_t k = 1;
        for (size_t x : c) k *= x;
        values.resize(k * width);
        read_nc_box(mv, s, st, c, values.data());
        m.put_values(values.data(), k, t);
      });
  return true;
}

bool MemberReads::read(const NcVariable& v, const std::vector<size_t>& start,
                       const std::vector<size_t>& stride,
                       const std::vector<size_t>& count, void* out) {
  if (v.varid < 0 || static_cast<size_t>(v.varid) >= d_by_varid.size())
    return false;
  const ValueOrigin& o = *d_by_varid[static_cast<size_t>(v.varid)];
  if (o.source == ValueSource::own) return false;
  size_t n = 1;
  for (size_t c : count) n *= c;
  // A large I/O size costs a buffer of that size, cleared, at every open:
  // worth it for large boxes, not for a value or a few from each member.
  d_io_bytes = n * core_value_bytes(v.type) >= kLargeBoxBytes ? kNcIoBytes : 0;
  if (n == 0) return true;
  const size_t inner_bytes =
      count.empty() ? 0 : n / count[0] * core_value_bytes(v.type);
  char* bytes = static_cast<char*>(out);
  each_part(
      v, o, start, stride, count,
      [&](NcFile&, const NcVariable& mv, const std::vector<size_t>& s,
          const std::vector<size_t>& st, const std::vector<size_t>& c,
          size_t k) { read_nc_box(mv, s, st, c, bytes + k * inner_bytes); });
  return true;
}

}  // namespace libqvp
