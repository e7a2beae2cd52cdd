#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QRect>

namespace ramovia::ui {

AppSettings::AppSettings()
    : settings_(QSettings::IniFormat, QSettings::UserScope, "Ramovia", "Ramovia") {}

QStringList AppSettings::recentFiles() const {
  QStringList list = settings_.value("recentFiles").toStringList();
  list.removeAll(QString());
  list.removeDuplicates();
  return list.mid(0, kRecentFiles);
}

void AppSettings::addRecentFile(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  QStringList list = recentFiles();
  list.removeAll(absolute);
  list.prepend(absolute);
  settings_.setValue("recentFiles", list.mid(0, kRecentFiles));
}

void AppSettings::removeRecentFile(const QString& path) {
  QStringList list = recentFiles();
  list.removeAll(QFileInfo(path).absoluteFilePath());
  settings_.setValue("recentFiles", list);
}

void AppSettings::clearRecentFiles() {
  settings_.remove("recentFiles");
}

QString AppSettings::lastFolder() const {
  const QString folder = settings_.value("lastFolder").toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void AppSettings::setLastFolder(const QString& folder) {
  settings_.setValue("lastFolder", folder);
}

std::optional<Box> AppSettings::frame() const {
  const QRect r = settings_.value("frame/geometry").toRect();
  if (!r.isValid()) return std::nullopt;
  return Box{r.x(), r.y(), r.width(), r.height()};
}

bool AppSettings::frameMaximized() const {
  return settings_.value("frame/maximized").toBool();
}

void AppSettings::setFrame(const Box& frame, bool maximized) {
  settings_.setValue("frame/geometry", QRect(frame.x, frame.y, frame.width, frame.height));
  settings_.setValue("frame/maximized", maximized);
}

bool AppSettings::rememberChoices() const {
  return settings_.value("rememberChoices").toBool();
}

void AppSettings::setRememberChoices(bool on) {
  settings_.setValue("rememberChoices", on);
}

Choices AppSettings::choices() const {
  Choices c;
  settings_.beginGroup("choices");
  const int coefficient = settings_.value("coefficient", -1).toInt();
  if (coefficient >= 0) c.coefficient = coefficient;
  const int method = settings_.value("method", 0).toInt();
  if (method == static_cast<int>(TreeMethod::Upgma) ||
      method == static_cast<int>(TreeMethod::NeighborJoining))
    c.method = static_cast<TreeMethod>(method);
  const int resampling = settings_.value("resampling", -1).toInt();
  if (resampling >= 0) c.resampling = resampling;
  c.replicates = settings_.value("replicates", c.replicates).toInt();
  c.taxaLeftOut = settings_.value("taxaLeftOut", 0).toInt();
  c.fragmentsLeftOut = settings_.value("fragmentsLeftOut", 0).toInt();
  c.different = settings_.value("different", false).toBool();
  settings_.endGroup();
  return c;
}

void AppSettings::setChoices(const Choices& c) {
  settings_.beginGroup("choices");
  settings_.setValue("coefficient", c.coefficient.value_or(-1));
  settings_.setValue("method", static_cast<int>(c.method));
  settings_.setValue("resampling", c.resampling.value_or(-1));
  settings_.setValue("replicates", c.replicates);
  settings_.setValue("taxaLeftOut", c.taxaLeftOut);
  settings_.setValue("fragmentsLeftOut", c.fragmentsLeftOut);
  settings_.setValue("different", c.different);
  settings_.endGroup();
}

void AppSettings::clear() {
  settings_.clear();
}

}  // namespace ramovia::ui
