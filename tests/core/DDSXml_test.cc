// The DDX: the document frame byte for byte, only the selection when
// constrained, and well-formed XML (checked with xmllint) for hostile names,
// attribute values and BLOB URLs.
#include "CoreTest.h"
#include "TempDir.h"

namespace libqvp::test {

std::string xml_of(const DDS& dds, bool constrained, const std::string& blob) {
  std::ostringstream out;
  dds.print_xml(out, constrained, blob);
  return out.str();
}

// xmllint's complaints about `doc`; "" when it is well-formed.
std::string xmllint(const std::string& doc) {
  TempDir dir;
  const std::string path = dir.write("ddx.xml", doc);
  FILE* p = popen(("xmllint --noout '" + path + "' 2>&1").c_str(), "r");
  if (!p) return "popen failed";
  std::string out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = pclose(p);
  return status == 0 ? out : "status " + std::to_string(status) + ": " + out;
}

TEST(DDSXmlTest, WritesTheDocumentFrameAndOnlyTheSelection) {
  DDS dds("sst.nc");
  dds.get_attr_table()
      .append_container("NC_GLOBAL")
      ->append_attr("title", "String", "Monthly SST");
  dds.get_attr_table().append_attr("history", "String", "a & b");
  EXPECT_EQ(xml_of(dds, false, "/data/sst.nc.blob?sst&x=\"1\""),
            data_file("frame.ddx"));

  dds.parse(std::string("Dataset { Int32 keep; Int32 drop; } d;"));
  dds.mark_all(false);
  dds.var("keep")->set_send_p(true);
  const std::string constrained = xml_of(dds, true, "u");
  EXPECT_NE(constrained.find("\"keep\""), std::string::npos) << constrained;
  EXPECT_EQ(constrained.find("\"drop\""), std::string::npos) << constrained;
  EXPECT_NE(xml_of(dds, false, "u").find("\"drop\""), std::string::npos);
}

TEST(DDSXmlTest, HostileTextStaysWellFormed) {
  DDS dds;
  dds.parse(data_file("hostile.dds"));
  DAS das;
  das.parse(data_file("hostile.das"));
  dds.transfer_attributes(das);
  const std::string blob = "http://h/d.nc.blob?a&b=\"c\"&d='e'<f>";
  EXPECT_EQ(xmllint(xml_of(dds, false, blob)), "");
  dds.mark_all(false);
  dds.var("sst")->set_send_p(true);
  dds.var("st'ation.&amp;")->set_send_p(true);
  dds.var("st'ation")->BaseType::set_send_p(true);
  EXPECT_EQ(xmllint(xml_of(dds, true, blob)), "");
}

}  // namespace libqvp::test
