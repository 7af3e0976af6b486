// FILE* capture through open_memstream, and FILE* input from a string.
#include "CaptureFile.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace libqvp {
namespace test {

std::string capture_file(const std::function<void(FILE*)>& write) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&buf, &size);
  if (!f) throw std::runtime_error("open_memstream failed");
  try {
    write(f);
  } catch (...) {
    fclose(f);
    free(buf);
    throw;
  }
  fclose(f);
  std::string out(buf, size);
  free(buf);
  return out;
}

FILE* file_reading(const std::string& text) {
  FILE* f = tmpfile();
  if (!f) throw std::runtime_error("tmpfile failed");
  fwrite(text.data(), 1, text.size(), f);
  rewind(f);
  return f;
}

}  // namespace test
}  // namespace libqvp
