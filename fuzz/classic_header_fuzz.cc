// Fuzzes the netCDF classic header check: any bytes are either accepted with
// every variable's values inside the file, or refused with an Error; nothing
// crashes, hangs or allocates what a count declares. Inputs that do not start
// with a classic magic number get one ("CDF" and version 1, 2 or 5 from the
// first byte), so that the fuzzer spends its time inside the header.
#include <libqvp/Error.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "ClassicHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  if (file.compare(0, 3, "CDF") != 0) {
    static const char kVersions[] = {1, 2, 5};
    const char version = size ? kVersions[data[0] % 3] : 1;
    file = std::string("CDF") + version + file.substr(size ? 1 : 0);
  }
  static const int fd = memfd_create("classic_header_fuzz", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 ||
      pwrite(fd, file.data(), file.size(), 0) !=
          static_cast<ssize_t>(file.size()))
    std::abort();
  try {
    const libqvp::ClassicHeader h(fd, file.size(), "f.nc");
    for (const libqvp::ClassicVariable& v : h.variables())
      if (v.begin > file.size()) std::abort();
  } catch (const libqvp::Error&) {
  }
  return 0;
}
