// Fuzzes the handler table parser: any bytes either parse into a table whose
// every row can be looked up again, or fail with HandlerTable::ParseError.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "HandlerTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const libqvp::HandlerTable t = libqvp::HandlerTable::parse(text);
    for (const auto& row : t.handlers())
      if (t.program_for(row.key) != row.value) abort();
    for (const auto& row : t.suffixes())
      if (t.response_for(row.key) != row.value) abort();
  } catch (const libqvp::HandlerTable::ParseError&) {
  }
  return 0;
}
