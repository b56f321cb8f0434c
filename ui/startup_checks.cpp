#include "ui/startup_checks.h"

#include "client/service_client.h"
#include "foundation/log.h"
#include "platform/relaunch.h"
#include "platform/service_manager.h"
#include "ui/language.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

QString Str(const std::string& utf8) { return QString::fromStdString(utf8); }

void Tell(IDialogs& dialogs, int captionId, const QString& text, MessageIcon icon) {
  dialogs.message(nullptr, MessageSpec{Tr(captionId), text, icon, MessageButtons::kOk, QString(), false});
}

bool AskToInstall(IDialogs& dialogs) {
  const MessageSpec spec{Tr(kStrServiceCaption),        Tr(kStrServiceMissing), MessageIcon::kQuestion,
                         MessageButtons::kAcceptCancel, Tr(kStrInstall),        false};
  return dialogs.message(nullptr, spec) == MessageAnswer::kAccept;
}

// The service's own command with an administrator's rights: through pkexec,
// or, where there is none, the command to type.
void RunElevated(IDialogs& dialogs, const std::string& role) {
  if (RelaunchElevated({role})) return;
  Tell(dialogs, kStrServiceCaption,
       FormatText(Tr(kStrNeedsAdministrator), {LeftToRightText(Str(ElevatedCommand({role})))}),
       MessageIcon::kWarning);
}

}  // namespace

ServiceCheck DecideServiceCheck(bool answers, bool systemd, bool installed, bool running) {
  if (answers) return ServiceCheck::kNone;
  if (!systemd) return ServiceCheck::kNoSystemd;
  if (!installed) return ServiceCheck::kOfferInstall;
  return running ? ServiceCheck::kNone : ServiceCheck::kStart;
}

void CheckService(IDialogs& dialogs) {
  ServiceStatus status;
  const bool answers = RequestStatus(status);
  const bool systemd = !answers && SystemdRunning();
  switch (DecideServiceCheck(answers, systemd, systemd && IsServiceInstalled(), systemd && IsServiceRunning())) {
    case ServiceCheck::kNone:
      return;
    case ServiceCheck::kNoSystemd:
      Tell(dialogs, kStrServiceCaption, Tr(kStrNoSystemd), MessageIcon::kInformation);
      return;
    case ServiceCheck::kStart: {
      std::string message;
      if (StartServiceNow(message)) return;
      vx::log::write(vx::log::kWarn, "service: %s", message.c_str());
      RunElevated(dialogs, "start");
      return;
    }
    case ServiceCheck::kOfferInstall:
      if (AskToInstall(dialogs)) RunElevated(dialogs, "install");
      return;
  }
}

bool DriverMissing(const ServiceStatus& status) { return status.ok && status.driver.name.empty(); }

void CheckDriver(IDialogs& dialogs) {
  ServiceStatus status;
  RequestStatus(status);
  // FUSE comes with the system's packages, which the service cannot
  // install: the message says which package to install, and nothing else
  // is offered.
  if (DriverMissing(status))
    Tell(dialogs, kStrDriverCaption, FormatText(Tr(kStrDriverMissing), {LeftToRightText(QString::fromLatin1(kInstallDriverCommand))}),
         MessageIcon::kWarning);
}

}  // namespace tarn::app
