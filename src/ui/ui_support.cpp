#include "ui_support.h"

#include <QLocale>
#include <QMessageBox>
#include <exception>

#include "output/display_text.h"

namespace ramovia::ui {

namespace {
MessageHandler& handler() {
  static MessageHandler instance;
  return instance;
}
}  // namespace

QString toDisplay(std::string_view bytes) { return QString::fromStdString(toUtf8(bytes)); }

std::string toBytes(const QString& text) { return text.toLocal8Bit().toStdString(); }

char localeDecimalSeparator() {
  const QByteArray point = QLocale().decimalPoint().toUtf8();
  return point.size() == 1 ? point[0] : '.';
}

void setMessageHandler(MessageHandler h) { handler() = std::move(h); }

void showMessage(QWidget* parent, const QString& text) {
  if (handler()) {
    handler()(parent, text);
    return;
  }
  QMessageBox::critical(parent, kAppTitle, text);
}

bool guarded(QWidget* parent, const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (const std::exception& e) {
    showMessage(parent, toDisplay(e.what()));
  } catch (...) {
    showMessage(parent, QStringLiteral("Unknown error"));
  }
  return false;
}

RamoviaApplication::RamoviaApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool RamoviaApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    showMessage(nullptr, toDisplay(e.what()));
  } catch (...) {
    showMessage(nullptr, QStringLiteral("Unknown error"));
  }
  return false;
}

}  // namespace ramovia::ui
