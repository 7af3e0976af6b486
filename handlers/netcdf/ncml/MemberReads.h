// Reads the values of an NcML data set's variables that its members hold:
// a box along the joined dimension becomes one box per member it touches,
// each read from its member as a box of a plain file is read.
#ifndef QVP_NC_MEMBERREADS_H
#define QVP_NC_MEMBERREADS_H

#include <libqvp/Array.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "NcFile.h"
#include "NcVariable.h"
#include "NcmlIndex.h"

namespace libqvp {

class MemberReads {
 public:
  // `index` must outlive this object. `stale` is called when a member is
  // found changed since the index was made (before the Error is thrown).
  MemberReads(const NcmlIndex& index, std::function<void()> stale);
  ~MemberReads();
  MemberReads(const MemberReads&) = delete;
  MemberReads& operator=(const MemberReads&) = delete;

  // Reads the box of `v`, a variable of the data set's image, as
  // read_nc_box does, when its values lie in the members, and returns true;
  // returns false when the image holds them. Throws Error naming the member
  // when one is missing, changed, or no longer has the variable as indexed.
  bool read(const NcVariable& v, const std::vector<size_t>& start,
            const std::vector<size_t>& stride, const std::vector<size_t>& count,
            void* out);

  // Checks that the members the box of the data set's variable `name` reads
  // are as indexed (a stat each, once per request). Throws Error as read()
  // does for a changed or missing member.
  void check_members(const std::string& name, const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count);

  // Matches the variables of `image`, the data set's image open in netCDF,
  // to the index's by name (netCDF-4 does not keep the order they were
  // defined in). Throws Error(internal_error) for a variable the index lacks.
  void map_variables(int image);

  // Writes the box of `a`, an array of the data set served from its
  // members, to `m`: each member's part as that member's values lie on disk
  // where its raw-run reader takes them (a classic file), otherwise decoded
  // and written with put_values. Returns false, having written nothing, for
  // an array whose values the image holds. Throws as read() does.
  bool write_encoded(const Array& a, const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count, Marshaller& m);

  // Closes the members opened for reads.
  void release();

  // Members kept open between boxes of one request.
  static constexpr size_t kOpenMembers = 4;
  // Boxes from this size on open their members with a large I/O size.
  static constexpr size_t kLargeBoxBytes = size_t{256} << 10;

 private:
  struct Open {
    uint32_t member;
    std::unique_ptr<NcFile> file;
  };
  NcFile& member(uint32_t k);
  void check_identity(uint32_t k);
  NcVariable member_variable(uint32_t k, const std::string& name,
                             const NcVariable& v, size_t outer_removed,
                             bool joined);
  // Calls `part(member, member variable, start, stride, count, k)` for each
  // member's part of the box of `v`, k its first index along the box's
  // outer dimension.
  using Part = std::function<void(
      NcFile&, const NcVariable&, const std::vector<size_t>&,
      const std::vector<size_t>&, const std::vector<size_t>&, size_t)>;
  void each_part(const NcVariable& v, const ValueOrigin& o,
                 const std::vector<size_t>& start,
                 const std::vector<size_t>& stride,
                 const std::vector<size_t>& count, const Part& part);
  const ValueOrigin* origin_of(const std::string& name) const;

  const NcmlIndex& d_index;
  std::function<void()> d_stale;
  std::vector<uint64_t> d_ends;  // per member: its offset plus its length
  std::vector<Open> d_open;      // the most recently used last
  std::vector<const ValueOrigin*> d_by_varid;
  std::vector<bool> d_checked;  // per member, in this request
  size_t d_io_bytes = 0;        // for the members the current box opens
};

}  // namespace libqvp

#endif  // QVP_NC_MEMBERREADS_H
