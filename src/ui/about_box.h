// The about dialog: version, credits and a contact address that opens the mail program.
#pragma once

#include <QDialog>

class QLabel;

namespace ramovia::ui {

inline const char* const kContactAddress = "ramovia@example.org";

class TformAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TformAboutBox(QWidget* parent = nullptr);

  QLabel* lblVersion = nullptr;
  QLabel* lblOK = nullptr;
  QLabel* lblInfo = nullptr;
  QLabel* lblEmail = nullptr;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetOkHot(bool hot);
  void SetInfoHot(bool hot);
  bool okHot_ = false;
  bool infoHot_ = false;
};

}  // namespace ramovia::ui
