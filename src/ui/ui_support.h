// Small helpers every window uses: messages to the user, byte texts for display, the decimal
// separator of the user's locale, and the application object that reports stray exceptions.
#pragma once

#include <QApplication>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace ramovia::ui {

inline const char* const kAppTitle = "Ramovia";

// The core's texts are bytes: UTF-8 when valid, else Windows-1252.
QString toDisplay(std::string_view bytes);
// What the user typed or pasted, as the bytes the core reads (the local 8-bit encoding, UTF-8 here).
std::string toBytes(const QString& text);

// The first byte of the locale's decimal point, or '.' when it is not a single byte.
char localeDecimalSeparator();

// Every message to the user goes through here, so that tests can catch them instead of a modal box.
using MessageHandler = std::function<void(QWidget* parent, const QString& text)>;
void setMessageHandler(MessageHandler handler);  // an empty handler restores the message box
void showMessage(QWidget* parent, const QString& text);

// Runs one user command; an exception that escapes it is shown with its text and the program goes
// on. Returns false when it failed.
bool guarded(QWidget* parent, const std::function<void()>& command);

// The application object: exceptions that slip out of an event handler end up in a message box
// instead of ending the process.
class RamoviaApplication : public QApplication {
 public:
  RamoviaApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace ramovia::ui
