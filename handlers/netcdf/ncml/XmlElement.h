// One element of an XML document as the NcML reader keeps it: its local name,
// attributes, character data and children, and where it starts.
#ifndef QVP_NC_XMLELEMENT_H
#define QVP_NC_XMLELEMENT_H

#include <string>
#include <utility>
#include <vector>

namespace libqvp {

struct XmlElement {
  std::string name;  // without namespace
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;  // character data directly inside the element
  std::vector<XmlElement> children;
  unsigned long line = 0;
  unsigned long column = 0;

  // The value of attribute `key`; null when it is absent.
  const std::string* attribute(const std::string& key) const {
    for (const auto& [k, v] : attributes)
      if (k == key) return &v;
    return nullptr;
  }
};

}  // namespace libqvp

#endif  // QVP_NC_XMLELEMENT_H
