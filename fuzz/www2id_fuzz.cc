// Fuzzes percent-decoding: www2id never grows its input, and decoding what
// id2www encoded gives the input back.
#include <libqvp/escaping.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  const std::string decoded = libqvp::www2id(in, "%", "%20");
  if (decoded.size() > in.size()) std::abort();
  if (libqvp::www2id(in).size() > in.size()) std::abort();
  if (libqvp::www2id(libqvp::id2www(in)) != in) std::abort();
  return 0;
}
