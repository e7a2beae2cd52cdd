// What the program remembers between sessions (QSettings): the last folder, the recent files,
// where the frame was, and the choices a new window starts with when the user asks for that.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <optional>

#include "analysis_presenter.h"
#include "window_placement.h"

namespace ramovia::ui {

class AppSettings {
 public:
  static constexpr int kRecentFiles = 10;

  AppSettings();

  // Most recent first, each file once, at most kRecentFiles; paths made absolute.
  QStringList recentFiles() const;
  void addRecentFile(const QString& path);
  void removeRecentFile(const QString& path);
  void clearRecentFiles();

  // Where the open and save dialogs start; the home folder at first.
  QString lastFolder() const;
  void setLastFolder(const QString& folder);

  // The frame's outer rectangle when it was last closed, and whether it was maximised.
  std::optional<Box> frame() const;
  bool frameMaximized() const;
  void setFrame(const Box& frame, bool maximized);

  // "Remember my choices": off until the user turns it on.
  bool rememberChoices() const;
  void setRememberChoices(bool on);
  // The last choices of any window; a new window starts with them when rememberChoices() is on.
  Choices choices() const;
  void setChoices(const Choices& choices);

  void clear();

 private:
  mutable QSettings settings_;
};

}  // namespace ramovia::ui
