// The diagnostic plots: the quantiles they use, the declared plots built from constructed
// results (so every coordinate is known), the SVG marks at their pixel positions, the HTML
// report, and one MCD call of the real module whose cutoff line must sit at the chi-square
// quantile.
#include "plots/plots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

#include "plots/quantiles.h"
#include "plots/report.h"
#include "plots/svg.h"

namespace {

using robmat::host::CallResult;
using robmat::host::Matrix;
using robmat::host::missing;
using robmat::host::Session;
using robmat::host::Value;
namespace plots = robmat::host::plots;

Matrix rows(int64_t r, int64_t c, std::vector<double> v) {
  Matrix m(r, c);
  m.data = std::move(v);
  return m;
}

const plots::Figure* find(const plots::Plots& p, std::string_view id) {
  for (const auto& f : p.figures)
    if (f.id == id) return &f;
  return nullptr;
}

int count(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<int>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

// The y coordinates of the horizontal cutoff lines of an SVG picture.
std::vector<double> horizontal_cutoffs(const std::string& svg) {
  std::vector<double> ys;
  const std::regex re(
      "<line class=\"cutoff\" x1=\"[-0-9.]+\" y1=\"([-0-9.]+)\" x2=\"[-0-9.]+\" y2=\"([-0-9.]+)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), re); it != std::sregex_iterator(); ++it)
    if ((*it)[1] == (*it)[2]) ys.push_back(std::stod((*it)[1]));
  return ys;
}

TEST(Quantiles, AgreeWithClosedFormsAndPublishedValues) {
  struct Case {
    const char* name;
    double got, want, tol;
  } cases[] = {
      // Published: the two-sided 5 % point of the normal, and the 97.5 % point of chi-square
      // with 3 df (9.3484, four decimals in the usual tables).
      {"normal 0.975", plots::normal_quantile(0.975), 1.959963984540054, 1e-15},
      {"chi-square 0.975, 3 df", plots::chi_square_quantile(0.975, 3), 9.3484, 5e-5},
      // Closed forms: chi-square with 2 df is exponential with mean 2; with 1 df the square of
      // a normal.
      {"chi-square 0.975, 2 df", plots::chi_square_quantile(0.975, 2), -2 * std::log(0.025), 1e-14},
      {"chi-square 0.01, 2 df", plots::chi_square_quantile(0.01, 2), -2 * std::log(0.99), 1e-14},
      {"chi-square 0.9, 1 df",
       plots::chi_square_quantile(0.9, 1),
       std::pow(plots::normal_quantile(0.95), 2),
       1e-14},
      {"chi-square 0.3, 1 df",
       plots::chi_square_quantile(0.3, 1),
       std::pow(plots::normal_quantile(0.65), 2),
       1e-14},
      {"normal symmetry", plots::normal_quantile(1e-10), -plots::normal_quantile(1 - 1e-10), 1e-6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(c.got, c.want, c.tol * std::fabs(c.want));
  }
}

TEST(Quantiles, InvertTheirDistributionFunctions) {
  // 1e-13: the incomplete gamma sums lose a few digits; the worst seen here is 3e-15.
  for (double df : {1.0, 2.0, 3.0, 7.0, 30.0, 200.0}) {
    for (double p : {1e-6, 0.01, 0.3, 0.5, 0.9, 0.975, 0.999999}) {
      SCOPED_TRACE(std::to_string(df) + " df, p = " + std::to_string(p));
      EXPECT_NEAR(plots::chi_square_cdf(plots::chi_square_quantile(p, df), df), p, 1e-13);
    }
  }
  for (double p : {1e-300, 1e-20, 0.02425, 0.3, 0.5, 0.97575, 1 - 1e-12}) {
    SCOPED_TRACE(p);
    const double x = plots::normal_quantile(p);
    // In the tail a relative error e of x moves p by about x^2 e relative: 1e-15 x^2 allows
    // for it (worst seen 3.3e-14 relative at p = 1e-20, where x^2 is 86).
    EXPECT_NEAR(std::erfc(-x / std::sqrt(2.0)) / 2, p, 1e-15 * std::max(1.0, x * x) * p);
  }
}

// An MCD-like call on six observations of two variables: cutoff 2, identity robust scatter.
plots::CallRecord location_scatter_call() {
  plots::CallRecord c;
  c.routine = "mcd";
  Matrix x = rows(6, 2, {0, 0, 1, 0, 0, 1, 3, 3, -1, 0, 0, -1});
  x.colnames = {"height", "weight"};
  c.args = {Value(Matrix(1, 1, 0.0)), Value(x)};
  c.results = {rows(7, 1, {4, 500, 500, 2, 0.1, 1.0, 2.0}),
               rows(4, 2, {0, 0, 1, 1, 1, 0, 0, 1}),
               // Rows: classical distances, robust distances, weights.
               rows(3, 6, {1.0, 1.2, 2.5, 1.1, 0.9, 1.4, 0.0, 1.0, 3.0, 1.0, 2.5, 1.0, 1, 1, 0, 1, 0, 1})};
  c.row_names = {"a", "b", "c<", "d", "e&", "f"};
  return c;
}

TEST(Plots, LocationScatterFromItsResults) {
  const plots::Plots p = plots::build_plots(location_scatter_call(), {});
  ASSERT_EQ(p.figures.size(), 4u) << (p.notes.empty() ? "" : p.notes[0]);
  EXPECT_TRUE(p.notes.empty());

  const plots::Figure* dd = find(p, "dd");
  ASSERT_NE(dd, nullptr);
  EXPECT_EQ(dd->points.x, (std::vector<double>{1.0, 1.2, 2.5, 1.1, 0.9, 1.4}));
  EXPECT_EQ(dd->points.flagged, (std::vector<bool>{false, false, true, false, true, false}));
  EXPECT_EQ(dd->points.labels, (std::vector<std::string>{"", "", "c<", "", "e&", ""}));
  ASSERT_EQ(dd->lines.size(), 3u);  // both cutoffs and y = x
  EXPECT_EQ(dd->lines[0].kind, plots::Line::Kind::kVertical);
  EXPECT_EQ(dd->lines[0].at, 2.0);
  EXPECT_EQ(dd->lines[1].at, 2.0);
  EXPECT_LE(dd->y_min, 0.0);
  EXPECT_GE(dd->y_max, 3.0);

  const plots::Figure* qq = find(p, "qq");
  ASSERT_NE(qq, nullptr);
  // Ordered robust distances against roots of chi-square(2) quantiles at Blom's positions.
  EXPECT_EQ(qq->points.y, (std::vector<double>{0.0, 1.0, 1.0, 1.0, 2.5, 3.0}));
  EXPECT_EQ(qq->points.obs[5], 3);
  for (size_t i = 0; i < 6; ++i) {
    const double prob = (static_cast<double>(i) + 1 - 0.375) / 6.25;
    EXPECT_NEAR(qq->points.x[i], std::sqrt(-2 * std::log(1 - prob)), 1e-13);
  }

  const plots::Figure* el = find(p, "ellipse");
  ASSERT_NE(el, nullptr);
  EXPECT_EQ(el->x_label, "height");
  ASSERT_EQ(el->curves.size(), 2u);
  // The robust scatter is the identity at the origin: its ellipse is a circle of radius
  // sqrt(chi-square(2) 0.975 quantile).
  const double r = std::sqrt(-2 * std::log(0.025));
  for (size_t k = 0; k < el->curves[1].x.size(); ++k)
    EXPECT_NEAR(std::hypot(el->curves[1].x[k], el->curves[1].y[k]), r, 1e-12);
  EXPECT_EQ(el->points.flagged, (std::vector<bool>{false, false, false, true, false, false}));  // (3, 3)
}

TEST(Plots, EllipsesOnlyForTwoVariables) {
  plots::CallRecord c = location_scatter_call();
  c.args[1] = Value(rows(6, 1, {0, 1, 2, 3, 4, 5}));
  c.results[1] = rows(3, 1, {0, 1, 1});
  const plots::Plots p = plots::build_plots(c, {});
  EXPECT_EQ(find(p, "ellipse"), nullptr);
  EXPECT_NE(find(p, "dd"), nullptr);
  EXPECT_TRUE(p.notes.empty());
}

TEST(Plots, MissingResultsBecomeNotes) {
  plots::CallRecord c = location_scatter_call();
  for (Matrix& m : c.results) std::fill(m.data.begin(), m.data.end(), missing());
  const plots::Plots p = plots::build_plots(c, {});
  EXPECT_TRUE(p.figures.empty());
  ASSERT_EQ(p.notes.size(), 4u);
  EXPECT_EQ(p.notes[0],
            "The plot \"Distance-distance plot\" of MCD was not drawn: element 7 of result 1 is missing.");
}

TEST(Plots, RegressionFromItsResults) {
  plots::CallRecord c;
  c.routine = "LTS";
  const Matrix x = rows(5, 2, {1, 2, 2, 1, 3, 3, 4, 0, 5, 5});
  c.args = {Value(Matrix(0, 0)), Value(rows(5, 1, {1, 2, 3, 4, 5})), Value(x)};
  c.results = {
      Matrix(20, 1, 1.0),
      rows(2, 3, {0.5, -1.0, 2.0, missing(), missing(), missing()}),
      rows(
          3,
          5,
          {1, 1, 0, 1, 0, 0.1, -0.2, 3.0, 1.0, -4.0, missing(), missing(), missing(), missing(), missing()})};
  std::string called;
  const plots::RoutineCaller caller = [&](std::string_view routine, std::span<const Value* const> args) {
    called = std::string(routine);
    EXPECT_EQ(std::get<Matrix>(*args[1]).cols, 2);
    CallResult r;
    r.results = {
        Matrix(7, 1), Matrix(4, 2), rows(3, 5, {0, 0, 0, 0, 0, 1.0, 1.5, 0.5, 4.0, 2.0, 1, 1, 1, 0, 1})};
    return r;
  };
  const plots::Plots p = plots::build_plots(c, caller);
  EXPECT_EQ(called, "MCD");
  ASSERT_EQ(p.figures.size(), 4u) << (p.notes.empty() ? "" : p.notes[0]);

  const plots::Figure* map = find(p, "outlier-map");
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->points.x, (std::vector<double>{1.0, 1.5, 0.5, 4.0, 2.0}));
  EXPECT_NEAR(map->lines[0].at, std::sqrt(-2 * std::log(0.025)), 1e-13);  // two regressors
  EXPECT_EQ(map->lines[1].at, 2.5);
  EXPECT_EQ(map->lines[2].at, -2.5);
  // Observation 3 is a vertical outlier, 4 a good leverage point, 5 a bad one.
  EXPECT_EQ(map->points.flagged, (std::vector<bool>{false, false, true, true, true}));
  std::vector<std::string> regions;
  for (const auto& n : map->notes) regions.push_back(n.text);
  EXPECT_NE(std::find(regions.begin(), regions.end(), "bad leverage points"), regions.end());
  EXPECT_NE(std::find(regions.begin(), regions.end(), "vertical outliers"), regions.end());

  const plots::Figure* fitted = find(p, "fitted");
  ASSERT_NE(fitted, nullptr);
  // 0.5 x1 - x2 + 2, the intercept last.
  EXPECT_EQ(fitted->points.x, (std::vector<double>{0.5, 2.0, 0.5, 4.0, -0.5}));

  c.args[0] = Value(rows(1, 11, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3.5}));  // option 11: the cutoff
  const plots::Plots wider = plots::build_plots(c, caller);
  EXPECT_EQ(find(wider, "residuals")->lines[0].at, 3.5);
  EXPECT_EQ(std::count(find(wider, "residuals")->points.flagged.begin(),
                       find(wider, "residuals")->points.flagged.end(),
                       true),
            1);  // only -4 lies beyond 3.5

  c.args.resize(2);  // the intercept-only model has no regressors to plot against
  const plots::Plots q = plots::build_plots(c, caller);
  EXPECT_EQ(find(q, "outlier-map"), nullptr);
  ASSERT_FALSE(q.notes.empty());
  EXPECT_NE(q.notes[0].find("no regressors"), std::string::npos);
}

TEST(Plots, StripsWithBandsAroundTheMedian) {
  plots::CallRecord c;
  c.routine = "MAD";
  const Matrix x = rows(5, 2, {1, 10, 2, 20, 3, 30, 4, 40, 100, missing()});
  c.args = {Value(x), Value(std::string("Qn"))};
  c.results = {rows(1, 2, {1.0, 4.0})};
  const plots::Plots p = plots::build_plots(c, {});
  ASSERT_EQ(p.figures.size(), 1u);
  const plots::Figure& f = p.figures[0];
  EXPECT_NE(f.title.find("Qn"), std::string::npos);
  EXPECT_EQ(f.categories, (std::vector<std::string>{"VAR1", "VAR2"}));
  ASSERT_EQ(f.bands.size(), 2u);
  EXPECT_EQ(f.bands[0].centre, 3.0);  // median of 1, 2, 3, 4, 100
  EXPECT_EQ(f.bands[0].high, 5.5);
  EXPECT_EQ(f.bands[1].centre, 25.0);  // median of 10, 20, 30, 40
  EXPECT_EQ(f.bands[1].low, 15.0);
  EXPECT_EQ(f.points.x.size(), 9u);  // the missing value has no mark
  EXPECT_EQ(std::count(f.points.flagged.begin(), f.points.flagged.end(), true), 3);  // 100, 10, 40
}

TEST(Svg, MarksSitAtTheirCoordinates) {
  plots::Figure f;
  f.id = "t";
  f.title = "A <title> & more";
  f.x_min = 0;
  f.x_max = 4;
  f.y_min = 0;
  f.y_max = 10;
  f.points = {{1, 2, 3}, {1, 5, 9}, {1, 2, 3}, {false, false, true}, {"", "", "3"}};
  f.lines = {{plots::Line::Kind::kHorizontal, 2.5, plots::Line::Role::kCutoff, "cutoff"}};
  const std::string svg = plots::to_svg(f, "p1");
  EXPECT_EQ(count(svg, "<circle class=\"point"), 3);
  EXPECT_EQ(count(svg, "<circle class=\"point flagged\""), 1);
  EXPECT_NE(svg.find("A &lt;title&gt; &amp; more"), std::string::npos);
  const auto& g = plots::kSvgGeometry;
  const std::vector<double> cut = horizontal_cutoffs(svg);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_NEAR(cut[0], g.top + 0.75 * g.plot_height(), 0.005);
  // The point (2, 5): half way across and half way up the plot area.
  EXPECT_NE(svg.find("cx=\"" + std::to_string(static_cast<int>(g.left + g.plot_width() / 2)) + "\" cy=\"" +
                     std::to_string(static_cast<int>(g.top + g.plot_height() / 2)) + "\""),
            std::string::npos)
      << svg;
}

TEST(Report, OneSelfContainedPageWithContents) {
  plots::HtmlReport report("Report <1>");
  report.add_text("x = 5\n");
  plots::ReportCall call;
  call.record = location_scatter_call();
  call.where = "s.rm, line 2";
  call.statement = "[a, b, c] = MCD([0], x);";
  call.result_names = {"a", "b", "c"};
  call.log = {{robmat::host::LogEntry::Severity::kNote, "a note"}};
  report.add_call(call);
  report.add_text("an error", plots::HtmlReport::TextKind::kError);
  std::ostringstream out;
  report.write(out, {});
  const std::string page = out.str();
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(count(page, "<svg "), 4);
  for (const char* id : {"dd", "distances", "qq", "ellipse"}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(count(page, std::string("href=\"#call-1-") + id + "\""), 1);
    EXPECT_EQ(count(page, std::string("<figure id=\"call-1-") + id + "\""), 1);
  }
  EXPECT_NE(page.find("Report &lt;1&gt;"), std::string::npos);
  EXPECT_NE(page.find("a (result 1), 7 x 1"), std::string::npos);
  EXPECT_NE(page.find("<p class=\"error\">an error</p>"), std::string::npos);
  // Nothing is fetched: no scripts, no links or sources outside the page.
  EXPECT_EQ(count(page, "<script|src=|<link|href=\"http|url\\(http"), 0);
}

TEST(PlotsCall, CutoffOfAConstructedDataSet) {
  // Forty points on a 2-d lattice and four far away: MCD's cutoff is the root of the 0.975
  // chi-square quantile with 2 df, and the four are beyond it.
  Matrix x(44, 2);
  for (int64_t i = 0; i < 40; ++i) {
    x.at(i, 0) = static_cast<double>(i % 8) + 0.1 * static_cast<double>(i / 8);
    x.at(i, 1) = static_cast<double>(i / 8) + 0.05 * static_cast<double>(i % 8);
  }
  for (int64_t i = 40; i < 44; ++i) {
    x.at(i, 0) = 30.0 + static_cast<double>(i);
    x.at(i, 1) = -20.0;
  }
  Session s(ROBMAT_MODULE_PATH);
  const Value opt = Matrix(1, 1, 0.0), data = x;
  const Value* args[] = {&opt, &data};
  plots::CallRecord c{"MCD", {opt, data}, s.call_quietly("MCD", args).results, {}};
  const plots::Plots p = plots::build_plots(
      c, [&](std::string_view r, std::span<const Value* const> a) { return s.call_quietly(r, a); });
  const plots::Figure* dd = find(p, "dd");
  ASSERT_NE(dd, nullptr);
  EXPECT_EQ(dd->points.x.size(), 44u);
  const double cutoff = std::sqrt(-2 * std::log(0.025));
  const std::string svg = plots::to_svg(*dd, "dd");
  EXPECT_EQ(count(svg, "<circle class=\"point"), 44);
  const std::vector<double> cut = horizontal_cutoffs(svg);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_NEAR(cut[0], plots::svg_y(*dd, cutoff), 0.005);
  for (size_t i = 40; i < 44; ++i) EXPECT_TRUE(dd->points.flagged[i]) << i;
  EXPECT_NE(find(p, "ellipse"), nullptr);
}

}  // namespace
