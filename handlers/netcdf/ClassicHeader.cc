// The classic header is read front to back through a small buffered reader
// that never reads past the file's end: every count is consumed one element
// at a time, so a count that lies runs into the end of the file after at most
// file-size steps instead of making anything allocate what it declares.
// Attribute values are skipped, never read. Layout (all big-endian):
//   "CDF" version  numrecs  dim_list  gatt_list  var_list
//   list    := tag count item* | 0 0          (tags 10 dims, 11 vars, 12 atts)
//   dim     := name length                    (length 0: the record dimension)
//   att     := name type count values, padded to 4 bytes
//   var     := name ndims dimid* att_list type vsize begin
//   name    := count bytes, padded to 4 bytes
// Counts, lengths, dimids and vsize are 4 bytes (8 in CDF-5); begin is 4 bytes
// in version 1 and 8 otherwise; tags and types are always 4 bytes.
#include "ClassicHeader.h"

#include <libqvp/Error.h>
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "ClassicFormat.h"
#include "NcValues.h"

namespace libqvp {
namespace {

constexpr uint64_t kStreaming32 = 0xFFFFFFFFu;
constexpr size_t kReadBytes = size_t{64} << 10;

// Bytes of one value of a netCDF type; 0 for a type the version lacks.
uint64_t type_bytes(uint32_t type, int version) {
  const bool classic = type == NC_BYTE || type == NC_CHAR || type == NC_SHORT ||
                       type == NC_INT || type == NC_FLOAT || type == NC_DOUBLE;
  if (!classic && version != 5) return 0;
  return type > INT32_MAX ? 0 : atomic_size(static_cast<nc_type>(type));
}

class Damaged {
 public:
  explicit Damaged(const std::string& name) : d_name(name) {}
  [[noreturn]] void fail(const std::string& what) const {
    throw Error(internal_error,
                "The data set \"" + d_name + "\" is damaged: " + what);
  }

 private:
  std::string d_name;
};

// Big-endian fields from the file, buffered; fails at the end of the file.
class FieldReader {
 public:
  FieldReader(int fd, uint64_t size, const Damaged& damaged, int version)
      : d_fd(fd), d_size(size), d_damaged(damaged), d_version(version) {}

  uint64_t position() const { return d_pos; }

  uint32_t u32() {
    unsigned char b[4];
    bytes(b, 4);
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 |
           b[3];
  }
  uint64_t u64() {
    const uint64_t high = u32();
    return high << 32 | u32();
  }
  // A count, length, dimid or vsize.
  uint64_t count() { return d_version == 5 ? u64() : u32(); }
  uint64_t offset() { return d_version == 1 ? u32() : u64(); }

  std::string name(const char* what) {
    const uint64_t n = count();
    if (n == 0 || n > NC_MAX_NAME)
      d_damaged.fail("a " + std::string(what) + " name is " +
                     std::to_string(n) + " bytes long");
    std::string s(n, '\0');
    bytes(s.data(), n);
    skip(padded(n) - n);
    return s;
  }

  // Skips `n` bytes, failing when they are not all in the file.
  void skip(uint64_t n) {
    if (n > d_size - d_pos) fail_end();
    d_pos += n;
  }

  [[noreturn]] void fail_end() const {
    d_damaged.fail("the header runs past the end of the file (" +
                   std::to_string(d_size) + " bytes)");
  }

 private:
  void bytes(void* out, size_t n) {
    if (n > d_size - d_pos) fail_end();
    auto* dst = static_cast<char*>(out);
    while (n > 0) {
      if (d_pos < d_buf_pos || d_pos >= d_buf_pos + d_buf.size()) fill();
      const size_t at = static_cast<size_t>(d_pos - d_buf_pos);
      const size_t k = std::min(n, d_buf.size() - at);
      std::copy_n(d_buf.data() + at, k, dst);
      dst += k;
      d_pos += k;
      n -= k;
    }
  }
  void fill() {
    d_buf.resize(
        static_cast<size_t>(std::min<uint64_t>(kReadBytes, d_size - d_pos)));
    d_buf_pos = d_pos;
    size_t got = 0;
    while (got < d_buf.size()) {
      const ssize_t r = pread(d_fd, d_buf.data() + got, d_buf.size() - got,
                              static_cast<off_t>(d_pos + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) fail_end();
      got += static_cast<size_t>(r);
    }
  }

  int d_fd;
  uint64_t d_size;
  const Damaged& d_damaged;
  int d_version;
  uint64_t d_pos = 4;  // after the magic number
  std::vector<char> d_buf;
  uint64_t d_buf_pos = 0;
};

// A list's element count, or 0 for an absent list; fails on any other tag.
uint64_t list_count(FieldReader& in, uint32_t tag, const Damaged& damaged) {
  const uint32_t t = in.u32();
  const uint64_t n = in.count();
  if (t == 0 && n == 0) return 0;
  if (t != tag)
    damaged.fail("expected list tag " + std::to_string(tag) + " at byte " +
                 std::to_string(in.position() - 8) + ", found " +
                 std::to_string(t));
  return n;
}

void skip_attributes(FieldReader& in, int version, const Damaged& damaged) {
  const uint64_t n = list_count(in, kAttributeTag, damaged);
  for (uint64_t i = 0; i < n; ++i) {
    const std::string name = in.name("attribute");
    const uint32_t type = in.u32();
    const uint64_t width = type_bytes(type, version);
    if (width == 0)
      damaged.fail("attribute \"" + name + "\" has the unknown type " +
                   std::to_string(type));
    const uint64_t count = in.count();
    if (count > UINT64_MAX / width - 3)
      damaged.fail("attribute \"" + name + "\" is too large");
    in.skip(padded(count * width));
  }
}

// The dimension list: each dimension's length, 0 for the record dimension,
// of which there is one at the most.
std::vector<uint64_t> read_dimensions(FieldReader& in, const Damaged& damaged) {
  std::vector<uint64_t> dims;
  const uint64_t ndims = list_count(in, kDimensionTag, damaged);
  bool has_record_dim = false;
  for (uint64_t i = 0; i < ndims; ++i) {
    in.name("dimension");
    dims.push_back(in.count());
    if (dims.back() == 0) {
      if (has_record_dim) damaged.fail("more than one record dimension");
      has_record_dim = true;
    }
  }
  return dims;
}

// The dimension ids of `v` into its shape, whether it is a record variable
// and its number of values (per record), checked not to overflow.
void read_shape(FieldReader& in, const std::vector<uint64_t>& dims,
                ClassicVariable& v, const Damaged& damaged) {
  const uint64_t rank = in.count();
  if (rank > NC_MAX_VAR_DIMS)
    damaged.fail("\"" + v.name + "\" has " + std::to_string(rank) +
                 " dimensions");
  v.values = 1;
  for (uint64_t d = 0; d < rank; ++d) {
    const uint64_t id = in.count();
    if (id >= dims.size())
      damaged.fail("\"" + v.name + "\" names the dimension id " +
                   std::to_string(id) + " of " + std::to_string(dims.size()));
    const uint64_t len = dims[static_cast<size_t>(id)];
    if (len == 0 && d != 0)
      damaged.fail("\"" + v.name +
                   "\" has the record dimension in another place than "
                   "the first");
    v.is_record = v.is_record || len == 0;
    v.shape.push_back(len);
    if (len != 0 && v.values > UINT64_MAX / len)
      damaged.fail("the size of \"" + v.name + "\" overflows");
    if (len != 0) v.values *= len;
  }
}

// One variable of the variable list; its padded size is checked not to
// overflow.
ClassicVariable read_variable(FieldReader& in,
                              const std::vector<uint64_t>& dims, int version,
                              const Damaged& damaged) {
  ClassicVariable v;
  v.name = in.name("variable");
  read_shape(in, dims, v, damaged);
  skip_attributes(in, version, damaged);
  v.type = static_cast<int>(in.u32());
  v.value_bytes = type_bytes(static_cast<uint32_t>(v.type), version);
  if (v.value_bytes == 0)
    damaged.fail("\"" + v.name + "\" has the unknown type " +
                 std::to_string(v.type));
  if (v.values > UINT64_MAX / v.value_bytes - 3)
    damaged.fail("the size of \"" + v.name + "\" overflows");
  in.count();  // vsize: computed from the shape instead (it saturates)
  v.begin = in.offset();
  return v;
}

// The distance from one record to the next: the sum of the record
// variables' padded sizes, or the unpadded size of a single record variable.
uint64_t record_bytes(const std::vector<ClassicVariable>& vars,
                      const Damaged& damaged) {
  const auto is_record = [](const ClassicVariable& v) { return v.is_record; };
  if (std::count_if(vars.begin(), vars.end(), is_record) == 1) {
    const ClassicVariable& v =
        *std::find_if(vars.begin(), vars.end(), is_record);
    return v.values * v.value_bytes;
  }
  uint64_t sum = 0;
  for (const ClassicVariable& v : vars) {
    if (!v.is_record) continue;
    const uint64_t bytes = padded(v.values * v.value_bytes);
    if (sum > UINT64_MAX - bytes) damaged.fail("the record size overflows");
    sum += bytes;
  }
  return sum;
}

}  // namespace

int ClassicHeader::version_of(int fd) {
  unsigned char magic[4] = {};
  if (pread(fd, magic, 4, 0) != 4) return 0;
  if (magic[0] != 'C' || magic[1] != 'D' || magic[2] != 'F') return 0;
  return magic[3] == 1 || magic[3] == 2 || magic[3] == 5 ? magic[3] : 0;
}

ClassicHeader::ClassicHeader(int fd, uint64_t file_size,
                             const std::string& name)
    : d_name(name), d_version(version_of(fd)) {
  const Damaged damaged(name);
  if (d_version == 0) damaged.fail("not a classic netCDF file");
  FieldReader in(fd, file_size, damaged, d_version);
  d_records = in.count();
  const bool streaming =
      d_version == 5 ? d_records == UINT64_MAX : d_records == kStreaming32;
  const std::vector<uint64_t> dims = read_dimensions(in, damaged);
  skip_attributes(in, d_version, damaged);
  const uint64_t nvars = list_count(in, kVariableTag, damaged);
  for (uint64_t i = 0; i < nvars; ++i)
    d_vars.push_back(read_variable(in, dims, d_version, damaged));
  d_record_bytes = record_bytes(d_vars, damaged);
  check_extents(in.position(), file_size, streaming);
}

void ClassicHeader::check_extents(uint64_t header_end, uint64_t file_size,
                                  bool streaming) const {
  const Damaged damaged(d_name);
  for (const ClassicVariable& v : d_vars) {
    const std::string quoted = "\"" + v.name + "\"";
    // A record variable's values start in the first record; a file that
    // declares no records holds none, and that start may lie past its end.
    const bool unheld = v.is_record && d_records == 0;
    if (v.begin < header_end || (v.begin > file_size && !unheld))
      damaged.fail("the values of " + quoted + " start at byte " +
                   std::to_string(v.begin) + ", outside the data (bytes " +
                   std::to_string(header_end) + " to " +
                   std::to_string(file_size) + ")");
    uint64_t end = v.values * v.value_bytes;  // checked not to overflow
    if (v.is_record) {
      // A streaming file's records are those that the file holds.
      if (d_records == 0 || streaming) continue;
      const uint64_t n = d_records - 1;
      if (d_record_bytes != 0 && n > (UINT64_MAX - end) / d_record_bytes)
        damaged.fail("the records of " + quoted + " overflow");
      end += n * d_record_bytes;
    }
    if (end > file_size - v.begin)
      damaged.fail("the values of " + quoted + " end past the end of the " +
                   "file (" + std::to_string(file_size) + " bytes)");
  }
}

}  // namespace libqvp
