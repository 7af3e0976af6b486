// What is kept of an NcML document between requests: what it depends on,
// its members, where each variable's values come from, and the netCDF-4
// image that describes it; or the error that refuses it. Encoded as bytes
// for the index files that pool workers and CGI processes share.
#ifndef QVP_NC_NCMLINDEX_H
#define QVP_NC_NCMLINDEX_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "NcmlBuilder.h"
#include "VirtualDataSet.h"

namespace libqvp {

struct ValueOrigin {
  std::string name;  // the data set's variable
  ValueSource source = ValueSource::own;
  uint32_t member = 0;
  std::string member_name;
};

struct NcmlIndex {
  std::string document;  // real path
  std::vector<Dependency> depends;
  std::string error;  // not empty: every response is this error
  VirtualDataSet::Kind kind = VirtualDataSet::Kind::edit;
  std::vector<VirtualMember> members;
  std::vector<ValueOrigin> origins;  // per variable of the image, in order
  std::string image;

  // The index of `build`'s data set for `document`, with its image.
  static NcmlIndex of(const std::string& document, NcmlBuild& build);

  std::string encode() const;
  // False when `bytes` is not an index of this version (a torn or foreign
  // file): it is then made again.
  bool decode(std::string_view bytes);
};

}  // namespace libqvp

#endif  // QVP_NC_NCMLINDEX_H
