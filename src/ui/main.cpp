// The desktop program. Every argument is a file to open; "--screenshots DIR FILE..." renders the
// windows to PNG files instead (use it with QT_QPA_PLATFORM=offscreen).
#include <QStringList>

#include "main_window.h"
#include "screenshots.h"
#include "ui_support.h"

int main(int argc, char** argv) {
  ramovia::ui::RamoviaApplication app(argc, argv);
  QApplication::setApplicationName(ramovia::ui::kAppTitle);
  QApplication::setApplicationVersion(RAMOVIA_VERSION);
  QStringList args = QApplication::arguments();
  args.removeFirst();
  if (args.size() >= 2 && args[0] == "--screenshots") {
    const QString dir = args[1];
    return ramovia::ui::writeScreenshots(dir, args.mid(2));
  }
  int code = 0;
  ramovia::ui::guarded(nullptr, [&] {
    ramovia::ui::MainWindow frame(args);
    frame.show();
    code = QApplication::exec();
  });
  // A failure of the start-up itself has been shown; the program ends normally.
  return code;
}
