// Principal coordinates and the comparisons as the user sees them: the scatter plot of two axes
// with labels that do not overlap, its SVG, the coordinates as tab-separated text, and the lines
// of text that report the statistics.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/comparison.h"
#include "output/exports.h"
#include "output/tree_layout.h"

namespace ramovia {

struct ScatterDrawing {
  double width = 0.0, height = 0.0;
  std::vector<DrawnLine> frame;  // the plot's box and the axes through 0
  std::vector<DrawnText> texts;  // taxon labels (Leaf), ticks and axis titles (Scale)
  struct Point {
    double x, y;
    int32_t taxon;      // row of the coordinates
    bool labelled;      // false where every place for its label was taken
  };
  std::vector<Point> points;
  // The data's coordinates at the drawing's origin and its pixels per unit (the same on both
  // axes, so distances keep their proportions).
  double originX = 0, originY = 0, scale = 1;
};

// Axes are 1-based; names are bytes as the table gave them.
ScatterDrawing scatterDrawing(const PcoaResult& r, std::span<const std::string> names, int axisX,
                              int axisY, double width = 760, double height = 600,
                              double fontSize = 11);
// The same as lines and texts, each point a small cross, for painters of tree drawings.
TreeDrawing asTreeDrawing(const ScatterDrawing& d);
std::string scatterSvg(const ScatterDrawing& d, const std::string& title,
                       const std::vector<std::string>& provenance);

// "Taxon", "Axis 1", ... then a row per taxon, full precision.
std::string coordinatesTsv(const PcoaResult& r, std::span<const std::string> names);
// The file of --pcoa: the settings, eigenvalues and shares as "#" lines, then the coordinates.
std::string pcoaTsv(const AnalysisView& a, const PcoaResult& r, std::span<const std::string> names);
std::string pcoaSvg(const AnalysisView& a, const PcoaResult& r, std::span<const std::string> names,
                    int axisX = 1, int axisY = 2);

// PHYLIP square, relaxed names (blanks as underscores), 15 significant digits; "#" lines after.
std::string distancesPhylip(const AnalysisView& a, const DistanceTable& d);

// "r = 0.912345 (21 pairs)"; the reason when it is not defined.
std::string copheneticText(const AnalysisView& a);
std::string mantelText(const MantelResult& m);
std::string treeDistanceText(const TreeDistance& d);
std::string pcoaSummary(const PcoaResult& r);

}  // namespace ramovia
