// The about dialog: version, credits and a contact address that opens the mail program.
#pragma once

#include <QDialog>

class QLabel;

namespace ramovia::ui {

inline const char* const kContactAddress = "ramovia@example.org";

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);

  QLabel* versionLabel = nullptr;
  QLabel* okLabel = nullptr;
  QLabel* infoLabel = nullptr;
  QLabel* emailLabel = nullptr;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setOkHot(bool hot);
  void setInfoHot(bool hot);
  bool okHot_ = false;
  bool infoHot_ = false;
};

}  // namespace ramovia::ui
