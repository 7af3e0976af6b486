// Fields are written in native byte order: an index is read only by the
// machine kind that wrote it (the magic names the version; a foreign or
// torn file fails to decode and is made again).
#include "NcmlIndex.h"

#include <cstring>

#include "NcFile.h"
#include "VirtualImage.h"

namespace libqvp {
namespace {

constexpr std::string_view kMagic = "qvp-ncml-index 2\n";

class Writer {
 public:
  void u64(uint64_t v) { d_out.append(reinterpret_cast<const char*>(&v), 8); }
  void text(const std::string& s) {
    u64(s.size());
    d_out += s;
  }
  void identity(const FileIdentity& id) {
    u64(id.device);
    u64(id.inode);
    u64(id.size);
    u64(static_cast<uint64_t>(id.mtime_ns));
  }
  std::string& out() { return d_out; }

 private:
  std::string d_out;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : d_in(in) {}
  bool u64(uint64_t& v) {
    if (d_in.size() < 8) return false;
    std::memcpy(&v, d_in.data(), 8);
    d_in.remove_prefix(8);
    return true;
  }
  bool text(std::string& s) {
    uint64_t n = 0;
    if (!u64(n) || n > d_in.size()) return false;
    s.assign(d_in.data(), n);
    d_in.remove_prefix(n);
    return true;
  }
  bool identity(FileIdentity& id) {
    uint64_t m = 0;
    const bool ok = u64(id.device) && u64(id.inode) && u64(id.size) && u64(m);
    id.mtime_ns = static_cast<int64_t>(m);
    return ok;
  }
  // A count of items of at least `min_bytes` each that the rest can hold.
  bool count(uint64_t& n, size_t min_bytes) {
    return u64(n) && n <= d_in.size() / min_bytes;
  }
  bool empty() const { return d_in.empty(); }

 private:
  std::string_view d_in;
};

}  // namespace

NcmlIndex NcmlIndex::of(const std::string& document, NcmlBuild& build) {
  NcmlIndex index;
  index.document = document;
  index.depends = build.depends;
  index.kind = build.data.kind;
  for (const VirtualVariable& v : build.data.vars)
    index.origins.push_back({v.name, v.source, v.member, v.member_name});
  index.image = write_image(build.data, base_name(document));
  index.members = std::move(build.data.members);
  return index;
}

std::string NcmlIndex::encode() const {
  Writer w;
  w.out() += kMagic;
  w.text(document);
  w.u64(depends.size());
  for (const Dependency& d : depends) {
    w.text(d.path);
    w.identity(d.identity);
  }
  w.text(error);
  w.u64(static_cast<uint64_t>(kind));
  w.u64(members.size());
  for (const VirtualMember& m : members) {
    w.text(m.path);
    w.text(m.display);
    w.identity(m.identity);
    w.u64(m.offset);
    w.u64(m.length);
    w.u64((m.listed ? 1u : 0u) | (m.opened ? 2u : 0u));
  }
  w.u64(origins.size());
  for (const ValueOrigin& o : origins) {
    w.text(o.name);
    w.u64(static_cast<uint64_t>(o.source));
    w.u64(o.member);
    w.text(o.member_name);
  }
  w.text(image);
  return std::move(w.out());
}

bool NcmlIndex::decode(std::string_view bytes) {
  if (bytes.substr(0, kMagic.size()) != kMagic) return false;
  Reader r(bytes.substr(kMagic.size()));
  uint64_t n = 0, k = 0;
  if (!r.text(document) || !r.count(n, 40)) return false;
  depends.resize(n);
  for (Dependency& d : depends)
    if (!r.text(d.path) || !r.identity(d.identity)) return false;
  if (!r.text(error) || !r.u64(k) || k > 3 || !r.count(n, 72)) return false;
  kind = static_cast<VirtualDataSet::Kind>(k);
  members.resize(n);
  for (VirtualMember& m : members) {
    uint64_t flags = 0;
    if (!r.text(m.path) || !r.text(m.display) || !r.identity(m.identity) ||
        !r.u64(m.offset) || !r.u64(m.length) || !r.u64(flags))
      return false;
    m.listed = (flags & 1u) != 0;
    m.opened = (flags & 2u) != 0;
  }
  if (!r.count(n, 32)) return false;
  origins.resize(n);
  for (ValueOrigin& o : origins) {
    uint64_t source = 0, member = 0;
    if (!r.text(o.name) || !r.u64(source) || source > 2 || !r.u64(member) ||
        member >= members.size() + (members.empty() ? 1 : 0) ||
        !r.text(o.member_name))
      return false;
    o.source = static_cast<ValueSource>(source);
    o.member = static_cast<uint32_t>(member);
  }
  return r.text(image) && r.empty();
}

}  // namespace libqvp
