// A diagnostic plot as data: the marks, lines, curves and labels that a picture of it shows,
// with the axis limits already chosen. The SVG writer draws a Figure for the HTML report and
// the Python package draws the same Figure (its JSON) with matplotlib, so the two pictures of
// one result cannot drift apart.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace robmat::host::plots {

// One mark per observation (or per value of a column, in a strip plot).
struct Points {
  std::vector<double> x, y;
  std::vector<int64_t> obs;         // observation number, 1-based
  std::vector<bool> flagged;        // beyond a cutoff: drawn in the outlier colour
  std::vector<std::string> labels;  // shown beside the mark; "" for none
};

// A straight reference line across the plot area.
struct Line {
  enum class Kind { kHorizontal, kVertical, kDiagonal } kind = Kind::kHorizontal;
  double at = 0;  // y of a horizontal, x of a vertical line; unused for the diagonal y = x
  enum class Role { kCutoff, kReference } role = Role::kCutoff;
  std::string label;
};

// A curve through the data (a tolerance ellipse), drawn as a closed or open polyline.
struct Curve {
  std::vector<double> x, y;
  std::string label;  // legend text
  int series = 0;     // 0 classical, 1 robust: selects the colour
};

// A shaded interval of y over one category of a strip plot, with its centre.
struct Band {
  int category = 0;  // 0-based
  double low = 0, centre = 0, high = 0;
};

// Text placed in data coordinates (the regions of the regression outlier map).
struct Note {
  double x = 0, y = 0;
  std::string text;
  enum class Anchor { kStart, kMiddle, kEnd } anchor = Anchor::kMiddle;
};

struct Figure {
  std::string id;  // "dd", "distances", ... unique within one call's plots
  std::string title;
  std::string x_label, y_label;
  double x_min = 0, x_max = 1, y_min = 0, y_max = 1;
  std::vector<std::string> categories;  // non-empty: x is categorical, category k at x = k
  Points points;
  std::vector<Line> lines;
  std::vector<Curve> curves;
  std::vector<Band> bands;
  std::vector<Note> notes;
};

// Plot limits: the data range widened by a twentieth on each side, so that no mark sits on a
// frame line; a range of one value is widened to one unit around it.
struct Range {
  double low, high;
};
Range padded_range(double low, double high);

// Tick positions at 1, 2 or 5 times a power of ten, about `target` of them inside [low, high].
std::vector<double> nice_ticks(double low, double high, int target = 6);

nlohmann::ordered_json figure_to_json(const Figure& f);

}  // namespace robmat::host::plots
