// The browser's views through their public face: the view arguments, the CSV
// table (bytes, quoting, fill values, coordinates, selections read in several
// boxes, refusals), conditional answers, the page's escaping and the
// catalogue's choice of entries.
#include <libqvp/BrowserView.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Grid.h>
#include <libqvp/Int16.h>
#include <libqvp/Structure.h>
#include <libqvp/visit_scalar.h>

#include <cmath>
#include <regex>

#include "ServerTest.h"

namespace libqvp {
namespace {

constexpr int kRows = 3;
constexpr int kCols = 7000;  // 3 x 7000 values take two boxes of the table

std::unique_ptr<Array> array_of(const std::string& name,
                                std::unique_ptr<BaseType> element,
                                const std::string& dim, int size) {
  auto a = std::make_unique<Array>(name, std::move(element));
  a->append_dim(size, dim);
  return a;
}

// An array of `Element` along `dim`, holding `values`.
template <class Element, class T>
std::unique_ptr<Array> filled(const std::string& name, const std::string& dim,
                              std::vector<T> values) {
  auto a = array_of(name, std::make_unique<Element>(name), dim, values.size());
  a->set_values(std::move(values));
  return a;
}

// g: a Float32 grid [y=3][x=7000] with maps y (Float64, y * 10.5) and x
// (Int32, x * 2), valued y * 7000 + x; s: strings along y (no coordinate);
// t: Int16 with a fill value; n: Float32 with a NaN fill; pi and f: scalars;
// grp: a structure (a group) with its own coordinate variable.
void build(DDS& dds) {
  auto g = std::make_unique<Grid>("g");
  auto values = std::make_unique<Array>("g", std::make_unique<Float32>("g"));
  values->append_dim(kRows, "y");
  values->append_dim(kCols, "x");
  std::vector<float> v(kRows * kCols);
  std::vector<int32_t> xs(kCols);
  for (int i = 0; i < kRows * kCols; ++i) v[i] = static_cast<float>(i);
  for (int i = 0; i < kCols; ++i) xs[i] = 2 * i;
  values->set_values(v);
  g->set_array(std::move(values));
  g->add_map(filled<Float64>("y", "y", std::vector<double>{0, 10.5, 21}));
  g->add_map(filled<Int32>("x", "x", xs));
  dds.add_var(std::move(g));
  dds.add_var(filled<Str>(
      "s", "y", std::vector<std::string>{"a,b", "q\"", "line\nbreak \xff"}));
  auto t = filled<Int16>("t", "k", std::vector<int16_t>{1, -1, 3, -1});
  t->get_attr_table().append_attr("_FillValue", "Int16", "-1");
  dds.add_var(std::move(t));
  auto n =
      filled<Float32>("n", "k", std::vector<float>{NAN, 0.1f, 1e-30f, 3e38f});
  n->get_attr_table().append_attr("missing_value", "Float32", "NaN");
  dds.add_var(std::move(n));
  auto pi = std::make_unique<Float64>("pi");
  pi->set_value(3.141592653589793);
  dds.add_var(std::move(pi));
  auto f = std::make_unique<Float32>("f");
  f->set_value(0.1f);
  dds.add_var(std::move(f));
  auto grp = std::make_unique<Structure>("grp");
  grp->add_var(filled<Float32>("lat", "lat", std::vector<float>{-1.5f, 2.5f}));
  grp->add_var(filled<Int32>("v", "lat", std::vector<int32_t>{7, 8}));
  dds.add_var(std::move(grp));
}

// The whole response to a CSV request for `ce`.
std::string csv_response(const std::string& ce) {
  Argv argv({"handler", "--view=csv", "-e", ce, "/nonexistent/demo.nc"});
  BrowserView view(argv.argc(), argv.argv());
  VORNFilter f(view.filter_argc(), view.filter_argv());
  DDS dds("demo.nc");
  build(dds);
  ConstraintEvaluator eval;
  return capture_file([&](FILE* out) { view.send_csv(f, dds, eval, out); });
}

std::string body_of(const std::string& response) {
  const size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? "" : response.substr(end + 4);
}

TEST(BrowserViewTest, ViewArgumentsAreTakenFromTheFront) {
  Argv argv({"h", "--view=catalog", "--extensions=nc,nc4", "-v", "x", "/d"});
  BrowserView view(argv.argc(), argv.argv());
  EXPECT_EQ(view.kind(), BrowserView::catalog_view);
  ASSERT_EQ(view.filter_argc(), 4);
  EXPECT_STREQ(view.filter_argv()[0], "h");
  EXPECT_STREQ(view.filter_argv()[1], "-v");
  EXPECT_STREQ(view.filter_argv()[3], "/d");
  EXPECT_EQ(view.filter_argv()[4], nullptr);

  // A data set argument that looks like a view is the filter's.
  Argv plain({"h", "-o", "das", "--view=csv"});
  BrowserView none(plain.argc(), plain.argv());
  EXPECT_EQ(none.kind(), BrowserView::no_view);
  EXPECT_EQ(none.filter_argc(), 4);

  for (const auto& words :
       {std::vector<std::string>{"h", "--view=pdf", "/d"},
        std::vector<std::string>{"h", "--view=catalog", "/d"}}) {
    Argv bad(words);
    SCOPED_TRACE(words[1]);
    expect_error([&] { BrowserView v(bad.argc(), bad.argv()); }, usage_error);
  }
}

TEST(BrowserViewTest, CsvTables) {
  for (const auto& c : data_cases("csv_tables.txt")) {
    const std::string response = csv_response(c[0]);
    EXPECT_NE(response.find("Content-Type: text/csv; charset=utf-8\r\n"),
              std::string::npos)
        << c[0];
    EXPECT_EQ(body_of(response), c[1]) << c[0];
  }
}

TEST(BrowserViewTest, CsvOfASelectionReadInSeveralBoxes) {
  const std::string body = body_of(csv_response("g[0:1:2][0:3:6999]"));
  size_t pos = body.find("\r\n") + 2;
  ASSERT_EQ(body.substr(0, pos), "y,x,g\r\n");
  const double ys[] = {0, 10.5, 21};
  int rows = 0;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kCols; x += 3, ++rows) {
      char want[64];
      snprintf(want, sizeof want, "%g,%d,%d\r\n", ys[y], 2 * x, y * kCols + x);
      const size_t end = body.find("\r\n", pos) + 2;
      ASSERT_EQ(body.substr(pos, end - pos), want) << "row " << rows;
      pos = end;
    }
  }
  EXPECT_EQ(pos, body.size());
}

TEST(BrowserViewTest, CsvRefusesWhatIsNoTable) {
  for (const auto& c : data_cases("csv_refusals.txt")) {
    SCOPED_TRACE(c[0]);
    expect_throw<Error>(
        [&] { csv_response(c[0]); },
        [&](const Error& e) {
          EXPECT_EQ(e.get_error_code(), usage_error);
          EXPECT_NE(e.get_error_message().find(c[1]), std::string::npos)
              << e.get_error_message();
        });
  }
}

TEST(BrowserViewTest, PageEscapesEveryNameAndValue) {
  Argv argv({"handler", "--view=html", "-u", "http://h/qvp/a%22b.nc",
             "/nonexistent/x.nc"});
  BrowserView view(argv.argc(), argv.argv());
  VORNFilter f(view.filter_argc(), view.filter_argv());
  DDS dds("<i>x</i>.nc");
  auto v = array_of("<b>\"v\" & w", std::make_unique<Int16>("v"), "d<'>", 2);
  v->get_attr_table().append_attr("note", "String", "</td><script>");
  dds.add_var(std::move(v));
  dds.get_attr_table().append_attr("title", "String", "a & b");
  auto group = std::make_unique<Structure>("grp");
  group->add_var(array_of("a b", std::make_unique<Int16>("a b"), "d", 2));
  dds.add_var(std::move(group));
  const std::string page =
      capture_file([&](FILE* out) { view.send_page(f, dds, out); });
  for (const auto& c : data_cases("page_escapes.txt"))
    EXPECT_EQ(page.find(c[1]) != std::string::npos, c[0] == "1") << c[1];
}

// A preview for each numeric variable of two or more dimensions, of its
// first 2-D slice; none for fewer dimensions, strings or an empty dimension.
TEST(BrowserViewTest, PagePreviewsTheFirst2DSliceOfEachNumericField) {
  Argv argv({"handler", "--view=html", "-u", "http://h/qvp/d.nc", "/x/d.nc"});
  BrowserView view(argv.argc(), argv.argv());
  VORNFilter f(view.filter_argc(), view.filter_argv());
  DDS dds("d.nc");
  build(dds);  // g is a Float32 grid [3][7000]
  struct Field {
    const char* name;
    Type type;
    std::vector<int> sizes;
  };
  auto group = std::make_unique<Structure>("in grp");
  for (const Field& c : {Field{"cube", Type::Int16, {2, 3, 4}},
                         Field{"four", Type::Byte, {5, 1, 2, 6}},
                         Field{"text", Type::String, {2, 2}},
                         Field{"empty", Type::Float64, {0, 2}}}) {
    auto a = std::make_unique<Array>(
        c.name,
        visit_scalar(c.type, [&](auto tag) -> std::unique_ptr<BaseType> {
          return std::make_unique<typename decltype(tag)::variable_type>(
              c.name);
        }));
    for (int size : c.sizes) a->append_dim(size);
    dds.add_var(std::move(a));
  }
  auto inner = std::make_unique<Array>("w", std::make_unique<Int16>("w"));
  inner->append_dim(2);
  inner->append_dim(2);
  group->add_var(std::move(inner));
  dds.add_var(std::move(group));
  const std::string page =
      capture_file([&](FILE* out) { view.send_page(f, dds, out); });
  std::vector<std::string> srcs;
  const std::regex img("<img class=\"preview\"[^>]* src=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), img);
       it != std::sregex_iterator(); ++it)
    srcs.push_back((*it)[1]);
  EXPECT_EQ(srcs,
            (std::vector<std::string>{
                "./d.nc.png?g", "./d.nc.png?cube%5B0%5D%5B0%3A2%5D%5B0%3A3%5D",
                "./d.nc.png?four%5B0%5D%5B0%5D%5B0%3A1%5D%5B0%3A5%5D",
                "./d.nc.png?in%2520grp.w"}));
  for (const char* link : {"id=\"link-nc\" href=\"./d.nc.nc\"",
                           "id=\"link-png\" href=\"./d.nc.png\""})
    EXPECT_NE(page.find(link), std::string::npos) << link;
}

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = dir.mkdir("root");
    for (const char* name :
         {"b.nc", "a.nc4", "notes.txt", ".hidden.nc", "ctl\x01.nc", "sub/c.nc"})
      dir.write(std::string("root/") + name, "x");
    dir.write("outside.nc", "x");
    EXPECT_EQ(symlink((dir / "outside.nc").c_str(), (root + "/out.nc").c_str()),
              0);
    EXPECT_EQ(symlink(dir.path().c_str(), (root + "/up").c_str()), 0);
    EXPECT_EQ(symlink("b.nc", (root + "/link.nc").c_str()), 0);
    setenv("QVP_DATA_ROOT", root.c_str(), 1);
  }
  void TearDown() override { unsetenv("QVP_DATA_ROOT"); }

  std::string catalogue(const std::string& d) {
    Argv argv({"h", "--view=catalog", "--extensions=nc,nc4", d});
    BrowserView view(argv.argc(), argv.argv());
    VORNFilter f(view.filter_argc(), view.filter_argv());
    return capture_file([&](FILE* out) { view.send_catalogue(f, out); });
  }

  TempDir dir;
  std::string root;
};

TEST_F(CatalogueTest, ListsDirectoriesThenDataSetsInsideTheRoot) {
  const std::string page = catalogue(root);
  std::vector<size_t> at;
  for (const char* link :
       {"./sub/\"", "./a.nc4.html\"", "./b.nc.html\"", "./link.nc.html\""}) {
    at.push_back(page.find(link));
    EXPECT_NE(at.back(), std::string::npos) << link;
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
  for (const char* absent : {"notes.txt", ".hidden", "ctl", "out.nc", "up/",
                             "Parent directory", dir.path().c_str()})
    EXPECT_EQ(page.find(absent), std::string::npos) << absent;
  EXPECT_NE(catalogue(root + "/sub").find("<a href=\"../\">"),
            std::string::npos);
}

TEST_F(CatalogueTest, RefusesDirectoriesOutsideTheRoot) {
  for (const std::string& d : {dir.path(), root + "/up", root + "/missing"}) {
    SCOPED_TRACE(d);
    expect_throw<Error>([&] { catalogue(d); },
                        [&](const Error& e) {
                          EXPECT_EQ(e.get_error_code(), no_such_variable) << d;
                          EXPECT_EQ(e.get_error_message().find(dir.path()),
                                    std::string::npos);
                        });
  }
}

}  // namespace
}  // namespace libqvp
