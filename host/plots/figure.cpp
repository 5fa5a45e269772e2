// Axis limits, ticks and the JSON form of a figure (the layout is described in docs/python.md).
#include "plots/figure.h"

#include <cmath>

namespace robmat::host::plots {

Range padded_range(double low, double high) {
  if (!(high > low)) {
    const double mid = std::isfinite(low) ? low : 0.0;
    return {mid - 1.0, mid + 1.0};
  }
  const double pad = (high - low) / 20.0;
  return {low - pad, high + pad};
}

std::vector<double> nice_ticks(double low, double high, int target) {
  std::vector<double> ticks;
  if (!(high > low) || !std::isfinite(low) || !std::isfinite(high) || target < 1) return ticks;
  const double rough = (high - low) / target;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= rough) break;
  }
  // Multiples of the step, computed from an integer count so that 0.1 + 0.2 never shows.
  for (double k = std::ceil(low / step); k * step <= high + step * 1e-9; k += 1.0) {
    const double t = k * step;
    ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
  }
  return ticks;
}

namespace {

using json = nlohmann::ordered_json;

const char* line_kind(Line::Kind k) {
  switch (k) {
    case Line::Kind::kHorizontal:
      return "horizontal";
    case Line::Kind::kVertical:
      return "vertical";
    case Line::Kind::kDiagonal:
      break;
  }
  return "diagonal";
}

const char* anchor_name(Note::Anchor a) {
  return a == Note::Anchor::kStart ? "start" : a == Note::Anchor::kEnd ? "end" : "middle";
}

}  // namespace

json figure_to_json(const Figure& f) {
  json points{{"x", f.points.x}, {"y", f.points.y}, {"obs", f.points.obs}};
  std::vector<int> flagged(f.points.flagged.begin(), f.points.flagged.end());
  points["flagged"] = flagged;
  points["labels"] = f.points.labels;
  json lines = json::array();
  for (const Line& l : f.lines) {
    lines.push_back(json{{"kind", line_kind(l.kind)},
                         {"at", l.at},
                         {"role", l.role == Line::Role::kCutoff ? "cutoff" : "reference"},
                         {"label", l.label}});
  }
  json curves = json::array();
  for (const Curve& c : f.curves)
    curves.push_back(json{{"x", c.x}, {"y", c.y}, {"label", c.label}, {"series", c.series}});
  json bands = json::array();
  for (const Band& b : f.bands)
    bands.push_back(json{{"category", b.category}, {"low", b.low}, {"centre", b.centre}, {"high", b.high}});
  json notes = json::array();
  for (const Note& n : f.notes)
    notes.push_back(json{{"x", n.x}, {"y", n.y}, {"text", n.text}, {"anchor", anchor_name(n.anchor)}});
  return json{{"id", f.id},
              {"title", f.title},
              {"x_label", f.x_label},
              {"y_label", f.y_label},
              {"x_limits", {f.x_min, f.x_max}},
              {"y_limits", {f.y_min, f.y_max}},
              {"categories", f.categories},
              {"points", std::move(points)},
              {"lines", std::move(lines)},
              {"curves", std::move(curves)},
              {"bands", std::move(bands)},
              {"notes", std::move(notes)}};
}

}  // namespace robmat::host::plots
