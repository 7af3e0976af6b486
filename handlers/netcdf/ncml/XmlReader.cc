// expat builds the tree element by element. Its protection against entity
// expansion (billion laughs) stays on; the document type handler stops the
// parse at once, so no entity is ever declared.
#include "XmlReader.h"

#include <expat.h>
#include <fcntl.h>
#include <libqvp/Error.h>
#include <libqvp/FileDescriptor.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "ReadWhole.h"

namespace libqvp {
namespace {

constexpr char kSeparator = '|';

struct ParseState {
  XML_Parser parser = nullptr;
  XmlElement root;
  std::vector<XmlElement*> open;  // the path from the root to the current
  std::string failure;            // why the handlers stopped the parse
};

void stop(ParseState& s, const std::string& why) {
  if (s.failure.empty()) s.failure = why;
  XML_StopParser(s.parser, XML_FALSE);
}

// "uri|local" or "local" to "local"; false for a namespace other than NcML's.
bool local_name(const char* qualified, std::string& out) {
  const char* sep = std::strchr(qualified, kSeparator);
  if (sep == nullptr) {
    out = qualified;
    return true;
  }
  out.assign(sep + 1);
  return std::string_view(qualified, static_cast<size_t>(sep - qualified)) ==
         kNcmlNamespace;
}

void XMLCALL on_start(void* data, const char* name, const char** attrs) {
  auto& s = *static_cast<ParseState*>(data);
  XmlElement e;
  if (!local_name(name, e.name))
    return stop(s, std::string("element in a foreign namespace: ") + name);
  if (s.open.size() >= kMaxNcmlDepth)
    return stop(s,
                "elements nested deeper than " + std::to_string(kMaxNcmlDepth));
  for (size_t i = 0; attrs[i] != nullptr; i += 2) {
    std::string key;
    if (!local_name(attrs[i], key)) continue;  // foreign attributes: xsi:...
    e.attributes.emplace_back(key, attrs[i + 1]);
  }
  e.line = XML_GetCurrentLineNumber(s.parser);
  e.column = XML_GetCurrentColumnNumber(s.parser) + 1;
  if (s.open.empty()) {
    s.root = std::move(e);
    s.open.push_back(&s.root);
    return;
  }
  XmlElement& parent = *s.open.back();
  parent.children.push_back(std::move(e));
  s.open.push_back(&parent.children.back());
}

// After a refusal expat may still report the ends of open elements, the
// refused one among them, which was never pushed.
void XMLCALL on_end(void* data, const char*) {
  auto& s = *static_cast<ParseState*>(data);
  if (s.failure.empty() && !s.open.empty()) s.open.pop_back();
}

void XMLCALL on_text(void* data, const char* text, int length) {
  auto& s = *static_cast<ParseState*>(data);
  if (!s.open.empty())
    s.open.back()->text.append(text, static_cast<size_t>(length));
}

void XMLCALL on_doctype(void* data, const char*, const char*, const char*,
                        int) {
  stop(*static_cast<ParseState*>(data), "a document type is not accepted");
}

std::string where(const std::string& name, XML_Parser p) {
  return "\"" + name + "\" line " +
         std::to_string(XML_GetCurrentLineNumber(p)) + ", column " +
         std::to_string(XML_GetCurrentColumnNumber(p) + 1) + ": ";
}

}  // namespace

XmlElement read_xml(std::string_view text, const std::string& name) {
  if (text.size() > kMaxNcmlBytes)
    throw Error(internal_error, "\"" + name + "\" is larger than " +
                                    std::to_string(kMaxNcmlBytes) + " bytes");
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(
      XML_ParserCreateNS(nullptr, kSeparator), XML_ParserFree);
  if (!parser) throw Error(internal_error, "Out of memory");
  ParseState s;
  s.parser = parser.get();
  XML_SetUserData(s.parser, &s);
  XML_SetElementHandler(s.parser, on_start, on_end);
  XML_SetCharacterDataHandler(s.parser, on_text);
  XML_SetStartDoctypeDeclHandler(s.parser, on_doctype);
  XML_SetParamEntityParsing(s.parser, XML_PARAM_ENTITY_PARSING_NEVER);
  const XML_Status status =
      XML_Parse(s.parser, text.data(), static_cast<int>(text.size()), XML_TRUE);
  if (!s.failure.empty())
    throw Error(internal_error, where(name, s.parser) + s.failure);
  if (status != XML_STATUS_OK)
    throw Error(
        internal_error,
        where(name, s.parser) + XML_ErrorString(XML_GetErrorCode(s.parser)));
  return std::move(s.root);
}

XmlElement read_xml_file(const std::string& path, const std::string& name) {
  const std::string context = "Cannot read \"" + name + "\": ";
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0)
    throw Error(internal_error, context + std::strerror(errno));
  if (!S_ISREG(st.st_mode))
    throw Error(internal_error, context + "not a regular file");
  if (static_cast<uint64_t>(st.st_size) > kMaxNcmlBytes)
    throw Error(internal_error, context + "larger than " +
                                    std::to_string(kMaxNcmlBytes) + " bytes");
  std::string text;
  if (!read_whole(fd.get(), static_cast<size_t>(st.st_size), text))
    throw Error(internal_error, context + "the file shrank");
  return read_xml(text, name);
}

}  // namespace libqvp
