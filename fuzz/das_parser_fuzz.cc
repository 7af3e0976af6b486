// Fuzzes the DAS text parser: any bytes either parse, and then print and
// parse again to the same text, or fail with libqvp::Error.
#include <libqvp/DAS.h>
#include <libqvp/Error.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  libqvp::DAS das;
  try {
    das.parse(text);
  } catch (const libqvp::Error&) {
    return 0;
  }
  std::ostringstream printed;
  das.print(printed);
  libqvp::DAS again;
  again.parse(printed.str());  // printed text must parse: no catch
  std::ostringstream reprinted;
  again.print(reprinted);
  if (reprinted.str() != printed.str()) abort();
  return 0;
}
