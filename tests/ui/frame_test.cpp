// The frame: opening files from the command line, failures, and the about dialog.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLabel>
#include <QGroupBox>
#include <QMdiArea>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTest>
#include <QUrl>

#include "about_box.h"
#include "main_form.h"
#include "ui_helpers.h"

namespace ramovia::ui {
namespace {

using testing::kDice;
using testing::Messages;
using testing::WriteFile;

const std::string kFrequency =
    "\tx\ty\tz\nL1\n1\t0.5\t0.2\t0.1\n2\t0.5\t0.8\t0.9\nL2\n3\t0.3\t0.6\t1\n4\t0.7\t0.4\t0\n";

TEST(Frame, LayoutAndMenus) {
  TMainForm frame;
  EXPECT_EQ(frame.windowTitle(), "Ramovia");
  EXPECT_EQ(frame.size(), QSize(441, 141));
  QStringList menus;
  for (QAction* a : frame.menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, QStringList({"&File", "&Window", "&Help"}));
  auto* newItem = frame.findChild<QAction*>("FileOpenItem");
  ASSERT_NE(newItem, nullptr);
  EXPECT_EQ(newItem->text(), "&New analyses...");
  EXPECT_EQ(newItem->statusTip(), "Open an existing file");
  EXPECT_EQ(frame.findChild<QAction*>("FileExitItem")->statusTip(),
            QString::fromUtf8("Ukončení aplikace"));
  EXPECT_EQ(frame.findChild<QAction*>("HelpAboutItem")->statusTip(), "Informace o programu");
  EXPECT_TRUE(frame.acceptDrops());
}

TEST(Frame, OpensTheCommandLineFilesInOrderWhenFirstShown) {
  Messages messages;
  QTemporaryDir dir;
  const QString first = WriteFile(dir, "dice.txt", kDice);
  const QString second = WriteFile(dir, "freq.sdf", kFrequency);
  TMainForm frame({first, second});
  EXPECT_TRUE(frame.AnalysisWindows().isEmpty());
  frame.show();
  QApplication::processEvents();
  const auto windows = frame.AnalysisWindows();
  ASSERT_EQ(windows.size(), 2);
  EXPECT_EQ(windows[0]->windowTitle(), first);
  EXPECT_EQ(windows[1]->windowTitle(), "Frequence analyze: " + second);
  // Frequency data offer four methods: "Users" is gone.
  const auto methods = windows[1]->findChild<QGroupBox*>("rdgMethod")->findChildren<QRadioButton*>();
  ASSERT_EQ(methods.size(), 4);
  EXPECT_EQ(methods[3]->text(), "Rearangement of taxa");
  EXPECT_EQ(windows[0]->findChild<QGroupBox*>("rdgMethod")->findChildren<QRadioButton*>().size(),
            5);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  // Shown again: nothing more is opened.
  frame.hide();
  frame.show();
  QApplication::processEvents();
  EXPECT_EQ(frame.AnalysisWindows().size(), 2);
}

TEST(Frame, AFileThatCannotBeReadStopsTheRestOfTheCommand) {
  Messages messages;
  QTemporaryDir dir;
  const QString good = WriteFile(dir, "a.txt", kDice);
  const QString missing = dir.filePath("missing.txt");
  TMainForm frame;
  frame.show();
  frame.OpenFiles({good, missing, good});
  EXPECT_EQ(frame.AnalysisWindows().size(), 1);
  ASSERT_EQ(messages.list.size(), 1);
  EXPECT_EQ(messages.list[0], "Cannot open file " + missing);
}

TEST(Frame, AnEmptyFileKeepsItsWindowAndStopsTheCommand) {
  Messages messages;
  QTemporaryDir dir;
  const QString empty = WriteFile(dir, "empty.txt", "");
  const QString good = WriteFile(dir, "a.txt", kDice);
  TMainForm frame;
  frame.show();
  frame.OpenFiles({empty, good});
  ASSERT_EQ(frame.AnalysisWindows().size(), 1);
  EXPECT_EQ(frame.AnalysisWindows()[0]->windowTitle(), empty);
  ASSERT_EQ(messages.list.size(), 1);
  EXPECT_EQ(messages.list[0], "List index out of bounds (0)");
}

TEST(Frame, ClosingClosesEveryWindow) {
  QTemporaryDir dir;
  TMainForm frame;
  frame.show();
  frame.FileOpen();
  frame.FileOpen();
  EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 2);
  EXPECT_TRUE(frame.close());
}

// Receives the mailto: link instead of a mail program.
class MailCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};

TEST(AboutBox, VersionColoursAndLinks) {
  TMainForm frame;
  TformAboutBox box(&frame);
  EXPECT_EQ(box.windowTitle(), "About Ramovia");
  EXPECT_EQ(box.size(), QSize(360, 286));
  EXPECT_EQ(box.lblVersion->text(), "Version 0.1.0.0");
  const QColor grey(128, 128, 128), white(255, 255, 255);
  auto colour = [](QLabel* l) { return l->palette().color(QPalette::WindowText); };
  EXPECT_EQ(colour(box.lblOK), grey);
  box.show();
  QTest::mouseMove(box.lblOK, QPoint(5, 5));
  QMouseEvent overOk(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
  QApplication::sendEvent(box.lblOK, &overOk);
  EXPECT_EQ(colour(box.lblOK), white);
  EXPECT_EQ(colour(box.lblInfo), grey);
  QMouseEvent overMail(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton,
                       Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(box.lblEmail, &overMail);
  EXPECT_EQ(colour(box.lblInfo), white);
  EXPECT_EQ(colour(box.lblEmail), white);
  QMouseEvent overBack(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton,
                       Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&box, &overBack);
  EXPECT_EQ(colour(box.lblOK), grey);
  EXPECT_EQ(colour(box.lblInfo), grey);
  EXPECT_EQ(colour(box.lblEmail), grey);

  MailCatcher mail;
  QDesktopServices::setUrlHandler("mailto", &mail, "open");
  QTest::mouseClick(box.lblEmail, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler("mailto");
  ASSERT_EQ(mail.urls.size(), 1);
  EXPECT_EQ(mail.urls[0].toString(), QString("mailto:") + kContactAddress);
  QTest::mouseClick(box.lblOK, Qt::LeftButton);
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace ramovia::ui

#include "frame_test.moc"
