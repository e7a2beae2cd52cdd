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
#include "main_form.h"
#include "resampling/exports.h"
#include "resampling/random.h"
#include "tree_drawing.h"
#include "ui_helpers.h"

namespace ramovia::ui {
namespace {

using testing::Messages;
using testing::WaitIdle;

QByteArray Slurp(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The texts of class "leaf" of an SVG document, which must parse as XML.
QStringList SvgLeaves(const QByteArray& svg) {
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
  TMainForm frame;
  TfrmNasobnyTest* w = nullptr;
  QTemporaryDir dir;
  Messages messages;

  // Open, coefficient, method, and a bootstrap run, as the user would.
  void Analyze(const QString& file, int coefficient, bool nj, int replicates) {
    frame.show();
    SetRandomSeed(0);
    ASSERT_TRUE(frame.OpenFile(file));
    w = frame.AnalysisWindows().back();
    w->ComboBox1Change(coefficient);
    WaitIdle(w);
    if (nj)
      w->RadioButton2Click();
    else
      w->RadioButton1Click();
    WaitIdle(w);
    w->rdgMethodClick(0);
    w->findChild<QSpinBox*>("editRepeat")->setValue(replicates);
    w->btnRunClick();
    WaitIdle(w);
    ASSERT_TRUE(messages.list.isEmpty()) << messages.list.join(' ').toStdString();
  }
  QString Path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(ExportsFixture, WindowAndCommandLineWriteTheSameFiles) {
  const QString input = QString(RAMOVIA_EXAMPLES) + "/restriction.txt";
  Analyze(input, 0, true, 25);
  const QStringList kinds = {"nwk", "svg", "tsv", "phy", "txt"};
  ASSERT_TRUE(w->SaveTree(Path("w.nwk"), TfrmNasobnyTest::TreeSource::Reference));
  ASSERT_TRUE(w->SaveTree(Path("w.svg"), TfrmNasobnyTest::TreeSource::Reference));
  ASSERT_TRUE(w->SaveMatrix(Path("w.tsv")));
  ASSERT_TRUE(w->SaveMatrix(Path("w.phy")));
  ASSERT_TRUE(w->SaveReport(Path("w.txt")));
  for (const QString& matrix : {QString("tsv"), QString("phy")}) {
    QProcess cli;
    cli.start(RAMOVIA_CLI_BINARY,
              {"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "25", "--seed", "0", "--newick",
               Path("c.nwk"), "--svg", Path("c.svg"), "--matrix", Path("c." + matrix), "--report",
               Path("c.txt"), input});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  }
  for (const QString& k : kinds) {
    const QByteArray fromWindow = Slurp(Path("w." + k)), fromCli = Slurp(Path("c." + k));
    EXPECT_FALSE(fromWindow.isEmpty()) << k.toStdString();
    EXPECT_EQ(fromWindow.toStdString(), fromCli.toStdString()) << k.toStdString();
  }
  EXPECT_TRUE(Slurp(Path("w.nwk")).endsWith(")100;\n"));
}

TEST_F(ExportsFixture, DrawingsShowEveryLeafAndTheSvgParses) {
  // Allele frequencies under UPGMA: a distance tree with its heights.
  Analyze(QString(RAMOVIA_EXAMPLES) + "/alleles.txt", 7, false, 10);
  const Analysis& a = w->analysis();
  QSet<QString> taxa;
  for (const auto& name : a.Matrix.Names()) taxa.insert(Show(name));
  ASSERT_EQ(taxa.size(), 6);

  TreeDrawingView* ref = w->RefTreeDrawing();
  QSet<QString> drawn;
  int supports = 0;
  for (const auto& t : ref->Drawing().texts) {
    if (t.role == DrawnText::Role::Leaf) drawn.insert(Show(t.text));
    if (t.role == DrawnText::Role::Support) ++supports;
  }
  EXPECT_EQ(drawn, taxa);
  EXPECT_EQ(supports, 5);  // every inner node of six taxa

  ASSERT_TRUE(w->SaveTree(Path("r.svg"), TfrmNasobnyTest::TreeSource::Reference));
  const QStringList leaves = SvgLeaves(Slurp(Path("r.svg")));
  EXPECT_EQ(QSet<QString>(leaves.begin(), leaves.end()), taxa);
  EXPECT_EQ(leaves.size(), 6);
  // Heights of a distance: no branch of the UPGMA tree is negative.
  const std::string nwk = ReferenceTreeNewick(a);
  EXPECT_EQ(nwk.find(":-"), std::string::npos) << nwk;

  // A listed tree: drawn on the page "Trees" once its line is clicked, and saved from there.
  EXPECT_TRUE(w->TreesDrawing()->IsEmpty());
  auto* list = w->findChild<QListWidget*>("lboxTrees");
  list->setCurrentRow(0);
  w->lboxTreesClick();
  EXPECT_FALSE(w->TreesDrawing()->IsEmpty());
  w->Pages()->setCurrentWidget(w->findChild<QWidget*>("TabSheet4"));
  EXPECT_EQ(w->CurrentTreeSource(), TfrmNasobnyTest::TreeSource::Listed);
  ASSERT_TRUE(w->SaveTree(Path("l.nwk"), w->CurrentTreeSource()));
  EXPECT_EQ(Slurp(Path("l.nwk")).toStdString(), ListedTreeNewick(a, 0));
  const QStringList listed = SvgLeaves(ListedTreeSvg(a, 0).c_str());
  EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()), taxa);
}

TEST_F(ExportsFixture, PngPdfZoomAndFit) {
  Analyze(QString(RAMOVIA_EXAMPLES) + "/restriction.txt", 0, true, 5);
  ASSERT_TRUE(w->SaveTree(Path("t.png"), TfrmNasobnyTest::TreeSource::Reference));
  ASSERT_TRUE(w->SaveTree(Path("t.pdf"), TfrmNasobnyTest::TreeSource::Reference));
  const QImage png(Path("t.png"));
  const TreeDrawing& d = w->RefTreeDrawing()->Drawing();
  EXPECT_EQ(png.width(), static_cast<int>(d.width * 2 + 0.5));
  EXPECT_TRUE(Slurp(Path("t.pdf")).startsWith("%PDF"));
  EXPECT_FALSE(w->SaveTree(Path("t.gif"), TfrmNasobnyTest::TreeSource::Reference));
  EXPECT_FALSE(QFile::exists(Path("t.gif")));
  ASSERT_EQ(messages.list.size(), 1);

  TreeDrawingView* v = w->RefTreeDrawing();
  v->resize(200, 100);
  v->FitToWindow();
  EXPECT_LT(v->Zoom(), 1.0);
  const double fitted = v->Zoom();
  v->ZoomIn();
  EXPECT_GT(v->Zoom(), fitted);
  EXPECT_EQ(v->widget()->width(), static_cast<int>(d.width * v->Zoom() + 0.5));
}

TEST_F(ExportsFixture, ReadOnlyFolderShowsAMessageAndLeavesNothing) {
  Analyze(QString(RAMOVIA_EXAMPLES) + "/restriction.txt", 0, true, 5);
  const QString ro = Path("ro");
  ASSERT_TRUE(QDir().mkpath(ro));
  ::chmod(ro.toLocal8Bit().constData(), 0555);
  bool skipped = false;
  {
    ramovia::testing::WithoutDacOverride asUser;
    if (ramovia::testing::CanCreateIn(ro.toStdString())) {
      skipped = true;
    } else {
      EXPECT_FALSE(w->SaveTree(ro + "/t.svg", TfrmNasobnyTest::TreeSource::Reference));
      EXPECT_FALSE(w->SaveMatrix(ro + "/m.phy"));
      EXPECT_FALSE(w->SaveReport(ro + "/r.txt"));
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
