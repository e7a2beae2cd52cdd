// GoogleTest with one application object for all tests, on the offscreen platform in the C locale,
// with settings in a temporary folder that every test starts empty.
#include <gtest/gtest.h>

#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

#include "settings.h"
#include "ui_support.h"

namespace {

// Each test starts with what a first start of the program finds.
class FreshSettings : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ramovia::ui::AppSettings().clear(); }
};

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ramovia::ui::RamoviaApplication app(argc, argv);
  QApplication::setApplicationVersion(RAMOVIA_VERSION);
  QLocale::setDefault(QLocale::c());
  // Never the user's own settings.
  QStandardPaths::setTestModeEnabled(true);
  QTemporaryDir settings;
  if (!settings.isValid()) return 1;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettings);
  return RUN_ALL_TESTS();
}
