// Message boxes and file pickers go through one small interface, so that
// tests answer them instead of a person and no test spins a nested event
// loop. The process has one IDialogs (Qt's own dialogs unless a test set
// another); UI thread only.
//
// Button texts come from the language tables like every other text: a
// question's accepting button names what it does ("Install"), the other
// one is "Cancel". A question with several answers shows each as a command
// button of its own, above "Cancel".
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QDialog;
class QMessageBox;
class QWidget;

namespace tarn::app {

enum class MessageIcon { kInformation, kWarning, kError, kQuestion };
enum class MessageButtons { kOk, kAcceptCancel };
enum class MessageAnswer { kAccept, kCancel };

struct MessageSpec {
  QString caption;
  QString text;
  MessageIcon icon = MessageIcon::kInformation;
  MessageButtons buttons = MessageButtons::kOk;
  QString acceptText;  // the accepting button; empty: "OK"
  bool cancelIsDefault = false;
};

// A question answered by one of several commands: each choice is a command
// whose first line is its text and whose further lines explain it.
struct ChoiceSpec {
  QString caption;
  QString text;
  QStringList choices;
  int defaultChoice = 0;
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // Modal; a box without owner stands on its own.
  virtual MessageAnswer message(QWidget* owner, const MessageSpec& spec) = 0;
  // An existing folder, or empty when the user cancelled.
  virtual QString pickFolder(QWidget* owner, const QString& caption, const QString& start) = 0;
  // An existing file matching `filter` (Qt's "Keys (*.pem *.key)" form),
  // or empty when the user cancelled.
  virtual QString pickFile(QWidget* owner, const QString& caption, const QString& filter, const QString& start) = 0;
  // Modal; the index of the chosen command, or -1 when the user cancelled.
  virtual int choose(QWidget* owner, const ChoiceSpec& spec) = 0;
};

IDialogs& Dialogs();
// Replaces the process's dialogs (tests); null restores Qt's own. The
// caller keeps `dialogs` alive until it restores them.
void SetDialogs(IDialogs* dialogs);

// The box Qt's dialogs show for `spec`, not yet shown (screenshots use it).
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const MessageSpec& spec);
// The dialog Qt's dialogs show for `spec`, not yet shown: its result is
// kFirstChoice plus the chosen index, or Rejected.
inline constexpr int kFirstChoice = 100;
std::unique_ptr<QDialog> MakeChoiceDialog(QWidget* owner, const ChoiceSpec& spec);

}  // namespace tarn::app
