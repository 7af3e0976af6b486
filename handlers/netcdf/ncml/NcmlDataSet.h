// An NcML document served as a data set: its index, kept by this process
// while nothing it depends on changes and shared with other processes
// through the index directory, and the netCDF-4 image that describes it.
#ifndef QVP_NC_NCMLDATASET_H
#define QVP_NC_NCMLDATASET_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "MemberReads.h"
#include "NcmlIndex.h"

namespace libqvp {

class NcmlDataSet {
 public:
  // The data set of the document `path` names: this process's copy when
  // every file and directory it depends on is unchanged (a stat each), else
  // the index file's when that is current, else made anew (and the index
  // file written). Throws Error(no_such_data_set) when the document does
  // not exist, and Error(internal_error) with the reason when it cannot be
  // served, that reason kept with the index so that it is logged once and
  // the document is not read again until something it depends on changes.
  static std::shared_ptr<NcmlDataSet> open(const std::string& path);

  // Starts a request: within one request a document's dependencies are
  // checked once (its Last-Modified and its responses both open it). Before
  // the first call every open() checks them.
  static void begin_request();

  // The data set whose image is open as `ncid`; null for any other file.
  static NcmlDataSet* of(int ncid);

  // True when `path` names an NcML document (by its extension).
  static bool names_document(const std::string& path);

  explicit NcmlDataSet(NcmlIndex index);
  ~NcmlDataSet();
  NcmlDataSet(const NcmlDataSet&) = delete;
  NcmlDataSet& operator=(const NcmlDataSet&) = delete;

  // The image, opened at the first call; valid while this object lives.
  // Throws Error(internal_error) when netCDF cannot open it.
  int ncid();
  // What the index depends on: documents, scanned directories, members.
  const std::vector<Dependency>& depends() const { return d_index.depends; }
  // The newest modification time of the document and of what it depends on.
  time_t last_modified() const;
  // Reads values that the members hold (MemberReads::read).
  bool read(const NcVariable& v, const std::vector<size_t>& start,
            const std::vector<size_t>& stride, const std::vector<size_t>& count,
            void* out) {
    return d_reads.read(v, start, stride, count, out);
  }
  // Writes a box of an array the members serve (MemberReads::write_encoded).
  bool write_encoded(const Array& a, const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count, Marshaller& m) {
    return d_reads.write_encoded(a, start, stride, count, m);
  }
  // Checks the members a box reads (MemberReads::check_members).
  void check_members(const std::string& name, const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count) {
    d_reads.check_members(name, start, stride, count);
  }
  // Closes the members that reads opened; called when a request's use ends.
  void release_members() { d_reads.release(); }

  // Documents this process keeps.
  static constexpr size_t kKept = 8;

 private:
  bool current();
  void forget();

  NcmlIndex d_index;
  MemberReads d_reads;
  int d_ncid = -1;
  bool d_stale = false;
  uint64_t d_checked_in = 0;  // the request that last found it current
};

}  // namespace libqvp

#endif  // QVP_NC_NCMLDATASET_H
