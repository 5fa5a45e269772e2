// Drawing the declared plots of a call: sources evaluated against the call's arguments and
// results, then one builder per kind of picture. A source that does not fit (a missing
// result, a row of the wrong length) ends that plot with a note, never the others.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>

#include "listing.h"
#include "plots/declarations.h"
#include "plots/plots.h"
#include "plots/quantiles.h"

namespace robmat::host::plots {
namespace {

constexpr size_t kMaxLabels = 20;  // more labels than this overlap into an unreadable blot

// Why a plot cannot be drawn; the message completes "The <title> was not drawn: ".
struct Skip {
  std::string why;
};

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

bool usable(double v) { return std::isfinite(v) && !is_missing(v); }

class Evaluator {
 public:
  Evaluator(const CallRecord& call, const RoutineCaller& caller) : call_(call), caller_(caller) {}

  const Matrix& result(int k) const {
    if (k < 1 || k > static_cast<int>(call_.results.size()) ||
        call_.results[static_cast<size_t>(k - 1)].empty())
      throw Skip{"result " + std::to_string(k) + " is empty."};
    return call_.results[static_cast<size_t>(k - 1)];
  }

  const Matrix& matrix_argument(int k) const {
    if (k < 1 || k > static_cast<int>(call_.args.size()) || !call_.args[static_cast<size_t>(k - 1)])
      throw Skip{"argument " + std::to_string(k) + " was not given."};
    const auto* m = std::get_if<Matrix>(&*call_.args[static_cast<size_t>(k - 1)]);
    if (m == nullptr || m->empty()) throw Skip{"argument " + std::to_string(k) + " is not a numeric matrix."};
    return *m;
  }

  std::optional<std::string> text_argument(int k) const {
    if (k < 1 || k > static_cast<int>(call_.args.size()) || !call_.args[static_cast<size_t>(k - 1)])
      return std::nullopt;
    if (const auto* s = std::get_if<std::string>(&*call_.args[static_cast<size_t>(k - 1)])) return *s;
    return std::nullopt;
  }

  std::vector<double> vector(const Source& s) {
    switch (s.kind) {
      case Source::Kind::kResultRow: {
        const Matrix& m = result(s.result);
        if (s.row < 1 || s.row > m.rows)
          throw Skip{"result " + std::to_string(s.result) + " has no row " + std::to_string(s.row) + "."};
        return {m.data.begin() + (s.row - 1) * m.cols, m.data.begin() + s.row * m.cols};
      }
      case Source::Kind::kClassicalLocation: {
        const Matrix& x = matrix_argument(s.argument);
        std::vector<double> mean(static_cast<size_t>(x.cols), 0.0);
        for (int64_t i = 0; i < x.rows; ++i)
          for (int64_t j = 0; j < x.cols; ++j) mean[static_cast<size_t>(j)] += x.at(i, j);
        for (double& v : mean) v /= static_cast<double>(x.rows);
        return mean;
      }
      case Source::Kind::kFittedValues:
        return fitted(s);
      case Source::Kind::kRegressorDistances:
        return regressor_distances(s);
      default:
        throw Skip{"a source of the wrong kind was declared for a vector."};
    }
  }

  double scalar(const Source& s) {
    switch (s.kind) {
      case Source::Kind::kConstant:
        return s.value;
      case Source::Kind::kResultValue: {
        const Matrix& m = result(s.result);
        if (s.row < 1 || s.row > static_cast<int64_t>(m.data.size()))
          throw Skip{"result " + std::to_string(s.result) + " has no element " + std::to_string(s.row) + "."};
        const double v = m.data[static_cast<size_t>(s.row - 1)];
        if (!usable(v))
          throw Skip{"element " + std::to_string(s.row) + " of result " + std::to_string(s.result) +
                     " is missing."};
        return v;
      }
      case Source::Kind::kOption: {
        if (s.argument > static_cast<int>(call_.args.size()) ||
            !call_.args[static_cast<size_t>(s.argument - 1)])
          return s.value;
        const auto* opt = std::get_if<Matrix>(&*call_.args[static_cast<size_t>(s.argument - 1)]);
        if (opt == nullptr || s.row > static_cast<int64_t>(opt->data.size())) return s.value;
        const double v = opt->data[static_cast<size_t>(s.row - 1)];
        return usable(v) && v > 0 ? v : s.value;
      }
      case Source::Kind::kChiSquareCutoff:
        return std::sqrt(chi_square_quantile(s.value, static_cast<double>(matrix_argument(s.argument).cols)));
      default:
        throw Skip{"a source of the wrong kind was declared for a number."};
    }
  }

  // A p x p matrix, row-major.
  std::vector<double> square(const Source& s, int64_t p) {
    if (s.kind == Source::Kind::kClassicalScatter) {
      const Matrix& x = matrix_argument(s.argument);
      if (x.rows < 2) throw Skip{"the classical scatter needs two observations."};
      const std::vector<double> mean = vector(classical_location_of(s.argument));
      std::vector<double> c(static_cast<size_t>(p * p), 0.0);
      for (int64_t i = 0; i < x.rows; ++i)
        for (int64_t a = 0; a < p; ++a)
          for (int64_t b = 0; b < p; ++b)
            c[static_cast<size_t>(a * p + b)] +=
                (x.at(i, a) - mean[static_cast<size_t>(a)]) * (x.at(i, b) - mean[static_cast<size_t>(b)]);
      for (double& v : c) v /= static_cast<double>(x.rows - 1);
      return c;
    }
    if (s.kind != Source::Kind::kResultBlock)
      throw Skip{"a source of the wrong kind was declared for a matrix."};
    const Matrix& m = result(s.result);
    if (m.cols != p || s.row - 1 + p > m.rows)
      throw Skip{"result " + std::to_string(s.result) + " holds no " + std::to_string(p) + " x " +
                 std::to_string(p) + " block at row " + std::to_string(s.row) + "."};
    return {m.data.begin() + (s.row - 1) * p, m.data.begin() + (s.row - 1 + p) * p};
  }

  std::string name_of(int64_t obs) const {
    const auto i = static_cast<size_t>(obs - 1);
    if (i < call_.row_names.size() && !call_.row_names[i].empty()) return call_.row_names[i];
    return std::to_string(obs);
  }

 private:
  static Source classical_location_of(int k) { return classical_location(k); }

  std::vector<double> fitted(const Source& s) {
    const Matrix& coef = result(s.result);
    if (s.row < 1 || s.row > coef.rows) throw Skip{"the coefficients are missing."};
    const double* b = coef.data.data() + (s.row - 1) * coef.cols;
    const Matrix* x = nullptr;
    if (s.argument <= static_cast<int>(call_.args.size()) && call_.args[static_cast<size_t>(s.argument - 1)])
      x = &matrix_argument(s.argument);
    const int64_t q = x ? x->cols : 0;
    // The intercept is the last coefficient when there is one more coefficient than regressors.
    if (coef.cols != q && coef.cols != q + 1)
      throw Skip{"the coefficients do not match the regressors (" + std::to_string(coef.cols) + " and " +
                 std::to_string(q) + ")."};
    const int64_t n = x ? x->rows : result(3).cols;
    std::vector<double> fit(static_cast<size_t>(n), coef.cols == q + 1 ? b[q] : 0.0);
    for (int64_t i = 0; i < n; ++i)
      for (int64_t j = 0; j < q; ++j) fit[static_cast<size_t>(i)] += x->at(i, j) * b[j];
    return fit;
  }

  std::vector<double> regressor_distances(const Source& s) {
    if (s.argument > static_cast<int>(call_.args.size()) || !call_.args[static_cast<size_t>(s.argument - 1)])
      throw Skip{"the model has no regressors, so there are no distances to plot against."};
    const Matrix& x = matrix_argument(s.argument);
    if (!caller_) throw Skip{"it needs a call of MCD, which is not available here."};
    // The intercept column (constant) would make the scatter singular: drop constant columns.
    Matrix kept(x.rows, 0);
    std::vector<int64_t> columns;
    for (int64_t j = 0; j < x.cols; ++j) {
      bool constant = true;
      for (int64_t i = 1; i < x.rows && constant; ++i) constant = x.at(i, j) == x.at(0, j);
      if (!constant) columns.push_back(j);
    }
    if (columns.empty()) throw Skip{"every regressor is constant."};
    kept = Matrix(x.rows, static_cast<int64_t>(columns.size()));
    for (int64_t i = 0; i < x.rows; ++i)
      for (size_t j = 0; j < columns.size(); ++j) kept.at(i, static_cast<int64_t>(j)) = x.at(i, columns[j]);
    const Value opt = Matrix(1, 1, 0.0);
    const Value data = kept;
    const Value* args[] = {&opt, &data};
    CallResult r;
    try {
      r = caller_("MCD", args);
    } catch (const Error& e) {
      throw Skip{std::string("MCD of the regressors failed: ") + e.what()};
    }
    if (r.engine_failed || r.results.size() < 3 || r.results[2].rows < 2)
      throw Skip{"MCD of the regressors gave no robust distances."};
    const Matrix& d = r.results[2];
    return {d.data.begin() + d.cols, d.data.begin() + 2 * d.cols};
  }

  const CallRecord& call_;
  const RoutineCaller& caller_;
};

// Labels for the flagged points: the most extreme first, at most kMaxLabels.
void label_flagged(Points& p, const Evaluator& ev, const std::vector<double>& extremeness) {
  std::vector<size_t> order;
  for (size_t i = 0; i < p.x.size(); ++i)
    if (p.flagged[i]) order.push_back(i);
  std::stable_sort(
      order.begin(), order.end(), [&](size_t a, size_t b) { return extremeness[a] > extremeness[b]; });
  p.labels.assign(p.x.size(), "");
  for (size_t k = 0; k < order.size() && k < kMaxLabels; ++k)
    p.labels[order[k]] = ev.name_of(p.obs[order[k]]);
}

void set_limits(Figure& f, double xlo, double xhi, double ylo, double yhi) {
  const Range xr = padded_range(xlo, xhi), yr = padded_range(ylo, yhi);
  f.x_min = xr.low;
  f.x_max = xr.high;
  f.y_min = yr.low;
  f.y_max = yr.high;
}

struct Cutoffs {
  std::optional<double> x, y;
  bool both = false;
  bool beyond(double px, double py) const {
    return (x && px > *x) || (y && (both ? std::fabs(py) > *y : py > *y));
  }
};

Cutoffs cutoffs_of(const PlotDecl& d, Evaluator& ev) {
  Cutoffs c;
  if (d.x_cutoff.kind != Source::Kind::kNone) c.x = ev.scalar(d.x_cutoff);
  if (d.y_cutoff.kind != Source::Kind::kNone) c.y = ev.scalar(d.y_cutoff);
  c.both = d.y_both_sides;
  return c;
}

// Points (x[i], y[i]) for observation i + 1, skipping missing values; the limits include the
// cutoff lines so that they are always visible.
Figure scatter_figure(const PlotDecl& d,
                      const std::vector<double>& x,
                      const std::vector<double>& y,
                      const std::vector<int64_t>& obs,
                      const Cutoffs& cut,
                      Evaluator& ev) {
  Figure f;
  double xlo = HUGE_VAL, xhi = -HUGE_VAL, ylo = HUGE_VAL, yhi = -HUGE_VAL;
  std::vector<double> extremeness;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!usable(x[i]) || !usable(y[i])) continue;
    f.points.x.push_back(x[i]);
    f.points.y.push_back(y[i]);
    f.points.obs.push_back(obs[i]);
    f.points.flagged.push_back(cut.beyond(x[i], y[i]));
    extremeness.push_back(std::max(cut.y ? std::fabs(y[i]) / *cut.y : 0.0, cut.x ? x[i] / *cut.x : 0.0));
    xlo = std::min(xlo, x[i]);
    xhi = std::max(xhi, x[i]);
    ylo = std::min(ylo, y[i]);
    yhi = std::max(yhi, y[i]);
  }
  if (f.points.x.empty()) throw Skip{"no observation has both values."};
  if (cut.x) {
    xlo = std::min(xlo, *cut.x);
    xhi = std::max(xhi, *cut.x);
    f.lines.push_back(
        {Line::Kind::kVertical, *cut.x, Line::Role::kCutoff, "cutoff " + format_number(*cut.x)});
  }
  if (cut.y) {
    yhi = std::max(yhi, *cut.y);
    f.lines.push_back(
        {Line::Kind::kHorizontal, *cut.y, Line::Role::kCutoff, "cutoff " + format_number(*cut.y)});
    if (cut.both) {
      ylo = std::min(ylo, -*cut.y);
      f.lines.push_back(
          {Line::Kind::kHorizontal, -*cut.y, Line::Role::kCutoff, "cutoff " + format_number(-*cut.y)});
    } else {
      ylo = std::min(ylo, 0.0);
    }
  }
  if (d.diagonal) f.lines.push_back({Line::Kind::kDiagonal, 0, Line::Role::kReference, "y = x"});
  set_limits(f, xlo, xhi, ylo, yhi);
  label_flagged(f.points, ev, extremeness);
  return f;
}

std::vector<int64_t> numbers(size_t n) {
  std::vector<int64_t> obs(n);
  std::iota(obs.begin(), obs.end(), 1);
  return obs;
}

Figure scatter_plot(const PlotDecl& d, Evaluator& ev) {
  const std::vector<double> y = ev.vector(d.y);
  const std::vector<double> x = ev.vector(d.x);
  if (x.size() != y.size())
    throw Skip{"its two coordinates have " + std::to_string(x.size()) + " and " + std::to_string(y.size()) +
               " values."};
  Figure f = scatter_figure(d, x, y, numbers(x.size()), cutoffs_of(d, ev), ev);
  if (d.regions == Regions::kRegressionOutlierMap && f.lines.size() >= 3) {
    const double cx = f.lines[0].at, cy = f.lines[1].at;
    const double top = (cy + f.y_max) / 2, bottom = (-cy + f.y_min) / 2;
    const double left = (f.x_min + cx) / 2, right = (cx + f.x_max) / 2;
    if (f.y_max > cy) f.notes.push_back({left, top, "vertical outliers", Note::Anchor::kMiddle});
    if (f.y_min < -cy) f.notes.push_back({left, bottom, "vertical outliers", Note::Anchor::kMiddle});
    if (f.x_max > cx) {
      if (f.y_max > cy) f.notes.push_back({right, top, "bad leverage points", Note::Anchor::kMiddle});
      if (f.y_min < -cy) f.notes.push_back({right, bottom, "bad leverage points", Note::Anchor::kMiddle});
      f.notes.push_back({right, 0.0, "good leverage points", Note::Anchor::kMiddle});
    }
  }
  return f;
}

Figure index_plot(const PlotDecl& d, Evaluator& ev) {
  const std::vector<double> y = ev.vector(d.y);
  std::vector<double> x(y.size());
  std::iota(x.begin(), x.end(), 1.0);
  Cutoffs cut = cutoffs_of(d, ev);
  return scatter_figure(d, x, y, numbers(y.size()), cut, ev);
}

Figure quantile_plot(const PlotDecl& d, Evaluator& ev) {
  const std::vector<double> y = ev.vector(d.y);
  std::vector<size_t> order;
  for (size_t i = 0; i < y.size(); ++i)
    if (usable(y[i])) order.push_back(i);
  if (order.empty()) throw Skip{"every value is missing."};
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return y[a] < y[b]; });
  const double df = d.quantiles == Quantiles::kChiSquareRoot
                        ? static_cast<double>(ev.matrix_argument(d.df_argument).cols)
                        : 0.0;
  std::vector<double> qx, qy;
  std::vector<int64_t> obs;
  for (size_t k = 0; k < order.size(); ++k) {
    const double prob = plotting_position(k, order.size());
    qx.push_back(d.quantiles == Quantiles::kNormal ? normal_quantile(prob)
                                                   : std::sqrt(chi_square_quantile(prob, df)));
    qy.push_back(y[order[k]]);
    obs.push_back(static_cast<int64_t>(order[k]) + 1);
  }
  Cutoffs cut = cutoffs_of(d, ev);
  cut.x.reset();  // the quantile axis has no cutoff
  return scatter_figure(d, qx, qy, obs, cut, ev);
}

// Points of the ellipse {m + t : t' S^-1 t = r^2}: m + r L (cos a, sin a) with S = L L'.
Curve ellipse(const std::vector<double>& m, const std::vector<double>& s, double r) {
  Curve c;
  const double a = s[0], b = s[1], dd = s[3];
  if (!(a > 0) || !(a * dd - b * b > 0)) throw Skip{"a scatter matrix is not positive definite."};
  const double l11 = std::sqrt(a), l21 = b / l11, l22 = std::sqrt(dd - l21 * l21);
  constexpr int kSteps = 96;
  for (int k = 0; k <= kSteps; ++k) {
    const double t = 2 * M_PI * k / kSteps;
    const double u = r * std::cos(t), v = r * std::sin(t);
    c.x.push_back(m[0] + l11 * u);
    c.y.push_back(m[1] + l21 * u + l22 * v);
  }
  return c;
}

Figure ellipse_plot(const PlotDecl& d, Evaluator& ev, bool& drawn) {
  const Matrix& x = ev.matrix_argument(d.x.argument);
  drawn = x.cols == 2;
  if (!drawn) return {};
  std::vector<double> px, py;
  for (int64_t i = 0; i < x.rows; ++i) {
    px.push_back(x.at(i, 0));
    py.push_back(x.at(i, 1));
  }
  const double r = std::sqrt(chi_square_quantile(d.level, 2.0));
  Curve first = ellipse(ev.vector(d.location), ev.square(d.scatter, 2), r);
  Curve second = ellipse(ev.vector(d.second_location), ev.square(d.second_scatter, 2), r);
  first.label = std::string(d.first_fit);
  first.series = 0;
  second.label = std::string(d.second_fit);
  second.series = 1;
  // Observations outside the robust ellipse are flagged: their robust distance exceeds r.
  const std::vector<double> m = ev.vector(d.second_location);
  const std::vector<double> s = ev.square(d.second_scatter, 2);
  const double det = s[0] * s[3] - s[1] * s[2];
  Figure f;
  double xlo = HUGE_VAL, xhi = -HUGE_VAL, ylo = HUGE_VAL, yhi = -HUGE_VAL;
  std::vector<double> extremeness;
  for (size_t i = 0; i < px.size(); ++i) {
    if (!usable(px[i]) || !usable(py[i])) continue;
    const double u = px[i] - m[0], v = py[i] - m[1];
    const double dist = std::sqrt((s[3] * u * u - 2 * s[1] * u * v + s[0] * v * v) / det);
    f.points.x.push_back(px[i]);
    f.points.y.push_back(py[i]);
    f.points.obs.push_back(static_cast<int64_t>(i) + 1);
    f.points.flagged.push_back(dist > r);
    extremeness.push_back(dist);
  }
  for (const Curve* c : {&first, &second}) {
    for (size_t k = 0; k < c->x.size(); ++k) {
      xlo = std::min(xlo, c->x[k]);
      xhi = std::max(xhi, c->x[k]);
      ylo = std::min(ylo, c->y[k]);
      yhi = std::max(yhi, c->y[k]);
    }
  }
  for (size_t i = 0; i < f.points.x.size(); ++i) {
    xlo = std::min(xlo, f.points.x[i]);
    xhi = std::max(xhi, f.points.x[i]);
    ylo = std::min(ylo, f.points.y[i]);
    yhi = std::max(yhi, f.points.y[i]);
  }
  f.curves = {std::move(first), std::move(second)};
  set_limits(f, xlo, xhi, ylo, yhi);
  const bool named = static_cast<int64_t>(x.colnames.size()) == 2;
  f.x_label = named && !x.colnames[0].empty() ? x.colnames[0] : "VAR1";
  f.y_label = named && !x.colnames[1].empty() ? x.colnames[1] : "VAR2";
  label_flagged(f.points, ev, extremeness);
  return f;
}

// The estimator a MAD call used, as its method argument selects it (case-insensitive prefixes).
std::string scale_name(const std::optional<std::string>& method) {
  const std::string m = upper(method.value_or(""));
  if (m.rfind("NMA", 0) == 0) return "normalized MAD";
  if (m.rfind("SN", 0) == 0) return "Sn";
  if (m.rfind("QN", 0) == 0) return "Qn";
  return "MAD";
}

double median_of(std::vector<double> v) {
  const size_t n = v.size(), h = n / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(h), v.end());
  const double hi = v[h];
  if (n % 2 == 1) return hi;
  return (*std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(h)) + hi) / 2;
}

Figure strip_plot(const PlotDecl& d, Evaluator& ev) {
  const Matrix& x = ev.matrix_argument(d.x.argument);
  const std::vector<double> scale = ev.vector(d.scale);
  if (static_cast<int64_t>(scale.size()) != x.cols)
    throw Skip{"there are " + std::to_string(scale.size()) + " scales for " + std::to_string(x.cols) +
               " columns."};
  Figure f;
  const std::string name = scale_name(ev.text_argument(d.method_argument));
  char band[32];
  std::snprintf(band, sizeof band, "%g", d.band);
  f.title = "Columns with median \u00b1 " + std::string(band) + " " + name;
  double ylo = HUGE_VAL, yhi = -HUGE_VAL;
  std::vector<double> extremeness;
  for (int64_t j = 0; j < x.cols; ++j) {
    const bool named =
        static_cast<int64_t>(x.colnames.size()) == x.cols && !x.colnames[static_cast<size_t>(j)].empty();
    f.categories.push_back(named ? x.colnames[static_cast<size_t>(j)] : "VAR" + std::to_string(j + 1));
    std::vector<double> values;
    for (int64_t i = 0; i < x.rows; ++i)
      if (usable(x.at(i, j))) values.push_back(x.at(i, j));
    if (values.empty()) continue;
    const double centre = median_of(values), s = scale[static_cast<size_t>(j)];
    const bool has_band = usable(s);
    if (has_band) {
      f.bands.push_back({static_cast<int>(j), centre - d.band * s, centre, centre + d.band * s});
      ylo = std::min(ylo, centre - d.band * s);
      yhi = std::max(yhi, centre + d.band * s);
    }
    for (int64_t i = 0; i < x.rows; ++i) {
      const double v = x.at(i, j);
      if (!usable(v)) continue;
      // A fixed spread inside the strip (golden-ratio steps), so that ties stay visible and the
      // picture is the same on every run.
      const double jitter = std::fmod(static_cast<double>(i) * 0.6180339887498949, 1.0) * 0.5 - 0.25;
      f.points.x.push_back(static_cast<double>(j) + jitter);
      f.points.y.push_back(v);
      f.points.obs.push_back(i + 1);
      const bool out = has_band && std::fabs(v - centre) > d.band * s;
      f.points.flagged.push_back(out);
      extremeness.push_back(has_band && s > 0 ? std::fabs(v - centre) / s : 0.0);
      ylo = std::min(ylo, v);
      yhi = std::max(yhi, v);
    }
  }
  if (f.points.x.empty()) throw Skip{"every value is missing."};
  const Range yr = padded_range(ylo, yhi);
  f.x_min = -0.5;
  f.x_max = static_cast<double>(x.cols) - 0.5;
  f.y_min = yr.low;
  f.y_max = yr.high;
  label_flagged(f.points, ev, extremeness);
  return f;
}

const RoutinePlots* find_routine(std::string_view routine) {
  const std::string u = upper(routine);
  for (const RoutinePlots& r : plot_declarations())
    if (r.routine == u) return &r;
  return nullptr;
}

}  // namespace

bool has_plots(std::string_view routine) { return find_routine(routine) != nullptr; }

Plots build_plots(const CallRecord& call, const RoutineCaller& caller) {
  Plots out;
  const RoutinePlots* r = find_routine(call.routine);
  if (r == nullptr) return out;
  Evaluator ev(call, caller);
  for (const PlotDecl& d : r->plots) {
    try {
      Figure f;
      bool drawn = true;
      switch (d.kind) {
        case PlotKind::kScatter:
          f = scatter_plot(d, ev);
          break;
        case PlotKind::kIndex:
          f = index_plot(d, ev);
          break;
        case PlotKind::kQuantile:
          f = quantile_plot(d, ev);
          break;
        case PlotKind::kToleranceEllipse:
          f = ellipse_plot(d, ev, drawn);
          break;
        case PlotKind::kStrip:
          f = strip_plot(d, ev);
          break;
      }
      if (!drawn) continue;
      f.id = std::string(d.id);
      if (f.title.empty()) f.title = std::string(d.title);
      if (f.x_label.empty()) f.x_label = std::string(d.x_label);
      if (f.y_label.empty()) f.y_label = std::string(d.y_label);
      out.figures.push_back(std::move(f));
    } catch (const Skip& s) {
      out.notes.push_back("The plot \"" + std::string(d.title) + "\" of " + std::string(r->routine) +
                          " was not drawn: " + s.why);
    }
  }
  return out;
}

}  // namespace robmat::host::plots
