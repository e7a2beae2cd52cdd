// The preferences: whether new windows start with the last choices.
#pragma once

#include <QDialog>

class QCheckBox;

namespace ramovia::ui {

class PreferencesDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PreferencesDialog(QWidget* parent = nullptr);
  QCheckBox* rememberChoices = nullptr;
  // Stores what the dialog shows.
  void save() const;
};

}  // namespace ramovia::ui
