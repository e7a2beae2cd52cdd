#include "output/ordination_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/session_comparisons.h"
#include "output/display_text.h"
#include "output/number_text.h"
#include "output/svg.h"

namespace ramovia {

namespace {

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string num(double v) {
  std::string s = fixed(v, 2);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

double textWidth(const std::string& utf8, double size) {
  double chars = 0;
  for (const char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
  return chars * size * 0.6;
}

double niceStep(double range, int wanted) {
  const double raw = range / wanted;
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * p >= raw) return m * p;
  return 10 * p;
}

struct Box {
  double x0, y0, x1, y1;
  bool meets(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
};

}  // namespace

ScatterDrawing scatterDrawing(const PcoaResult& r, std::span<const std::string> names, int axisX,
                              int axisY, double width, double height, double fontSize) {
  ScatterDrawing d;
  d.width = width;
  d.height = height;
  const int n = static_cast<int>(r.coordinates.size());
  const auto value = [&](int t, int axis) {
    return axis >= 1 && axis <= r.axes ? r.coordinates[static_cast<std::size_t>(t)][static_cast<std::size_t>(axis - 1)] : 0.0;
  };
  const double left = 70, right = width - 20, top = 30, bottom = height - 50;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int t = 0; t < n; ++t) {
    minX = std::min(minX, value(t, axisX));
    maxX = std::max(maxX, value(t, axisX));
    minY = std::min(minY, value(t, axisY));
    maxY = std::max(maxY, value(t, axisY));
  }
  const double spanX = std::max(maxX - minX, 1e-12), spanY = std::max(maxY - minY, 1e-12);
  // A margin inside the box for the labels of the outermost points.
  const double innerW = (right - left) * 0.84, innerH = (bottom - top) * 0.9;
  d.scale = std::min(innerW / spanX, innerH / spanY);
  d.originX = (left + right) / 2 - (minX + maxX) / 2 * d.scale;
  d.originY = (top + bottom) / 2 + (minY + maxY) / 2 * d.scale;
  const auto px = [&](double x) { return d.originX + x * d.scale; };
  const auto py = [&](double y) { return d.originY - y * d.scale; };

  d.frame = {{left, top, right, top}, {right, top, right, bottom}, {right, bottom, left, bottom},
             {left, bottom, left, top}};
  if (px(0) > left && px(0) < right) d.frame.push_back({px(0), top, px(0), bottom});
  if (py(0) > top && py(0) < bottom) d.frame.push_back({left, py(0), right, py(0)});
  const double tick = fontSize;
  const auto ticks = [&](double lo, double hi, bool horizontal) {
    const double step = niceStep(hi - lo, 6);
    for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step) {
      const double shown = std::fabs(v) < step * 1e-9 ? 0.0 : v;
      const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step))));
      const std::string text = fixed(shown, decimals);
      if (horizontal) {
        d.frame.push_back({px(v), bottom, px(v), bottom + 4});
        d.texts.push_back({px(v), bottom + 6 + tick, text, DrawnText::Role::Scale, DrawnText::Anchor::Middle, tick});
      } else {
        d.frame.push_back({left - 4, py(v), left, py(v)});
        d.texts.push_back({left - 6, py(v) + tick * 0.35, text, DrawnText::Role::Scale, DrawnText::Anchor::End, tick});
      }
    }
  };
  ticks((left - d.originX) / d.scale, (right - d.originX) / d.scale, true);
  ticks((d.originY - bottom) / d.scale, (d.originY - top) / d.scale, false);
  const auto title = [&](int axis) {
    std::string t = "Axis " + std::to_string(axis);
    if (axis >= 1 && axis <= static_cast<int>(r.explained.size()))
      t += " (" + fixed(100 * r.explained[static_cast<std::size_t>(axis - 1)], 1) + " %)";
    return t;
  };
  d.texts.push_back({(left + right) / 2, height - 10, title(axisX), DrawnText::Role::Scale, DrawnText::Anchor::Middle, tick + 1});
  d.texts.push_back({left, top - 10, title(axisY), DrawnText::Role::Scale, DrawnText::Anchor::Start, tick + 1});

  // Labels: each at the first of eight places around its point that meets no label placed
  // before, no point and not the box's edge; none where all are taken.
  std::vector<Box> taken;
  const double radius = 3;
  for (int t = 0; t < n; ++t) {
    d.points.push_back({px(value(t, axisX)), py(value(t, axisY)), t, false});
    taken.push_back({d.points.back().x - radius, d.points.back().y - radius, d.points.back().x + radius, d.points.back().y + radius});
  }
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int t = 0; t < n; ++t) order[static_cast<std::size_t>(t)] = t;
  for (const int t : order) {
    ScatterDrawing::Point& p = d.points[static_cast<std::size_t>(t)];
    const std::string label = toUtf8(names[static_cast<std::size_t>(t)]);
    const double w = textWidth(label, fontSize), h = fontSize;
    const double gap = radius + 2;
    const double places[8][2] = {{gap, -h / 2},         {-gap - w, -h / 2},      {-w / 2, -gap - h},
                                 {-w / 2, gap},         {gap, -gap - h},         {gap, gap},
                                 {-gap - w, -gap - h},  {-gap - w, gap}};
    for (const auto& place : places) {
      const Box b{p.x + place[0], p.y + place[1], p.x + place[0] + w, p.y + place[1] + h};
      if (b.x0 < left || b.x1 > right || b.y0 < top || b.y1 > bottom) continue;
      bool free = true;
      for (std::size_t k = 0; k < taken.size() && free; ++k)
        if (k != static_cast<std::size_t>(t) && taken[k].meets(b)) free = false;
      if (!free) continue;
      taken.push_back(b);
      p.labelled = true;
      d.texts.push_back({b.x0, b.y1 - h * 0.2, names[static_cast<std::size_t>(t)], DrawnText::Role::Leaf,
                         DrawnText::Anchor::Start, fontSize});
      break;
    }
  }
  return d;
}

TreeDrawing asTreeDrawing(const ScatterDrawing& d) {
  TreeDrawing t;
  t.width = d.width;
  t.height = d.height;
  t.lines = d.frame;
  for (const auto& p : d.points) {
    t.lines.push_back({p.x - 3, p.y, p.x + 3, p.y});
    t.lines.push_back({p.x, p.y - 3, p.x, p.y + 3});
  }
  t.texts = d.texts;
  return t;
}

std::string scatterSvg(const ScatterDrawing& d, const std::string& title,
                       const std::vector<std::string>& provenance) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + num(d.width) +
       "\" height=\"" + num(d.height) + "\" viewBox=\"0 0 " + num(d.width) + " " + num(d.height) + "\">\n";
  s += "<title>" + xmlEscape(toUtf8(title)) + "</title>\n<metadata id=\"provenance\">\n";
  for (const auto& line : provenance) s += xmlEscape(toUtf8(line)) + "\n";
  s += "</metadata>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s += "<g stroke=\"#555555\" stroke-width=\"1\" fill=\"none\">\n";
  for (const auto& l : d.frame)
    s += "<line x1=\"" + num(l.x1) + "\" y1=\"" + num(l.y1) + "\" x2=\"" + num(l.x2) + "\" y2=\"" + num(l.y2) + "\"/>\n";
  s += "</g>\n<g fill=\"#1f4e9c\">\n";
  for (const auto& p : d.points) s += "<circle cx=\"" + num(p.x) + "\" cy=\"" + num(p.y) + "\" r=\"3\"/>\n";
  s += "</g>\n<g font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" fill=\"black\">\n";
  for (const auto& t : d.texts) {
    s += "<text class=\"" + std::string(t.role == DrawnText::Role::Leaf ? "leaf" : "scale") + "\" x=\"" +
         num(t.x) + "\" y=\"" + num(t.y) + "\" font-size=\"" + num(t.size) + "\" text-anchor=\"" +
         (t.anchor == DrawnText::Anchor::Middle ? "middle" : t.anchor == DrawnText::Anchor::End ? "end" : "start") + "\"";
    s += " xml:space=\"preserve\">" + xmlEscape(toUtf8(t.text)) + "</text>\n";
  }
  s += "</g>\n</svg>\n";
  return s;
}

std::string coordinatesTsv(const PcoaResult& r, std::span<const std::string> names) {
  std::string out = "Taxon";
  for (int k = 1; k <= r.axes; ++k) out += "\tAxis " + std::to_string(k);
  out += '\n';
  for (std::size_t t = 0; t < r.coordinates.size(); ++t) {
    out += names[t];
    for (const double v : r.coordinates[t]) out += '\t' + lengthText(v);
    out += '\n';
  }
  return out;
}

std::string pcoaTsv(const AnalysisView& a, const PcoaResult& r, std::span<const std::string> names) {
  std::string out;
  for (const auto& l : provenanceLines(a)) out += "# " + l + "\n";
  out += "# Principal coordinates of the distances (1 - S of similarities), correction: ";
  out += correctionKeyword(r.correction);
  if (r.correction != PcoaCorrection::None) out += " (constant " + lengthText(r.constant) + ")";
  out += "\n# Negative eigenvalues: " + std::to_string(r.negativeCount) + "\n# Eigenvalue";
  for (int k = 0; k < r.axes; ++k) out += '\t' + lengthText(r.eigenvalues[static_cast<std::size_t>(k)]);
  out += "\n# Explained";
  for (int k = 0; k < r.axes; ++k) out += '\t' + lengthText(r.explained[static_cast<std::size_t>(k)]);
  out += '\n';
  return toUtf8(out + coordinatesTsv(r, names));
}

std::string pcoaSvg(const AnalysisView& a, const PcoaResult& r, std::span<const std::string> names,
                    int axisX, int axisY) {
  return scatterSvg(scatterDrawing(r, names, axisX, axisY), "Principal coordinates",
                    provenanceLines(a));
}

std::string distancesPhylip(const AnalysisView& a, const DistanceTable& d) {
  const int32_t n = d.size();
  std::string out = "    " + std::to_string(n) + "\n";
  for (int32_t i = 0; i < n; ++i) {
    std::string name = d.names[static_cast<std::size_t>(i)];
    for (char& c : name)
      if (c == ' ' || c == '\t') c = '_';
    if (name.size() < 10) name.resize(10, ' ');
    out += name;
    for (int32_t j = 0; j < n; ++j) out += ' ' + lengthText(d(i, j));
    out += '\n';
  }
  for (const auto& l : provenanceLines(a)) out += "# " + l + "\n";
  out += "# Distances: 1 - S of similarities, full precision\n";
  return toUtf8(out);
}

std::string copheneticText(const AnalysisView& a) {
  try {
    const Correlation c = copheneticOf(a.session);
    return "r = " + fixed(c.r, 6) + " (" + std::to_string(c.pairs) + " pairs)";
  } catch (const ComparisonError& e) {
    return e.what();
  }
}

std::string mantelText(const MantelResult& m) {
  std::string s = "r = " + fixed(m.r, 6);
  if (m.permutations > 0)
    s += ", p = " + lengthText(m.p) + " (" + std::to_string(m.permutations) + " permutations)";
  return s + ", " + std::to_string(m.pairs) + " pairs";
}

std::string treeDistanceText(const TreeDistance& d) {
  return "RF = " + std::to_string(d.rf) + ", normalised " + fixed(d.rfNormalised, 6) + " (" +
         (d.rooted ? "rooted clusters" : "unrooted splits") + ", " + std::to_string(d.groupsA) +
         " and " + std::to_string(d.groupsB) + ")";
}

std::string pcoaSummary(const PcoaResult& r) {
  std::string s;
  for (int k = 0; k < std::min(r.axes, 4); ++k)
    s += (k ? ", " : "") + std::string("axis ") + std::to_string(k + 1) + " " +
         fixed(100 * r.explained[static_cast<std::size_t>(k)], 2) + " %";
  if (r.axes == 0) s = "no axis with a positive eigenvalue";
  s += "; " + std::to_string(r.negativeCount) + " negative eigenvalue" + (r.negativeCount == 1 ? "" : "s");
  if (r.correction != PcoaCorrection::None)
    s += std::string(" (") + correctionKeyword(r.correction) + " correction, constant " + lengthText(r.constant) + ")";
  return s;
}

}  // namespace ramovia
