// The one checked write: every FILE* printer and the XDR marshaller report a
// refused write as Error(write_error) with the byte count and the reason,
// and write_all itself passes NUL bytes and refuses a null FILE*.
#include <cerrno>
#include <cstring>

#include "CoreTest.h"
#include "FailingFile.h"

namespace libqvp::test {

std::string enospc(size_t n) {
  return "could not write " + std::to_string(n) + " bytes: " + strerror(ENOSPC);
}

TEST(WriteAllTest, EveryFileWriterReportsARefusedWrite) {
  DDS dds;
  dds.parse(std::string(
      "Dataset { Int32 count; Structure { Int16 code; } station; } demo.nc;"));
  dds.var("station.code")->set_send_p(true);
  DAS das;
  das.parse(std::string("Attributes { count { String units \"m\"; } }"));
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
    FailingFile whole(0);
    c.write(whole.get());
    ASSERT_FALSE(whole.bytes().empty());
    FailingFile refusing(1);
    expect_error([&] { c.write(refusing.get()); }, write_error,
                 enospc(whole.bytes().size()));
    EXPECT_EQ(refusing.bytes(), "");
  }
}

TEST(WriteAllTest, WritesEveryByteOrReportsNoStream) {
  FailingFile file(0);
  write_all(file.get(), std::string("a\0b", 3));
  EXPECT_EQ(file.bytes(), std::string("a\0b", 3));

  write_all(static_cast<FILE*>(nullptr), "");  // nothing to write
  expect_error([] { write_all(static_cast<FILE*>(nullptr), "abc"); },
               write_error, "could not write 3 bytes: no output stream");
}

}  // namespace libqvp::test
