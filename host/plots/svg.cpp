// The SVG writer. Coordinates are written with two decimals: a hundredth of a pixel is below
// what any screen shows, and it keeps a plot of a thousand points small.
#include "plots/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace robmat::host::plots {
namespace {

constexpr const char* kPointColour = "#1f4e79";
constexpr const char* kFlaggedColour = "#c0392b";
constexpr const char* kSeriesColour[] = {"#4c72b0", "#c44e52"};

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  // "12.50" -> "12.5", "3.00" -> "3": shorter, same value at this precision.
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string tick_text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

const char* anchor_name(Note::Anchor a) {
  return a == Note::Anchor::kStart ? "start" : a == Note::Anchor::kEnd ? "end" : "middle";
}

}  // namespace

std::string xml_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') {
          out += ' ';
        } else {
          out += c;
        }
    }
  }
  return out;
}

double svg_x(const Figure& f, double x) {
  const SvgGeometry& g = kSvgGeometry;
  return g.left + (x - f.x_min) / (f.x_max - f.x_min) * g.plot_width();
}

double svg_y(const Figure& f, double y) {
  const SvgGeometry& g = kSvgGeometry;
  return g.top + (f.y_max - y) / (f.y_max - f.y_min) * g.plot_height();
}

std::string to_svg(const Figure& f, std::string_view id_prefix) {
  const SvgGeometry& g = kSvgGeometry;
  const std::string clip = std::string(id_prefix) + "-clip";
  const double x0 = g.left, x1 = g.left + g.plot_width();
  const double y0 = g.top, y1 = g.top + g.plot_height();
  std::string s;
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"robmat-plot\" data-plot=\"" + xml_escape(f.id) +
       "\" width=\"" + num(g.width) + "\" height=\"" + num(g.height) + "\" viewBox=\"0 0 " + num(g.width) +
       " " + num(g.height) + "\" role=\"img\" aria-label=\"" + xml_escape(f.title) +
       "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"11\">\n";
  s += "<title>" + xml_escape(f.title) + "</title>\n";
  s += "<defs><clipPath id=\"" + xml_escape(clip) + "\"><rect x=\"" + num(x0) + "\" y=\"" + num(y0) +
       "\" width=\"" + num(g.plot_width()) + "\" height=\"" + num(g.plot_height()) +
       "\"/></clipPath></defs>\n";
  s += "<rect class=\"background\" x=\"0\" y=\"0\" width=\"" + num(g.width) + "\" height=\"" + num(g.height) +
       "\" fill=\"#ffffff\"/>\n";

  // Ticks and grid: a category axis labels each category, a numeric one nice multiples.
  s += "<g class=\"ticks\" stroke=\"#e3e3e3\" stroke-width=\"1\">\n";
  std::vector<std::pair<double, std::string>> xt, yt;
  if (!f.categories.empty()) {
    for (size_t k = 0; k < f.categories.size(); ++k) xt.emplace_back(static_cast<double>(k), f.categories[k]);
  } else {
    for (double t : nice_ticks(f.x_min, f.x_max)) xt.emplace_back(t, tick_text(t));
  }
  for (double t : nice_ticks(f.y_min, f.y_max)) yt.emplace_back(t, tick_text(t));
  for (const auto& [t, text] : xt) {
    const double px = svg_x(f, t);
    s += "<line x1=\"" + num(px) + "\" y1=\"" + num(y0) + "\" x2=\"" + num(px) + "\" y2=\"" + num(y1) +
         "\"/>\n";
  }
  for (const auto& [t, text] : yt) {
    const double py = svg_y(f, t);
    s += "<line x1=\"" + num(x0) + "\" y1=\"" + num(py) + "\" x2=\"" + num(x1) + "\" y2=\"" + num(py) +
         "\"/>\n";
  }
  s += "</g>\n<g class=\"tick-labels\" fill=\"#333333\">\n";
  for (const auto& [t, text] : xt) {
    s += "<text x=\"" + num(svg_x(f, t)) + "\" y=\"" + num(y1 + 14) + "\" text-anchor=\"middle\">" +
         xml_escape(text) + "</text>\n";
  }
  for (const auto& [t, text] : yt) {
    s += "<text x=\"" + num(x0 - 5) + "\" y=\"" + num(svg_y(f, t) + 4) + "\" text-anchor=\"end\">" +
         xml_escape(text) + "</text>\n";
  }
  s += "</g>\n";

  s += "<g clip-path=\"url(#" + xml_escape(clip) + ")\">\n";
  for (const Band& b : f.bands) {
    const double left = svg_x(f, b.category - 0.35), right = svg_x(f, b.category + 0.35);
    const double top = svg_y(f, b.high), bottom = svg_y(f, b.low);
    s += "<rect class=\"band\" x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(right - left) +
         "\" height=\"" + num(bottom - top) + "\" fill=\"#dbe9f6\"/>\n";
    const double pc = svg_y(f, b.centre);
    s += "<line class=\"centre\" x1=\"" + num(left) + "\" y1=\"" + num(pc) + "\" x2=\"" + num(right) +
         "\" y2=\"" + num(pc) + "\" stroke=\"#1f4e79\" stroke-width=\"1.5\"/>\n";
  }
  for (const Line& l : f.lines) {
    double ax = x0, ay = 0, bx = x1, by = 0;
    if (l.kind == Line::Kind::kHorizontal) {
      ay = by = svg_y(f, l.at);
    } else if (l.kind == Line::Kind::kVertical) {
      ax = bx = svg_x(f, l.at);
      ay = y0;
      by = y1;
    } else {
      // y = x across the visible range; the clip path trims what lies outside.
      const double lo = std::min(f.x_min, f.y_min), hi = std::max(f.x_max, f.y_max);
      ax = svg_x(f, lo);
      ay = svg_y(f, lo);
      bx = svg_x(f, hi);
      by = svg_y(f, hi);
    }
    const bool cutoff = l.role == Line::Role::kCutoff;
    s += std::string("<line class=\"") + (cutoff ? "cutoff" : "reference") + "\" x1=\"" + num(ax) +
         "\" y1=\"" + num(ay) + "\" x2=\"" + num(bx) + "\" y2=\"" + num(by) + "\" stroke=\"" +
         (cutoff ? kFlaggedColour : "#7f7f7f") + "\" stroke-width=\"1\" stroke-dasharray=\"" +
         (cutoff ? "6 4" : "2 3") + "\"><title>" + xml_escape(l.label) + "</title></line>\n";
  }
  for (const Curve& c : f.curves) {
    std::string d;
    for (size_t i = 0; i < c.x.size(); ++i)
      d += (i == 0 ? "M" : " L") + num(svg_x(f, c.x[i])) + " " + num(svg_y(f, c.y[i]));
    const char* colour = kSeriesColour[c.series == 0 ? 0 : 1];
    s += "<path class=\"curve\" d=\"" + d + "\" fill=\"none\" stroke=\"" + colour +
         "\" stroke-width=\"1.5\"" + (c.series == 0 ? " stroke-dasharray=\"5 3\"" : "") + "><title>" +
         xml_escape(c.label) + "</title></path>\n";
  }
  const Points& p = f.points;
  for (size_t i = 0; i < p.x.size(); ++i) {
    const bool flagged = i < p.flagged.size() && p.flagged[i];
    s += std::string("<circle class=\"point") + (flagged ? " flagged" : "") + "\" cx=\"" +
         num(svg_x(f, p.x[i])) + "\" cy=\"" + num(svg_y(f, p.y[i])) + "\" r=\"2.6\" fill=\"" +
         (flagged ? kFlaggedColour : kPointColour) + "\" fill-opacity=\"0.75\"/>\n";
  }
  s += "</g>\n<g class=\"labels\" font-size=\"9\" fill=\"#7b241c\">\n";
  for (size_t i = 0; i < p.labels.size() && i < p.x.size(); ++i) {
    if (p.labels[i].empty()) continue;
    s += "<text x=\"" + num(svg_x(f, p.x[i]) + 4) + "\" y=\"" + num(svg_y(f, p.y[i]) - 3) + "\">" +
         xml_escape(p.labels[i]) + "</text>\n";
  }
  s += "</g>\n<g class=\"notes\" font-size=\"10\" fill=\"#555555\" font-style=\"italic\">\n";
  for (const Note& n : f.notes) {
    s += "<text x=\"" + num(svg_x(f, n.x)) + "\" y=\"" + num(svg_y(f, n.y)) + "\" text-anchor=\"" +
         anchor_name(n.anchor) + "\">" + xml_escape(n.text) + "</text>\n";
  }
  s += "</g>\n";
  // Legend of the curves, top left inside the plot area.
  double ly = y0 + 14;
  for (const Curve& c : f.curves) {
    if (c.label.empty()) continue;
    const char* colour = kSeriesColour[c.series == 0 ? 0 : 1];
    s += "<g class=\"legend\"><line x1=\"" + num(x0 + 8) + "\" y1=\"" + num(ly - 4) + "\" x2=\"" +
         num(x0 + 28) + "\" y2=\"" + num(ly - 4) + "\" stroke=\"" + colour + "\" stroke-width=\"1.5\"" +
         (c.series == 0 ? " stroke-dasharray=\"5 3\"" : "") + "/><text x=\"" + num(x0 + 32) + "\" y=\"" +
         num(ly) + "\" font-size=\"10\">" + xml_escape(c.label) + "</text></g>\n";
    ly += 14;
  }
  s += "<rect class=\"frame\" x=\"" + num(x0) + "\" y=\"" + num(y0) + "\" width=\"" + num(g.plot_width()) +
       "\" height=\"" + num(g.plot_height()) + "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n";
  s += "<text class=\"title\" x=\"" + num(g.width / 2) +
       "\" y=\"22\" text-anchor=\"middle\" font-size=\"13\" " + "font-weight=\"bold\">" +
       xml_escape(f.title) + "</text>\n";
  s += "<text class=\"x-label\" x=\"" + num(x0 + g.plot_width() / 2) + "\" y=\"" + num(g.height - 12) +
       "\" text-anchor=\"middle\">" + xml_escape(f.x_label) + "</text>\n";
  s += "<text class=\"y-label\" x=\"16\" y=\"" + num(y0 + g.plot_height() / 2) +
       "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " + num(y0 + g.plot_height() / 2) + ")\">" +
       xml_escape(f.y_label) + "</text>\n";
  s += "</svg>\n";
  return s;
}

}  // namespace robmat::host::plots
