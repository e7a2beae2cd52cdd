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
#include <QScreen>

#include "about_dialog.h"
#include "main_window.h"
#include "ui_helpers.h"

namespace ramovia::ui {
namespace {

using testing::kDice;
using testing::Messages;
using testing::writeFile;

const std::string kFrequency =
    "\tx\ty\tz\nL1\n1\t0.5\t0.2\t0.1\n2\t0.5\t0.8\t0.9\nL2\n3\t0.3\t0.6\t1\n4\t0.7\t0.4\t0\n";

TEST(Frame, LayoutAndMenus) {
  MainWindow frame;
  EXPECT_EQ(frame.windowTitle(), "Ramovia");
  // 80 % of the screen, where the description has 441 x 141.
  const QRect screen = frame.screen()->availableGeometry();
  EXPECT_EQ(frame.size(), QSize(screen.width() * 4 / 5, screen.height() * 4 / 5));
  QStringList menus;
  for (QAction* a : frame.menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, QStringList({"&File", "&Window", "&Help"}));
  auto* newItem = frame.findChild<QAction*>("newAction");
  ASSERT_NE(newItem, nullptr);
  EXPECT_EQ(newItem->text(), "&New analyses...");
  EXPECT_EQ(newItem->statusTip(), "Open an existing file");
  EXPECT_EQ(frame.findChild<QAction*>("exitAction")->statusTip(),
            QString::fromUtf8("Ukončení aplikace"));
  EXPECT_EQ(frame.findChild<QAction*>("aboutAction")->statusTip(), "Informace o programu");
  EXPECT_TRUE(frame.acceptDrops());
}

TEST(Frame, OpensTheCommandLineFilesInOrderWhenFirstShown) {
  Messages messages;
  QTemporaryDir dir;
  const QString first = writeFile(dir, "dice.txt", kDice);
  const QString second = writeFile(dir, "freq.sdf", kFrequency);
  MainWindow frame({first, second});
  EXPECT_TRUE(frame.analysisWindows().isEmpty());
  frame.show();
  QApplication::processEvents();
  const auto windows = frame.analysisWindows();
  ASSERT_EQ(windows.size(), 2);
  EXPECT_EQ(windows[0]->windowTitle(), first);
  EXPECT_EQ(windows[1]->windowTitle(), "Frequence analyze: " + second);
  // Frequency data offer four methods: "Users" is gone.
  const auto methods = windows[1]->findChild<QGroupBox*>("methodGroup")->findChildren<QRadioButton*>();
  ASSERT_EQ(methods.size(), 4);
  EXPECT_EQ(methods[3]->text(), "Rearangement of taxa");
  EXPECT_EQ(windows[0]->findChild<QGroupBox*>("methodGroup")->findChildren<QRadioButton*>().size(),
            5);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  // Shown again: nothing more is opened.
  frame.hide();
  frame.show();
  QApplication::processEvents();
  EXPECT_EQ(frame.analysisWindows().size(), 2);
}

TEST(Frame, AFileThatCannotBeReadStopsTheRestOfTheCommand) {
  Messages messages;
  QTemporaryDir dir;
  const QString good = writeFile(dir, "a.txt", kDice);
  const QString missing = dir.filePath("missing.txt");
  MainWindow frame;
  frame.show();
  frame.openFiles({good, missing, good});
  EXPECT_EQ(frame.analysisWindows().size(), 1);
  ASSERT_EQ(messages.list.size(), 1);
  EXPECT_EQ(messages.list[0], "Cannot open file " + missing);
}

TEST(Frame, AnEmptyFileKeepsItsWindowAndStopsTheCommand) {
  Messages messages;
  QTemporaryDir dir;
  const QString empty = writeFile(dir, "empty.txt", "");
  const QString good = writeFile(dir, "a.txt", kDice);
  MainWindow frame;
  frame.show();
  frame.openFiles({empty, good});
  ASSERT_EQ(frame.analysisWindows().size(), 1);
  EXPECT_EQ(frame.analysisWindows()[0]->windowTitle(), empty);
  ASSERT_EQ(messages.list.size(), 2);
  EXPECT_EQ(messages.list[0], "The table is empty: there is no line with text in it.");
  EXPECT_EQ(messages.list[1], "List index out of bounds (0)");
}

TEST(Frame, ClosingClosesEveryWindow) {
  QTemporaryDir dir;
  MainWindow frame;
  frame.show();
  frame.newAnalysis();
  frame.newAnalysis();
  EXPECT_EQ(frame.mdiArea()->subWindowList().size(), 2);
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
  MainWindow frame;
  AboutDialog box(&frame);
  EXPECT_EQ(box.windowTitle(), "About Ramovia");
  EXPECT_EQ(box.size(), QSize(360, 286));
  EXPECT_EQ(box.versionLabel->text(), "Version 0.1.0.0");
  const QColor grey(128, 128, 128), white(255, 255, 255);
  auto colour = [](QLabel* l) { return l->palette().color(QPalette::WindowText); };
  EXPECT_EQ(colour(box.okLabel), grey);
  box.show();
  QTest::mouseMove(box.okLabel, QPoint(5, 5));
  QMouseEvent overOk(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
  QApplication::sendEvent(box.okLabel, &overOk);
  EXPECT_EQ(colour(box.okLabel), white);
  EXPECT_EQ(colour(box.infoLabel), grey);
  QMouseEvent overMail(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton,
                       Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(box.emailLabel, &overMail);
  EXPECT_EQ(colour(box.infoLabel), white);
  EXPECT_EQ(colour(box.emailLabel), white);
  QMouseEvent overBack(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton,
                       Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&box, &overBack);
  EXPECT_EQ(colour(box.okLabel), grey);
  EXPECT_EQ(colour(box.infoLabel), grey);
  EXPECT_EQ(colour(box.emailLabel), grey);

  MailCatcher mail;
  QDesktopServices::setUrlHandler("mailto", &mail, "open");
  QTest::mouseClick(box.emailLabel, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler("mailto");
  ASSERT_EQ(mail.urls.size(), 1);
  EXPECT_EQ(mail.urls[0].toString(), QString("mailto:") + kContactAddress);
  QTest::mouseClick(box.okLabel, Qt::LeftButton);
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace ramovia::ui

#include "frame_test.moc"
