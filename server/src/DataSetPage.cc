// The data set page. Every name and value from the data set is escaped for
// HTML where it is shown and percent-encoded where it enters a URL; links
// start with "./" so that no name can be read as a URL scheme.
#include "DataSetPage.h"

#include <libqvp/Array.h>
#include <libqvp/Constructor.h>
#include <libqvp/Grid.h>
#include <libqvp/escaping.h>

#include "web_text.h"

namespace libqvp {
namespace {

// The script of the form: builds the constraint from the ticked variables
// and their ranges (a range left whole adds no hyperslab), shows it in #ce,
// and points the links at the selection. An edit of #ce itself is kept and
// only updates the links.
constexpr const char* kScript = R"(<script>
(function () {
  var form = document.getElementById("select");
  var ce = document.getElementById("ce");
  var base = form.getAttribute("data-base");
  function links() {
    var text = ce.value.trim();
    var q = text ? "?" + encodeURIComponent(text) : "";
    ["vorn", "csv", "nc", "png", "dds"].forEach(function (s) {
      document.getElementById("link-" + s).href = base + "." + s + q;
    });
  }
  function build() {
    var parts = [];
    var vars = form.querySelectorAll("fieldset.var");
    for (var i = 0; i < vars.length; i++) {
      var pick = vars[i].querySelector(":scope > legend input.pick");
      if (!pick.checked) continue;
      var slab = "", whole = true;
      var dims = vars[i].querySelectorAll(":scope > .dims > .dim");
      for (var j = 0; j < dims.length; j++) {
        var size = Number(dims[j].getAttribute("data-size"));
        var a = dims[j].querySelector(".start").value.trim();
        var b = dims[j].querySelector(".stride").value.trim();
        var c = dims[j].querySelector(".stop").value.trim();
        if (a !== "0" || b !== "1" || Number(c) !== size - 1) whole = false;
        slab += "[" + a + ":" + b + ":" + c + "]";
      }
      parts.push(pick.getAttribute("data-ce") + (whole ? "" : slab));
    }
    ce.value = parts.join(",");
    links();
  }
  form.addEventListener("input", function (e) {
    if (e.target === ce) links(); else build();
  });
  form.addEventListener("change", function (e) {
    if (e.target !== ce) build();
  });
  form.addEventListener("submit", function (e) { e.preventDefault(); });
  document.getElementById("builder").hidden = false;
  build();
})();
</script>
)";

// The data set's "title" attribute, at the top of its table or in one of
// its containers (the netCDF handler's NC_GLOBAL); "" when there is none.
std::string title_of(const AttrTable& t) {
  for (const AttrTable::Entry& e : t.entries()) {
    if (e.is_container()) {
      const std::string inner = title_of(*e.table);
      if (!inner.empty()) return inner;
    } else if (e.name == "title" && !e.values.empty()) {
      return e.values.front();
    }
  }
  return "";
}

std::string joined_values(const AttrTable::Entry& e) {
  std::string out;
  for (size_t i = 0; i < e.values.size(); ++i)
    out += (i ? ", " : "") + e.values[i];
  return out;
}

// The array that gives a variable its dimensions; null for none.
const Array* shape_of(const BaseType& v) {
  if (v.type() == Type::Array) return static_cast<const Array*>(&v);
  if (v.type() == Type::Grid) return static_cast<const Grid&>(v).array();
  return nullptr;
}

std::string type_text(const BaseType& v) {
  const Array* a = shape_of(v);
  std::string t = a ? a->var()->type_name() : v.type_name();
  if (v.type() == Type::Grid) t += " (Grid)";
  return t;
}

std::string dims_text(const Array* a) {
  std::string out;
  if (a == nullptr) return out;
  for (const Array::Dimension& d : a->dims())
    out += "[" + (d.name.empty() ? "" : d.name + " = ") +
           std::to_string(d.size) + "]";
  return out;
}

// The constraint of a preview of `a` (named `name` in constraints): its
// first 2-D slice, whole along the last two dimensions (index 0 along the
// others); "" when `a` has fewer than two dimensions, no values, or values
// that are not numbers.
std::string preview_constraint(const Array* a, const std::string& name) {
  if (a == nullptr || a->dimensions() < 2) return "";
  if (!is_numeric_type(a->element_type())) return "";
  std::string ce = name;
  const size_t rank = a->dimensions();
  for (size_t d = 0; d < rank; ++d) {
    const int size = a->dims()[d].size;
    if (size <= 0) return "";
    if (rank > 2)
      ce += d + 2 < rank ? "[0]" : "[0:" + std::to_string(size - 1) + "]";
  }
  return ce;
}

void write_dimension_inputs(std::ostream& out, const Array& a) {
  out << "<div class=\"dims\">\n";
  for (const Array::Dimension& d : a.dims()) {
    const std::string last = std::to_string(d.size > 0 ? d.size - 1 : 0);
    out << "<span class=\"dim\" data-size=\"" << d.size << "\"><code>"
        << html_escape(d.name) << "</code> "
        << "<label>start <input class=\"start\" type=\"number\" min=\"0\" "
           "max=\""
        << last << "\" value=\"0\"></label>"
        << "<label>stride <input class=\"stride\" type=\"number\" min=\"1\" "
           "value=\"1\"></label>"
        << "<label>stop <input class=\"stop\" type=\"number\" min=\"0\" max=\""
        << last << "\" value=\"" << last << "\"></label></span><br>\n";
  }
  out << "</div>\n";
}

}  // namespace

DataSetPage::DataSetPage(const DDS& dds, std::string url_name, std::string docs)
    : d_dds(dds), d_url_name(std::move(url_name)), d_docs(std::move(docs)) {}

void DataSetPage::write_attributes(std::ostream& out,
                                   const AttrTable& t) const {
  if (t.empty()) return;
  out << "<table class=\"attrs\">\n";
  for (const AttrTable::Entry& e : t.entries()) {
    if (e.is_container()) {
      out << "<tr><th colspan=\"3\">" << html_escape(e.name)
          << "</th></tr>\n<tr><td colspan=\"3\">";
      write_attributes(out, *e.table);
      out << "</td></tr>\n";
      continue;
    }
    out << "<tr><th>" << html_escape(e.name) << "</th><td>"
        << html_escape(e.type) << "</td><td>" << html_escape(joined_values(e))
        << "</td></tr>\n";
  }
  out << "</table>\n";
}

void DataSetPage::write_variable(std::ostream& out, const BaseType& v,
                                 const std::string& path) const {
  const std::string name = path + id2www(v.name());
  const std::string ce = html_escape(name);
  const std::string query = html_escape(id2www(name));
  const std::string base = "./" + html_escape(d_url_name);
  const Array* shape = shape_of(v);
  out << "<fieldset class=\"var\">\n<legend><label><input class=\"pick\" "
         "type=\"checkbox\" data-ce=\""
      << ce << "\"> <code>" << html_escape(v.name()) << "</code></label> "
      << html_escape(type_text(v)) << ' ' << html_escape(dims_text(shape))
      << "</legend>\n";
  if (shape != nullptr && !shape->dims().empty())
    write_dimension_inputs(out, *shape);
  const std::string preview = preview_constraint(shape, name);
  if (!preview.empty())
    out << "<p><img class=\"preview\" loading=\"lazy\" alt=\"The first 2-D "
           "slice of "
        << html_escape(v.name()) << "\" src=\"" << base << ".png?"
        << html_escape(id2www(preview)) << "\"></p>\n";
  write_attributes(out, v.get_attr_table());
  if (v.type() == Type::Structure) {  // members, as a group's variables
    const auto& s = static_cast<const Constructor&>(v);
    for (auto it = s.var_begin(); it != s.var_end(); ++it)
      write_variable(out, **it, name + ".");
  }
  out << "<p class=\"links\">Whole variable: <a href=\"" << base << ".csv?"
      << query << "\">CSV</a><a href=\"" << base << ".vorn?" << query
      << "\">binary</a><a href=\"" << base << ".dds?" << query
      << "\">DDS</a></p>\n</fieldset>\n";
}

void DataSetPage::write(std::ostream& out) const {
  const std::string& name = d_dds.get_dataset_name();
  const std::string base = "./" + html_escape(d_url_name);
  out << page_start(name) << "<p><a href=\"./\">Catalogue</a></p>\n<h1>"
      << html_escape(name) << "</h1>\n";
  const AttrTable& globals = d_dds.get_attr_table();
  const std::string title = title_of(globals);
  if (!title.empty())
    out << "<p class=\"title\">" << html_escape(title) << "</p>\n";
  out << "<h2>Global attributes</h2>\n";
  // A single container (the netCDF handler's NC_GLOBAL) is shown as the
  // data set's own attributes.
  const auto& entries = globals.entries();
  const bool one_container = entries.size() == 1 && entries[0].is_container();
  write_attributes(out, one_container ? *entries[0].table : globals);
  if (!d_docs.empty()) out << "<div class=\"docs\">\n" << d_docs << "</div>\n";
  out << "<h2>Variables</h2>\n<form id=\"select\" data-base=\"" << base
      << "\">\n";
  for (auto it = d_dds.var_begin(); it != d_dds.var_end(); ++it)
    write_variable(out, **it, "");
  out << "<div id=\"builder\" hidden>\n<p><label for=\"ce\">Constraint "
         "expression (tick variables and set ranges, or edit it):</label><br>"
         "<input id=\"ce\" type=\"text\" spellcheck=\"false\"></p>\n</div>\n"
      << "<p class=\"links\">Selection: <a id=\"link-vorn\" href=\"" << base
      << ".vorn\">binary data</a><a id=\"link-csv\" href=\"" << base
      << ".csv\">CSV</a><a id=\"link-nc\" href=\"" << base
      << ".nc\">netCDF file</a><a id=\"link-png\" href=\"" << base
      << ".png\">image</a><a id=\"link-dds\" href=\"" << base
      << ".dds\">DDS</a><a id=\"link-das\" href=\"" << base
      << ".das\">DAS</a></p>\n</form>\n"
      << kScript << page_end();
}

}  // namespace libqvp
