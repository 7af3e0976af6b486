// Fuzzes the DDS text parser: any bytes either parse, and then print and
// parse again to the same text, or fail with libqvp::Error.
#include <libqvp/DDS.h>
#include <libqvp/Error.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  libqvp::DDS dds;
  try {
    dds.parse(text);
  } catch (const libqvp::Error&) {
    return 0;
  }
  std::ostringstream printed;
  dds.print(printed);
  libqvp::DDS again;
  again.parse(printed.str());  // printed text must parse: no catch
  std::ostringstream reprinted;
  again.print(reprinted);
  if (reprinted.str() != printed.str()) abort();
  return 0;
}
