#include "about_dialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace ramovia::ui {

namespace {

const QColor kGrey(128, 128, 128);
const QColor kWhite(255, 255, 255);

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, int y, int height,
                 int pointDelta = 0) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(16, y, 328, height);
  label->setWordWrap(true);
  label->setMouseTracking(true);
  QFont f = label->font();
  if (pointDelta) f.setPointSize(f.pointSize() + pointDelta);
  label->setFont(f);
  return label;
}

void setColour(QLabel* label, const QColor& c) {
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, c);
  label->setPalette(p);
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("aboutDialog");
  setWindowTitle("About Ramovia");
  setFixedSize(360, 286);
  setMouseTracking(true);
  setModal(true);

  QLabel* credits = addLabel(this, "creditsLabel",
                             "Ramovia: phylogenetic trees and resampling analyses from "
                             "restriction fragments, bands and allele frequencies",
                             8, 48);
  setColour(credits, kWhite);
  versionLabel = addLabel(this, "versionLabel", "Version", 60, 18);
  // The version the build gives the program, in four parts.
  const QString version = QCoreApplication::applicationVersion();
  if (!version.isEmpty()) {
    QStringList parts = version.split('.');
    while (parts.size() < 4) parts.push_back("0");
    versionLabel->setText("Version " + parts.mid(0, 4).join('.'));
  }
  setColour(versionLabel, kWhite);
  QLabel* prerelease = addLabel(this, "prereleaseLabel", "Ramovia - prerelease version", 80, 18);
  setColour(prerelease, kWhite);

  infoLabel = addLabel(this, "infoLabel",
                     "Feel free to send any suggestions, comments or even error reports to", 110,
                     36);
  emailLabel = addLabel(this, "emailLabel", kContactAddress, 146, 18);
  emailLabel->setCursor(Qt::PointingHandCursor);
  QFont f = emailLabel->font();
  f.setUnderline(true);
  emailLabel->setFont(f);
  setColour(infoLabel, kGrey);
  setColour(emailLabel, kGrey);

  QLabel* literature = addLabel(
      this, "literatureLabel",
      "Nei M., Li W.-H. (1979): Mathematical model for studying genetic variation in terms of "
      "restriction endonucleases. Proc. Natl. Acad. Sci. USA 76: 5269-5273.",
      176, 60, -1);
  setColour(literature, kWhite);

  okLabel = addLabel(this, "okLabel", "OK", 246, 28, 4);
  okLabel->setGeometry(150, 248, 60, 28);
  okLabel->setAlignment(Qt::AlignCenter);
  okLabel->setCursor(Qt::PointingHandCursor);
  QFont ok = okLabel->font();
  ok.setBold(true);
  okLabel->setFont(ok);
  setColour(okLabel, kGrey);

  for (QLabel* l : {okLabel, infoLabel, emailLabel}) l->installEventFilter(this);
  for (QLabel* l : {credits, versionLabel, prerelease, literature})
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void AboutDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient g(0, 0, width() * 0.3, height());
  g.setColorAt(0.0, QColor(20, 48, 92));
  g.setColorAt(0.6, QColor(30, 96, 110));
  g.setColorAt(1.0, QColor(12, 36, 52));
  p.fillRect(rect(), g);
}

void AboutDialog::setOkHot(bool hot) {
  if (hot == okHot_) return;
  okHot_ = hot;
  setColour(okLabel, hot ? kWhite : kGrey);
}

void AboutDialog::setInfoHot(bool hot) {
  if (hot == infoHot_) return;
  infoHot_ = hot;
  setColour(infoLabel, hot ? kWhite : kGrey);
  setColour(emailLabel, hot ? kWhite : kGrey);
}

void AboutDialog::mouseMoveEvent(QMouseEvent* event) {
  // Over the background picture.
  setOkHot(false);
  setInfoHot(false);
  QDialog::mouseMoveEvent(event);
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == okLabel) setOkHot(true);
    if (watched == infoLabel || watched == emailLabel) setInfoHot(true);
    return true;
  }
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == okLabel) {
      accept();
      return true;
    }
    if (watched == emailLabel) {
      QDesktopServices::openUrl(QUrl(QString("mailto:") + kContactAddress));
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace ramovia::ui
