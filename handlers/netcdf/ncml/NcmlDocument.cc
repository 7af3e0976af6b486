// Each element kind has a reader that accepts its own attributes and
// children and refuses everything else, so that no part of a document is
// silently ignored.
#include "NcmlDocument.h"

#include <libqvp/Error.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <string_view>

namespace libqvp {

std::string NcmlDocument::where(const NcmlPlace& p) const {
  return "\"" + name + "\" line " + std::to_string(p.line) + ", column " +
         std::to_string(p.column) + ": ";
}

namespace {

class Interpreter {
 public:
  explicit Interpreter(NcmlDocument& doc) : d_doc(doc) {}

  void root(const XmlElement& e);

 private:
  [[noreturn]] void fail(const XmlElement& e, const std::string& what) const {
    throw Error(internal_error, d_doc.where(place(e)) + what);
  }
  static NcmlPlace place(const XmlElement& e) { return {e.line, e.column}; }

  // Refuses attributes of `e` outside `allowed`.
  void only(const XmlElement& e,
            std::initializer_list<std::string_view> allowed) const;
  std::string required(const XmlElement& e, const std::string& key) const;
  std::string optional(const XmlElement& e, const std::string& key) const {
    const std::string* v = e.attribute(key);
    return v != nullptr ? *v : std::string();
  }
  size_t count(const XmlElement& e, const std::string& key) const;
  double number(const XmlElement& e, const std::string& key) const;
  bool flag(const XmlElement& e, const std::string& key, bool fallback) const;
  [[noreturn]] void unsupported(const XmlElement& e) const {
    fail(e, "the element <" + e.name + "> is not supported here");
  }

  NcmlAttribute attribute(const XmlElement& e) const;
  NcmlRemove remove(const XmlElement& e) const;
  NcmlVariable variable(const XmlElement& e) const;
  NcmlValues values(const XmlElement& e) const;
  NcmlDimension dimension(const XmlElement& e) const;
  NcmlAggregation aggregation(const XmlElement& e) const;
  NcmlMember member(const XmlElement& e) const;
  NcmlScan scan(const XmlElement& e) const;
  double duration(const XmlElement& e, const std::string& text) const;

  NcmlDocument& d_doc;
};

void Interpreter::only(const XmlElement& e,
                       std::initializer_list<std::string_view> allowed) const {
  for (const auto& [key, value] : e.attributes) {
    bool known = false;
    for (std::string_view a : allowed) known = known || key == a;
    if (!known)
      fail(e, "the attribute " + key + " of <" + e.name + "> is not supported");
  }
}

std::string Interpreter::required(const XmlElement& e,
                                  const std::string& key) const {
  const std::string* v = e.attribute(key);
  if (v == nullptr || v->empty())
    fail(e, "<" + e.name + "> needs the attribute " + key);
  return *v;
}

size_t Interpreter::count(const XmlElement& e, const std::string& key) const {
  const std::string text = required(e, key);
  char* end = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || text[0] == '-')
    fail(e, key + "=\"" + text + "\" is not a count");
  return static_cast<size_t>(n);
}

double Interpreter::number(const XmlElement& e, const std::string& key) const {
  const std::string text = required(e, key);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0')
    fail(e, key + "=\"" + text + "\" is not a number");
  return v;
}

bool Interpreter::flag(const XmlElement& e, const std::string& key,
                       bool fallback) const {
  const std::string* v = e.attribute(key);
  if (v == nullptr) return fallback;
  if (*v == "true") return true;
  if (*v == "false") return false;
  fail(e, key + "=\"" + *v + "\" is neither true nor false");
}

// "5 min", "30 sec", "1 hour", "2 days" in seconds.
double Interpreter::duration(const XmlElement& e,
                             const std::string& text) const {
  char* end = nullptr;
  const double n = std::strtod(text.c_str(), &end);
  std::string unit(end != nullptr ? end : "");
  unit.erase(0, unit.find_first_not_of(' '));
  struct Unit {
    const char* name;
    double seconds;
  };
  static constexpr Unit kUnits[] = {
      {"msec", 0.001}, {"sec", 1},     {"secs", 1},     {"second", 1},
      {"seconds", 1},  {"min", 60},    {"mins", 60},    {"minute", 60},
      {"minutes", 60}, {"hour", 3600}, {"hours", 3600}, {"day", 86400},
      {"days", 86400}, {"", 1},
  };
  if (end != text.c_str() && n >= 0)
    for (const Unit& u : kUnits)
      if (unit == u.name) return n * u.seconds;
  fail(e, "olderThan=\"" + text + "\" is not a duration such as \"5 min\"");
}

NcmlAttribute Interpreter::attribute(const XmlElement& e) const {
  only(e, {"name", "type", "value", "orgName", "separator"});
  if (!e.children.empty()) unsupported(e.children.front());
  NcmlAttribute a;
  a.name = required(e, "name");
  if (const std::string* t = e.attribute("type")) a.type = *t;
  static constexpr std::string_view kTypes[] = {
      "String", "string", "byte",   "short", "int",   "long", "float",
      "double", "ubyte",  "ushort", "uint",  "ulong", "char"};
  bool known = false;
  for (std::string_view t : kTypes) known = known || a.type == t;
  if (!known) fail(e, "type=\"" + a.type + "\" is not an attribute type");
  if (const std::string* v = e.attribute("value"))
    a.value = *v;
  else if (e.text.find_first_not_of(" \t\r\n") != std::string::npos)
    a.value = e.text;
  a.org_name = optional(e, "orgName");
  a.separator = optional(e, "separator");
  a.place = place(e);
  if (!a.value && a.org_name.empty())
    fail(e, "<attribute name=\"" + a.name + "\"> needs a value or an orgName");
  return a;
}

NcmlRemove Interpreter::remove(const XmlElement& e) const {
  only(e, {"name", "type"});
  NcmlRemove r{required(e, "name"), required(e, "type"), place(e)};
  if (r.type != "attribute" && r.type != "variable" && r.type != "dimension")
    fail(e, "type=\"" + r.type + "\" cannot be removed");
  return r;
}

NcmlValues Interpreter::values(const XmlElement& e) const {
  only(e, {"start", "increment", "npts", "separator"});
  NcmlValues v;
  v.present = true;
  v.place = place(e);
  v.separator = optional(e, "separator");
  if (e.attribute("npts")) v.npts = count(e, "npts");
  if (e.attribute("start") || e.attribute("increment")) {
    v.regular = true;
    v.start = number(e, "start");
    v.increment = number(e, "increment");
  } else {
    v.text = e.text;
  }
  return v;
}

NcmlVariable Interpreter::variable(const XmlElement& e) const {
  only(e, {"name", "orgName", "type", "shape"});
  NcmlVariable v;
  v.name = required(e, "name");
  v.org_name = optional(e, "orgName");
  v.type = optional(e, "type");
  if (const std::string* s = e.attribute("shape")) v.shape = *s;
  v.place = place(e);
  for (const XmlElement& c : e.children) {
    if (c.name == "attribute")
      v.attributes.push_back(attribute(c));
    else if (c.name == "remove")
      v.removes.push_back(remove(c));
    else if (c.name == "values" && !v.values.present)
      v.values = values(c);
    else
      unsupported(c);
  }
  for (const NcmlRemove& r : v.removes)
    if (r.type != "attribute")
      fail(e, "inside <variable> only attributes can be removed");
  return v;
}

NcmlDimension Interpreter::dimension(const XmlElement& e) const {
  only(e, {"name", "length", "orgName", "isUnlimited"});
  if (!e.children.empty()) unsupported(e.children.front());
  NcmlDimension d;
  d.name = required(e, "name");
  d.org_name = optional(e, "orgName");
  if (e.attribute("length")) d.length = count(e, "length");
  d.unlimited = flag(e, "isUnlimited", false);
  d.place = place(e);
  if (!d.length && d.org_name.empty())
    fail(e, "<dimension name=\"" + d.name + "\"> needs a length or an orgName");
  return d;
}

NcmlMember Interpreter::member(const XmlElement& e) const {
  only(e, {"location", "ncoords", "coordValue"});
  if (!e.children.empty())
    fail(e.children.front(),
         "a member cannot be edited inside the aggregation; give it a "
         "document of its own and name that document as the member");
  NcmlMember m;
  m.location = required(e, "location");
  if (e.attribute("ncoords")) m.ncoords = count(e, "ncoords");
  m.coord_value = optional(e, "coordValue");
  m.place = place(e);
  return m;
}

NcmlScan Interpreter::scan(const XmlElement& e) const {
  only(e, {"location", "suffix", "regExp", "subdirs", "olderThan",
           "dateFormatMark"});
  if (!e.children.empty()) unsupported(e.children.front());
  NcmlScan s;
  s.location = required(e, "location");
  s.suffix = optional(e, "suffix");
  s.reg_exp = optional(e, "regExp");
  s.date_format_mark = optional(e, "dateFormatMark");
  s.subdirs = flag(e, "subdirs", true);
  if (const std::string* t = e.attribute("olderThan"))
    s.older_than_seconds = duration(e, *t);
  s.place = place(e);
  if (!s.date_format_mark.empty() &&
      s.date_format_mark.find('#') == std::string::npos)
    fail(e, "dateFormatMark=\"" + s.date_format_mark + "\" has no '#'");
  return s;
}

NcmlAggregation Interpreter::aggregation(const XmlElement& e) const {
  only(e, {"type", "dimName", "timeUnitsChange"});
  NcmlAggregation a;
  a.place = place(e);
  const std::string type = required(e, "type");
  if (type == "joinExisting")
    a.kind = NcmlAggregation::Kind::join_existing;
  else if (type == "joinNew")
    a.kind = NcmlAggregation::Kind::join_new;
  else if (type == "union")
    a.kind = NcmlAggregation::Kind::union_of;
  else
    fail(e, "aggregations of type \"" + type + "\" are not supported");
  if (a.kind != NcmlAggregation::Kind::union_of)
    a.dim_name = required(e, "dimName");
  a.time_units_change = flag(e, "timeUnitsChange", false);
  if (a.time_units_change && a.kind != NcmlAggregation::Kind::join_existing)
    fail(e, "timeUnitsChange applies to joinExisting aggregations");
  for (const XmlElement& c : e.children) {
    if (c.name == "netcdf")
      a.members.push_back(member(c));
    else if (c.name == "scan")
      a.scans.push_back(scan(c));
    else if (c.name == "variableAgg" &&
             a.kind == NcmlAggregation::Kind::join_new) {
      only(c, {"name"});
      a.variable_agg.push_back(required(c, "name"));
    } else {
      unsupported(c);
    }
  }
  if (a.kind == NcmlAggregation::Kind::join_new && a.variable_agg.empty())
    fail(e, "a joinNew aggregation needs <variableAgg> elements");
  if (a.members.empty() && a.scans.empty())
    fail(e, "the aggregation has no members");
  return a;
}

void Interpreter::root(const XmlElement& e) {
  if (e.name != "netcdf")
    fail(e, "the document's root element is <" + e.name +
                ">, where NcML has <netcdf>");
  only(e, {"location"});
  d_doc.location = optional(e, "location");
  for (const XmlElement& c : e.children) {
    if (c.name == "attribute")
      d_doc.attributes.push_back(attribute(c));
    else if (c.name == "remove")
      d_doc.removes.push_back(remove(c));
    else if (c.name == "variable")
      d_doc.variables.push_back(variable(c));
    else if (c.name == "dimension")
      d_doc.dimensions.push_back(dimension(c));
    else if (c.name == "aggregation" && !d_doc.aggregation)
      d_doc.aggregation = aggregation(c);
    else if (c.name == "readMetadata")
      only(c, {});
    else
      unsupported(c);
  }
  if (d_doc.aggregation && !d_doc.location.empty())
    fail(e, "a document with an aggregation cannot also name a location");
}

}  // namespace

NcmlDocument interpret_ncml(const XmlElement& root, const std::string& name) {
  NcmlDocument doc;
  doc.name = name;
  Interpreter(doc).root(root);
  return doc;
}

}  // namespace libqvp
