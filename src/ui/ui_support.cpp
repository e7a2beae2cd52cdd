#include "ui_support.h"

#include <QLocale>
#include <QMessageBox>
#include <exception>

#include "input/text_codec.h"

namespace ramovia::ui {

namespace {
MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}
}  // namespace

QString Show(std::string_view bytes) { return QString::fromStdString(ToUtf8(bytes)); }

std::string Bytes(const QString& text) { return text.toLocal8Bit().toStdString(); }

char LocaleDecimalSeparator() {
  const QByteArray point = QLocale().decimalPoint().toUtf8();
  return point.size() == 1 ? point[0] : '.';
}

void SetMessageHandler(MessageHandler handler) { Handler() = std::move(handler); }

void ShowMessage(QWidget* parent, const QString& text) {
  if (Handler()) {
    Handler()(parent, text);
    return;
  }
  QMessageBox::critical(parent, kAppTitle, text);
}

bool Guarded(QWidget* parent, const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (const std::exception& e) {
    ShowMessage(parent, Show(e.what()));
  } catch (...) {
    ShowMessage(parent, QStringLiteral("Unknown error"));
  }
  return false;
}

RamoviaApplication::RamoviaApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool RamoviaApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowMessage(nullptr, Show(e.what()));
  } catch (...) {
    ShowMessage(nullptr, QStringLiteral("Unknown error"));
  }
  return false;
}

}  // namespace ramovia::ui
