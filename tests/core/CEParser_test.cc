// The constraint expression grammar on its own: what parses, into what tree,
// and how malformed text is reported.
#include "../../core/src/CEParser.h"

#include "CoreTest.h"

namespace libqvp::test {

std::string dump(const CEPath& p) {
  std::string s;
  for (size_t i = 0; i < p.names.size(); ++i) s += (i ? "." : "") + p.names[i];
  for (const CEHyperslab& h : p.slabs)
    s += "[" + std::to_string(h.start) + ":" + std::to_string(h.stride) + ":" +
         std::to_string(h.stop) + "]";
  return s;
}

std::string dump(const CEValue& v) {
  if (v.kind == CEValue::Kind::path) return dump(v.path);
  if (v.kind == CEValue::Kind::string) return "\"" + v.str + "\"";
  return "#" + v.str;
}

std::string dump(const CEOperand& o) {
  std::string s;
  for (size_t i = 0; i < o.values.size(); ++i)
    s += (i ? "," : "") + dump(o.values[i]);
  return o.is_list ? "{" + s + "}" : s;
}

// A canonical form of the tree: items by ",", each clause after "&",
// numbers marked "#", hyperslabs in full.
std::string dump(const CEExpr& e) {
  std::string s;
  for (size_t i = 0; i < e.items.size(); ++i) {
    const CEItem& it = e.items[i];
    s += i ? "," : "";
    if (!it.is_call) {
      s += dump(it.path);
      continue;
    }
    s += it.call.name + "(";
    for (size_t a = 0; a < it.call.args.size(); ++a)
      s += (a ? "," : "") + dump(it.call.args[a]);
    s += ")";
  }
  for (const CEClauseAst& c : e.clauses)
    s += "&" + dump(c.lhs) + " " + c.op + " " + dump(c.rhs);
  return s;
}

TEST(CEParserTest, ParsesAcceptedExpressions) {
  for (const auto& c : data_cases("ce_syntax.txt"))
    EXPECT_EQ(dump(CEParser(c.at(0)).parse()), c.at(1)) << c.at(0);
}

TEST(CEParserTest, RejectsMalformedExpressions) {
  for (const auto& c : data_cases("ce_syntax_errors.txt")) {
    SCOPED_TRACE(c.at(0));
    expect_error([&] { CEParser(c.at(0)).parse(); }, error_code(c.at(1)),
                 c.at(2));
  }
}

TEST(CEParserTest, BoundsWhatAnExpressionMayCost) {
  std::string deep = "a";
  for (size_t i = 0; i < kMaxPathNames; ++i) deep += ".a";
  std::string slabs = "a";
  for (size_t i = 0; i <= kMaxHyperslabs; ++i) slabs += "[0]";
  std::string list = "&a={1";
  for (size_t i = 0; i < kMaxListValues; ++i) list += ",1";
  list += "}";
  const std::string huge(kMaxExprBytes + 1, 'a');
  for (const std::string& input : {deep, slabs, list, huge})
    EXPECT_THROW(CEParser(input).parse(), Error) << input.substr(0, 40);
}

}  // namespace libqvp::test
