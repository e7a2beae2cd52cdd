// The drawings of the tree pages and the save commands, against the command line's files.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QSet>
#include <QSpinBox>
#include <QTabWidget>
#include <QXmlStreamReader>
#include <sys/stat.h>

#include "../core/capability_util.h"
#include "main_window.h"
#include "output/exports.h"
#include "tree_drawing.h"
#include "ui_helpers.h"

namespace ramovia::ui {
namespace {

using testing::Messages;
using testing::waitIdle;

QByteArray slurp(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The texts of class "leaf" of an SVG document, which must parse as XML.
QStringList svgLeaves(const QByteArray& svg) {
  QXmlStreamReader xml(svg);
  QStringList leaves;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("text") &&
        xml.attributes().value("class") == QLatin1String("leaf"))
      leaves << xml.readElementText();
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return leaves;
}

struct ExportsFixture : ::testing::Test {
  MainWindow frame;
  AnalysisWindow* w = nullptr;
  QTemporaryDir dir;
  Messages messages;

  // Open, coefficient, method, and a bootstrap run, as the user would.
  void analyze(const QString& file, int coefficient, bool nj, int replicates) {
    frame.show();
    ASSERT_TRUE(frame.openFile(file));
    w = frame.analysisWindows().back();
    w->chooseCoefficient(coefficient);
    waitIdle(w);
    if (nj)
      w->chooseNeighborJoining();
    else
      w->chooseUpgma();
    waitIdle(w);
    w->chooseResampling(0);
    w->findChild<QSpinBox*>("replicates")->setValue(replicates);
    w->run();
    waitIdle(w);
    ASSERT_TRUE(messages.list.isEmpty()) << messages.list.join(' ').toStdString();
  }
  QString path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(ExportsFixture, WindowAndCommandLineWriteTheSameFiles) {
  const QString input = QString(RAMOVIA_EXAMPLES) + "/restriction.txt";
  analyze(input, 0, true, 25);
  const QStringList kinds = {"nwk", "svg", "tsv", "phy", "txt"};
  ASSERT_TRUE(w->saveTree(path("w.nwk"), AnalysisWindow::TreeSource::Reference));
  ASSERT_TRUE(w->saveTree(path("w.svg"), AnalysisWindow::TreeSource::Reference));
  ASSERT_TRUE(w->saveMatrix(path("w.tsv")));
  ASSERT_TRUE(w->saveMatrix(path("w.phy")));
  ASSERT_TRUE(w->saveReport(path("w.txt")));
  for (const QString& matrix : {QString("tsv"), QString("phy")}) {
    QProcess cli;
    cli.start(RAMOVIA_CLI_BINARY,
              {"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "25", "--seed", "0", "--newick",
               path("c.nwk"), "--svg", path("c.svg"), "--matrix", path("c." + matrix), "--report",
               path("c.txt"), input});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  }
  for (const QString& k : kinds) {
    const QByteArray fromWindow = slurp(path("w." + k)), fromCli = slurp(path("c." + k));
    EXPECT_FALSE(fromWindow.isEmpty()) << k.toStdString();
    EXPECT_EQ(fromWindow.toStdString(), fromCli.toStdString()) << k.toStdString();
  }
  EXPECT_TRUE(slurp(path("w.nwk")).endsWith(");\n"));
}

TEST_F(ExportsFixture, DrawingsShowEveryLeafAndTheSvgParses) {
  // Allele frequencies under UPGMA: a distance tree with its heights.
  analyze(QString(RAMOVIA_EXAMPLES) + "/alleles.txt", 7, false, 10);
  const AnalysisView a = w->presenter().view();
  QSet<QString> taxa;
  for (const auto& name : a.matrix.names()) taxa.insert(toDisplay(name));
  ASSERT_EQ(taxa.size(), 6);

  TreeDrawingView* ref = w->referenceTreeDrawing();
  QSet<QString> drawn;
  int supports = 0;
  for (const auto& t : ref->drawing().texts) {
    if (t.role == DrawnText::Role::Leaf) drawn.insert(toDisplay(t.text));
    if (t.role == DrawnText::Role::Support) ++supports;
  }
  EXPECT_EQ(drawn, taxa);
  EXPECT_EQ(supports, 5);  // every inner node of six taxa

  ASSERT_TRUE(w->saveTree(path("r.svg"), AnalysisWindow::TreeSource::Reference));
  const QStringList leaves = svgLeaves(slurp(path("r.svg")));
  EXPECT_EQ(QSet<QString>(leaves.begin(), leaves.end()), taxa);
  EXPECT_EQ(leaves.size(), 6);
  // Heights of a distance: no branch of the UPGMA tree is negative.
  const std::string nwk = referenceTreeNewick(a);
  EXPECT_EQ(nwk.find(":-"), std::string::npos) << nwk;

  // A listed tree: drawn on the page "Trees" once its line is clicked, and saved from there.
  EXPECT_TRUE(w->treesDrawing()->isEmpty());
  auto* list = w->findChild<QListWidget*>("treeList");
  list->setCurrentRow(0);
  w->showListedTree();
  EXPECT_FALSE(w->treesDrawing()->isEmpty());
  w->pages()->setCurrentWidget(w->findChild<QWidget*>("treesPage"));
  EXPECT_EQ(w->currentTreeSource(), AnalysisWindow::TreeSource::Listed);
  ASSERT_TRUE(w->saveTree(path("l.nwk"), w->currentTreeSource()));
  EXPECT_EQ(slurp(path("l.nwk")).toStdString(), listedTreeNewick(a, 0));
  const QStringList listed = svgLeaves(listedTreeSvg(a, 0).c_str());
  EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()), taxa);
}

TEST_F(ExportsFixture, PngPdfZoomAndFit) {
  analyze(QString(RAMOVIA_EXAMPLES) + "/restriction.txt", 0, true, 5);
  ASSERT_TRUE(w->saveTree(path("t.png"), AnalysisWindow::TreeSource::Reference));
  ASSERT_TRUE(w->saveTree(path("t.pdf"), AnalysisWindow::TreeSource::Reference));
  const QImage png(path("t.png"));
  const TreeDrawing& d = w->referenceTreeDrawing()->drawing();
  EXPECT_EQ(png.width(), static_cast<int>(d.width * 2 + 0.5));
  EXPECT_TRUE(slurp(path("t.pdf")).startsWith("%PDF"));
  EXPECT_FALSE(w->saveTree(path("t.gif"), AnalysisWindow::TreeSource::Reference));
  EXPECT_FALSE(QFile::exists(path("t.gif")));
  ASSERT_EQ(messages.list.size(), 1);

  TreeDrawingView* v = w->referenceTreeDrawing();
  v->resize(200, 100);
  v->fitToWindow();
  EXPECT_LT(v->zoom(), 1.0);
  const double fitted = v->zoom();
  v->zoomIn();
  EXPECT_GT(v->zoom(), fitted);
  EXPECT_EQ(v->widget()->width(), static_cast<int>(d.width * v->zoom() + 0.5));
}

TEST_F(ExportsFixture, ReadOnlyFolderShowsAMessageAndLeavesNothing) {
  analyze(QString(RAMOVIA_EXAMPLES) + "/restriction.txt", 0, true, 5);
  const QString ro = path("ro");
  ASSERT_TRUE(QDir().mkpath(ro));
  ::chmod(ro.toLocal8Bit().constData(), 0555);
  bool skipped = false;
  {
    ramovia::testing::WithoutDacOverride asUser;
    if (ramovia::testing::CanCreateIn(ro.toStdString())) {
      skipped = true;
    } else {
      EXPECT_FALSE(w->saveTree(ro + "/t.svg", AnalysisWindow::TreeSource::Reference));
      EXPECT_FALSE(w->saveMatrix(ro + "/m.phy"));
      EXPECT_FALSE(w->saveReport(ro + "/r.txt"));
    }
  }
  ::chmod(ro.toLocal8Bit().constData(), 0755);
  if (skipped) GTEST_SKIP() << "this process can write anywhere";
  ASSERT_EQ(messages.list.size(), 3);
  EXPECT_EQ(messages.list[0], "Cannot write " + ro + "/t.svg: Permission denied");
  EXPECT_TRUE(QDir(ro).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

}  // namespace
}  // namespace ramovia::ui
