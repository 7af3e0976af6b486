// Reads an NcML document into a tree of XmlElements with expat. Nothing is
// fetched: a document type declaration (and with it any entity defined
// outside the document) is refused, the document's size and nesting depth are
// bounded, and elements must be in the NcML namespace or in none.
#ifndef QVP_NC_XMLREADER_H
#define QVP_NC_XMLREADER_H

#include <cstddef>
#include <string>
#include <string_view>

#include "XmlElement.h"

namespace libqvp {

// The NcML namespace.
constexpr const char* kNcmlNamespace =
    "http://www.unidata.ucar.edu/namespaces/netcdf/ncml-2.2";

// Largest document read: room for 100,000 listed members.
constexpr size_t kMaxNcmlBytes = size_t{32} << 20;
// Deepest nesting of elements.
constexpr size_t kMaxNcmlDepth = 32;

// Parses `text`, the document named `name` in messages, and returns its root
// element. Throws Error(internal_error, "\"<name>\" line L, column C: <what>")
// when the text is not well-formed XML, declares a document type, is nested
// deeper than kMaxNcmlDepth, or uses another namespace.
XmlElement read_xml(std::string_view text, const std::string& name);

// Reads the file `path` (at most kMaxNcmlBytes) and parses it as read_xml
// does; `name` names it in messages. Throws Error as read_xml does, and
// Error(internal_error) when the file cannot be read or is too large.
XmlElement read_xml_file(const std::string& path, const std::string& name);

}  // namespace libqvp

#endif  // QVP_NC_XMLREADER_H
