// SVG drawing of a Figure: a fixed-size picture with a frame, ticks, the marks and lines, for
// the HTML report and for notebooks. Nothing but text: no fonts, images or scripts are embedded,
// so the picture works in a file opened without a network.
#pragma once

#include <string>
#include <string_view>

#include "plots/figure.h"

namespace robmat::host::plots {

// The picture's size and the plot area inside it, in SVG user units (pixels at 100 %).
struct SvgGeometry {
  double width = 480, height = 360;
  double left = 64, right = 16, top = 36, bottom = 50;
  double plot_width() const { return width - left - right; }
  double plot_height() const { return height - top - bottom; }
};
inline constexpr SvgGeometry kSvgGeometry{};

// Where a data coordinate lands in the picture.
double svg_x(const Figure& f, double x);
double svg_y(const Figure& f, double y);

// The SVG element. id_prefix makes the ids inside unique when several pictures share a page.
// Marks carry classes the tests look for: circle.point (circle.point.flagged beyond a
// cutoff), line.cutoff, line.reference, path.curve, rect.band.
std::string to_svg(const Figure& f, std::string_view id_prefix);

// Text with <, >, & and quotes escaped for XML and HTML.
std::string xml_escape(std::string_view text);

}  // namespace robmat::host::plots
