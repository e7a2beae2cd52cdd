// "Ordination": the principal coordinates of the matrix as a scatter plot (two of the first four
// axes, labels that do not overlap, zoom, saved like the trees, coordinates copied as text), and
// the comparisons with another coefficient, a matrix file or a tree file.
#pragma once

#include <QWidget>
#include <optional>

#include "analysis/ordination.h"
#include "output/exports.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace ramovia::ui {

class TreeDrawingView;

class OrdinationPage : public QWidget {
  Q_OBJECT
 public:
  OrdinationPage();
  // The analysis changed: what was computed is dropped, and computed again when shown.
  void invalidate();
  // Computes what is missing for this analysis (the window calls it when the page is shown).
  void refresh(const AnalysisView& view, uint32_t seed);

  void copyCoordinates();
  bool savePlot(const QString& path);
  void comparePlan(const AnalysisView& view, uint32_t seed, const QString& matrixFile,
                   const QString& treeFile);

  QComboBox* axisX;
  QComboBox* axisY;
  QLabel* summary;
  TreeDrawingView* plot;
  QComboBox* compareCoefficient;
  QPushButton* compareButton;
  QPushButton* matrixButton;
  QPushButton* treeButton;
  QLabel* comparison;

 private:
  void redraw();
  std::optional<PcoaResult> result_;
  std::vector<std::string> names_;
  std::optional<AnalysisView> view_;
  uint32_t seed_ = 0;
};

}  // namespace ramovia::ui
