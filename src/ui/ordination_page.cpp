#include "ordination_page.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "analysis/comparison_files.h"
#include "analysis/session_comparisons.h"
#include "output/display_text.h"
#include "output/ordination_view.h"
#include "tree_drawing.h"
#include "ui_support.h"

namespace ramovia::ui {

namespace {

std::string readWhole(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) throw ComparisonError("Cannot open file " + toBytes(path));
  const QByteArray bytes = f.readAll();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

OrdinationPage::OrdinationPage() {
  setObjectName("ordinationPage");
  axisX = new QComboBox;
  axisY = new QComboBox;
  for (QComboBox* box : {axisX, axisY})
    for (int k = 1; k <= 4; ++k) box->addItem(QString("Axis %1").arg(k));
  axisX->setObjectName("ordinationAxisX");
  axisY->setObjectName("ordinationAxisY");
  axisY->setCurrentIndex(1);
  axisX->setToolTip("The axis drawn across");
  axisY->setToolTip("The axis drawn upwards");
  summary = new QLabel;
  summary->setObjectName("ordinationSummary");
  summary->setWordWrap(true);
  plot = new TreeDrawingView;
  plot->setObjectName("ordinationPlot");
  auto* copy = new QPushButton("Copy coordinates");
  copy->setToolTip("The coordinates of every taxon on the axes, tab-separated, to the clipboard");
  auto* save = new QPushButton("Save plot...");
  save->setToolTip("The plot as SVG, PNG or PDF");
  compareCoefficient = new QComboBox;
  for (const CoefficientInfo& c : allCoefficients())
    compareCoefficient->addItem(toDisplay(c.label), QChar(c.letter));
  compareCoefficient->setObjectName("compareCoefficient");
  compareCoefficient->setToolTip("The coefficient whose matrix and tree the analysis is compared with");
  compareButton = new QPushButton("Compare");
  compareButton->setToolTip("Mantel test and tree distance against this coefficient on the same data");
  matrixButton = new QPushButton("Matrix file...");
  matrixButton->setToolTip("Mantel test against a matrix of the same taxa (PHYLIP or tab-separated)");
  treeButton = new QPushButton("Tree file...");
  treeButton->setToolTip("Tree distance to a Newick tree of the same taxa");
  comparison = new QLabel;
  comparison->setObjectName("ordinationComparison");
  comparison->setWordWrap(true);
  comparison->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* axes = new QHBoxLayout;
  axes->addWidget(new QLabel("Horizontal:"));
  axes->addWidget(axisX);
  axes->addWidget(new QLabel("Vertical:"));
  axes->addWidget(axisY);
  axes->addStretch(1);
  axes->addWidget(copy);
  axes->addWidget(save);
  auto* compare = new QHBoxLayout;
  compare->addWidget(new QLabel("Compare with:"));
  compare->addWidget(compareCoefficient);
  compare->addWidget(compareButton);
  compare->addWidget(matrixButton);
  compare->addWidget(treeButton);
  compare->addStretch(1);
  auto* l = new QVBoxLayout(this);
  l->addLayout(axes);
  l->addWidget(summary);
  l->addWidget(plot, 1);
  l->addLayout(compare);
  l->addWidget(comparison);

  connect(axisX, &QComboBox::activated, this, [this] { redraw(); });
  connect(axisY, &QComboBox::activated, this, [this] { redraw(); });
  connect(copy, &QPushButton::clicked, this, [this] { copyCoordinates(); });
  connect(save, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, "Save the plot", QString(),
                                                      "SVG (*.svg);;PNG (*.png);;PDF (*.pdf)");
    if (!path.isEmpty()) savePlot(path);
  });
  connect(compareButton, &QPushButton::clicked, this, [this] {
    if (view_) comparePlan(*view_, seed_, QString(), QString());
  });
  connect(matrixButton, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "A matrix of the same taxa");
    if (!path.isEmpty() && view_) comparePlan(*view_, seed_, path, QString());
  });
  connect(treeButton, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "A Newick tree of the same taxa", QString(),
                                                      "Newick (*.nwk *.newick *.tre *.tree);;All files (*)");
    if (!path.isEmpty() && view_) comparePlan(*view_, seed_, QString(), path);
  });
}

void OrdinationPage::invalidate() {
  result_.reset();
  view_.reset();
  plot->setDrawing({});
  summary->clear();
  comparison->clear();
}

void OrdinationPage::refresh(const AnalysisView& view, uint32_t seed) {
  seed_ = seed;
  view_.emplace(view);
  if (result_) return;
  try {
    const DistanceTable d = matrixDistances(view.session);
    names_ = d.names;
    result_ = principalCoordinates(d, PcoaCorrection::None, 4);
    summary->setText(toDisplay("Principal coordinates of the distances (1 - S of similarities): " +
                               pcoaSummary(*result_) + ". Cophenetic correlation of the reference tree: " +
                               copheneticText(view) + "."));
  } catch (const std::exception& e) {
    summary->setText(toDisplay(e.what()));
    result_.reset();
  }
  redraw();
}

void OrdinationPage::redraw() {
  if (!result_) {
    plot->setDrawing({});
    return;
  }
  plot->setDrawing(asTreeDrawing(scatterDrawing(*result_, names_, axisX->currentIndex() + 1,
                                                axisY->currentIndex() + 1)));
}

void OrdinationPage::copyCoordinates() {
  if (!result_) return;
  QApplication::clipboard()->setText(toDisplay(coordinatesTsv(*result_, names_)));
}

bool OrdinationPage::savePlot(const QString& path) {
  if (!result_ || !view_) {
    showMessage(this, "There is no plot to save: compute the matrix first.");
    return false;
  }
  return guarded(this, [&] {
    const std::string file = toBytes(path);
    const auto format = treeFormatForPath(file);
    const ScatterDrawing d = scatterDrawing(*result_, names_, axisX->currentIndex() + 1, axisY->currentIndex() + 1);
    std::string content;
    if (format == TreeFileFormat::Svg) {
      content = scatterSvg(d, "Principal coordinates", provenanceLines(*view_));
    } else if (format == TreeFileFormat::Png || format == TreeFileFormat::Pdf) {
      const QByteArray bytes = format == TreeFileFormat::Png ? treeDrawingPng(asTreeDrawing(d))
                                                             : treeDrawingPdf(asTreeDrawing(d), "Principal coordinates");
      content.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    } else {
      throw ExportError("Save the plot as .svg, .png or .pdf.");
    }
    writeFileAtomically(file, content);
  });
}

void OrdinationPage::comparePlan(const AnalysisView& view, uint32_t seed, const QString& matrixFile,
                                 const QString& treeFile) {
  guarded(this, [&] {
    const Session& session = view.session;
    const DistanceTable d = matrixDistances(session);
    std::string text;
    if (!treeFile.isEmpty()) {
      const std::string name = toBytes(treeFile);
      const TreeDistance t = treeDistanceTo(session, readNewickTree(readWhole(treeFile), session.resultsData().taxa, name));
      text = "Tree distance to " + name + ": " + treeDistanceText(t);
    } else if (!matrixFile.isEmpty()) {
      const std::string name = toBytes(matrixFile);
      const DistanceTable other = alignedTo(d, readDistanceFile(readWhole(matrixFile), view.decimalSeparator, name), name);
      text = "Mantel test against " + name + ": " + mantelText(mantelTest(d, other, 999, seed));
    } else {
      // The other coefficient as the program would compute it on its own, from the same seed.
      const char letter = compareCoefficient->currentData().toChar().toLatin1();
      const OtherAnalysis other = analyseWith(session, *coefficientForLetter(letter), seed);
      const MantelResult m = mantelTest(d, alignedTo(d, other.distances, "The other matrix"), 999, seed);
      const TreeDistance t = treeDistanceTo(session, flatten(other.tree));
      text = std::string("Coefficient ") + letter + ": Mantel test " + mantelText(m) +
             "; tree distance " + treeDistanceText(t);
    }
    comparison->setText(toDisplay(text));
  });
}

}  // namespace ramovia::ui
