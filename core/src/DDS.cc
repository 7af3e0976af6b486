// The DDS: its variables, path lookup, the text and XML printers, the
// all-or-nothing parse and the transfer of a DAS onto the variables.
#include <libqvp/Constructor.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Sequence.h>
#include <libqvp/escaping.h>
#include <libqvp/write_all.h>

#include <map>
#include <sstream>
#include <unordered_map>

#include "DDSParser.h"
#include "TextLexer.h"
#include "VarTree.h"

namespace libqvp {
namespace {

const char* const kNamespace = "http://xml.libqvp.org/ns/qvp/3.2#";

// Tags the Sequences in `v`; true when `v` is, or holds selected, Sequences.
bool tag_sequences(BaseType* v) {
  const auto* c = dynamic_cast<const Constructor*>(v);
  if (!c) return false;
  bool nested = false;
  for (auto it = c->var_begin(); it != c->var_end(); ++it)
    if (tag_sequences(*it) && (*it)->send_p()) nested = true;
  if (auto* s = dynamic_cast<Sequence*>(v)) s->set_leaf(!nested);
  return v->type() == Type::Sequence || nested;
}

}  // namespace

DDS::DDS(std::string name) : d_name(std::move(name)) {}

DDS::~DDS() = default;

void DDS::add_var(std::unique_ptr<BaseType> v) {
  vartree::adopt(d_vars, std::move(v), nullptr);
}

BaseType* DDS::find(const std::string& path) const {
  return vartree::find_var(var_begin(), var_end(), vartree::split_path(path));
}

BaseType* DDS::var(const std::string& path) const { return find(www2id(path)); }

void DDS::mark_all(bool state) {
  for (auto& v : d_vars) v->set_send_p(state);
}

void DDS::tag_nested_sequences() {
  for (auto& v : d_vars) tag_sequences(v.get());
}

void DDS::print_vars(std::ostream& out, bool constrained) const {
  out << "Dataset {\n";
  for (const auto& v : d_vars)
    if (!constrained || v->send_p())
      v->print_decl(out, "    ", true, false, constrained);
  out << "} " << id2www(d_name) << ";\n";
}

void DDS::print(std::ostream& out) const { print_vars(out, false); }

void DDS::print_constrained(std::ostream& out) const { print_vars(out, true); }

void DDS::print(FILE* out) const {
  std::ostringstream text;
  print(text);
  write_all(out, text.str());
}

void DDS::print_constrained(FILE* out) const {
  std::ostringstream text;
  print_constrained(text);
  write_all(out, text.str());
}

void DDS::print_xml(std::ostream& out, bool constrained,
                    const std::string& blob_url) const {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<Dataset name=\"" << AttrTable::xml_escape(d_name) << "\" xmlns=\""
      << kNamespace << "\">\n";
  d_attr.print_xml(out, "    ");
  for (const auto& v : d_vars)
    if (!constrained || v->send_p()) v->print_xml(out, "    ", constrained);
  out << "    <dataBLOB href=\"" << AttrTable::xml_escape(blob_url)
      << "\"/>\n</Dataset>\n";
}

void DDS::print_xml(FILE* out, bool constrained,
                    const std::string& blob_url) const {
  std::ostringstream text;
  print_xml(text, constrained, blob_url);
  write_all(out, text.str());
}

void DDS::parse(const std::string& text) {
  DDSParser::Result r = DDSParser(text).parse();
  if (!r.name.empty()) d_name = r.name;
  // add_var's linear search would make a large text quadratic.
  std::unordered_map<std::string, size_t> index;
  for (size_t i = 0; i < d_vars.size(); ++i)
    index.emplace(d_vars[i]->name(), i);
  for (auto& v : r.vars) {
    const auto it = index.find(v->name());
    if (it != index.end()) {
      d_vars[it->second] = std::move(v);
    } else {
      index.emplace(v->name(), d_vars.size());
      d_vars.push_back(std::move(v));
    }
  }
}

void DDS::parse(FILE* in) { parse(TextLexer::read_all(in)); }

void DDS::parse(std::istream& in) { parse(TextLexer::read_all(in)); }

void DDS::transfer_attributes(const DAS& das) {
  // Merge into copies first, so that a type clash changes nothing.
  std::map<AttrTable*, AttrTable> staged;
  auto stage = [&staged](AttrTable& t) -> AttrTable& {
    auto it = staged.find(&t);
    if (it == staged.end()) it = staged.emplace(&t, t).first;
    return it->second;
  };
  for (const AttrTable::Entry& e : das.get_top_level().entries()) {
    if (!e.is_container()) {
      AttrTable& global = stage(d_attr);
      for (const std::string& value : e.values)
        global.append_attr(e.name, e.type, value);
    } else if (BaseType* v = find(e.name)) {
      stage(v->get_attr_table()).merge(*e.table);
    } else {
      stage(d_attr).append_container(e.name)->merge(*e.table);
    }
  }
  for (auto& [target, table] : staged) *target = std::move(table);
}

}  // namespace libqvp
