#include "about_box.h"

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

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int y, int height,
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

void SetColour(QLabel* label, const QColor& c) {
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, c);
  label->setPalette(p);
}

}  // namespace

TformAboutBox::TformAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("formAboutBox");
  setWindowTitle("About Ramovia");
  setFixedSize(360, 286);
  setMouseTracking(true);
  setModal(true);

  QLabel* credits = AddLabel(this, "lblCredits",
                             "Ramovia: phylogenetic trees and resampling analyses from "
                             "restriction fragments, bands and allele frequencies",
                             8, 48);
  SetColour(credits, kWhite);
  lblVersion = AddLabel(this, "lblVersion", "Version", 60, 18);
  // The version the build gives the program, in four parts.
  const QString version = QCoreApplication::applicationVersion();
  if (!version.isEmpty()) {
    QStringList parts = version.split('.');
    while (parts.size() < 4) parts.push_back("0");
    lblVersion->setText("Version " + parts.mid(0, 4).join('.'));
  }
  SetColour(lblVersion, kWhite);
  QLabel* prerelease = AddLabel(this, "lblPrerelease", "Ramovia - prerelease version", 80, 18);
  SetColour(prerelease, kWhite);

  lblInfo = AddLabel(this, "lblInfo",
                     "Feel free to send any suggestions, comments or even error reports to", 110,
                     36);
  lblEmail = AddLabel(this, "lblEmail", kContactAddress, 146, 18);
  lblEmail->setCursor(Qt::PointingHandCursor);
  QFont f = lblEmail->font();
  f.setUnderline(true);
  lblEmail->setFont(f);
  SetColour(lblInfo, kGrey);
  SetColour(lblEmail, kGrey);

  QLabel* literature = AddLabel(
      this, "lblLiterature",
      "Nei M., Li W.-H. (1979): Mathematical model for studying genetic variation in terms of "
      "restriction endonucleases. Proc. Natl. Acad. Sci. USA 76: 5269-5273.",
      176, 60, -1);
  SetColour(literature, kWhite);

  lblOK = AddLabel(this, "lblOK", "OK", 246, 28, 4);
  lblOK->setGeometry(150, 248, 60, 28);
  lblOK->setAlignment(Qt::AlignCenter);
  lblOK->setCursor(Qt::PointingHandCursor);
  QFont ok = lblOK->font();
  ok.setBold(true);
  lblOK->setFont(ok);
  SetColour(lblOK, kGrey);

  for (QLabel* l : {lblOK, lblInfo, lblEmail}) l->installEventFilter(this);
  for (QLabel* l : {credits, lblVersion, prerelease, literature})
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TformAboutBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient g(0, 0, width() * 0.3, height());
  g.setColorAt(0.0, QColor(20, 48, 92));
  g.setColorAt(0.6, QColor(30, 96, 110));
  g.setColorAt(1.0, QColor(12, 36, 52));
  p.fillRect(rect(), g);
}

void TformAboutBox::SetOkHot(bool hot) {
  if (hot == okHot_) return;
  okHot_ = hot;
  SetColour(lblOK, hot ? kWhite : kGrey);
}

void TformAboutBox::SetInfoHot(bool hot) {
  if (hot == infoHot_) return;
  infoHot_ = hot;
  SetColour(lblInfo, hot ? kWhite : kGrey);
  SetColour(lblEmail, hot ? kWhite : kGrey);
}

void TformAboutBox::mouseMoveEvent(QMouseEvent* event) {
  // Over the background picture.
  SetOkHot(false);
  SetInfoHot(false);
  QDialog::mouseMoveEvent(event);
}

bool TformAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == lblOK) SetOkHot(true);
    if (watched == lblInfo || watched == lblEmail) SetInfoHot(true);
    return true;
  }
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == lblOK) {
      accept();
      return true;
    }
    if (watched == lblEmail) {
      QDesktopServices::openUrl(QUrl(QString("mailto:") + kContactAddress));
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace ramovia::ui
