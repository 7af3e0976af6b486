// The one checked write: every FILE* printer and the XDR marshaller report a
// refused write as Error(write_error) with the byte count and the reason,
// and write_all itself passes NUL bytes and refuses a null FILE*.
#include <gtest/gtest.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/XDRFileMarshaller.h>
#include <libqvp/write_all.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "FailingFile.h"

namespace libqvp {
namespace {

const char kDds[] =
    "Dataset {\n"
    "    Int32 count;\n"
    "    Structure {\n"
    "        Int16 code;\n"
    "    } station;\n"
    "} demo.nc;\n";

const char kDas[] =
    "Attributes {\n    count {\n        String units \"m\";\n    }\n}\n";

// Runs `write` and returns the message of the Error(write_error) it throws;
// a failure of the test when it throws nothing or another code.
std::string write_error_of(const std::function<void()>& write) {
  try {
    write();
  } catch (const Error& e) {
    EXPECT_EQ(e.get_error_code(), write_error) << e.get_error_message();
    return e.get_error_message();
  }
  ADD_FAILURE() << "the failed write was not reported";
  return "";
}

std::string enospc(size_t n) {
  return "could not write " + std::to_string(n) + " bytes: " + strerror(ENOSPC);
}

TEST(WriteAllTest, EveryFileWriterReportsARefusedWrite) {
  DDS dds;
  dds.parse(std::string(kDds));
  dds.var("station.code")->set_send_p(true);
  DAS das;
  das.parse(std::string(kDas));
  const struct {
    const char* writer;
    std::function<void(FILE*)> write;
  } cases[] = {
      {"DAS::print", [&](FILE* f) { das.print(f); }},
      {"DDS::print", [&](FILE* f) { dds.print(f); }},
      {"DDS::print_constrained", [&](FILE* f) { dds.print_constrained(f); }},
      {"DDS::print_xml", [&](FILE* f) { dds.print_xml(f, false, "u"); }},
      {"BaseType::print_decl",
       [&](FILE* f) { dds.var("station")->print_decl(f); }},
      {"Error::print", [](FILE* f) { Error(1001, "x").print(f); }},
      {"XDRFileMarshaller",
       [](FILE* f) {
         XDRFileMarshaller m(f);
         m.put_int32(7);
         m.flush();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.writer);
    test::FailingFile whole(0);
    c.write(whole.get());
    ASSERT_FALSE(whole.bytes().empty());
    test::FailingFile refusing(1);
    EXPECT_EQ(write_error_of([&] { c.write(refusing.get()); }),
              enospc(whole.bytes().size()));
    EXPECT_EQ(refusing.bytes(), "");
  }
}

TEST(WriteAllTest, WritesEveryByteOrReportsNoStream) {
  test::FailingFile file(0);
  write_all(file.get(), std::string("a\0b", 3));
  EXPECT_EQ(file.bytes(), std::string("a\0b", 3));

  write_all(static_cast<FILE*>(nullptr), "");  // nothing to write
  EXPECT_EQ(
      write_error_of([] { write_all(static_cast<FILE*>(nullptr), "abc"); }),
      "could not write 3 bytes: no output stream");
}

}  // namespace
}  // namespace libqvp
