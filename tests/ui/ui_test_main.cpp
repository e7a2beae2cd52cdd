// GoogleTest with one application object for all tests, on the offscreen platform in the C locale.
#include <gtest/gtest.h>

#include <QLocale>
#include <cstdlib>

#include "ui_support.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ramovia::ui::RamoviaApplication app(argc, argv);
  QApplication::setApplicationVersion(RAMOVIA_VERSION);
  QLocale::setDefault(QLocale::c());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
