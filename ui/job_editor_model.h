// The job editor's logic as plain functions over plain data: the editor's
// state (JobEditContext), the values of its controls (JobForm), filling the
// form from a job object, which controls the current choices enable, and
// reading the form back into the job object the service is sent, with the
// editor's own checks and the rules for stored secrets. The editor
// (job_editor.h) only shows and reads the form. UI thread (a key file is
// read from disk).
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>

#include "client/service_client.h"
#include "foundation/json.h"
#include "ui/backup_requests.h"

namespace tarn::app {

// The protocols of the server choice, in the list's order.
enum JobProtocol : int { kProtocolWebDav = 0, kProtocolSftp = 1, kProtocolS3 = 2, kProtocolNfs = 3 };
inline constexpr int kProtocolCount = 4;
// The schedule choices, in the list's order.
enum JobScheduleChoice : int { kScheduleByHand = 0, kScheduleHourly = 1, kScheduleDaily = 2 };

// The largest key file the editor reads; keys are a few kilobytes.
inline constexpr qint64 kMaxKeyFileBytes = 1 << 20;

// What a password box shows for a stored secret: eight bullets.
QString SecretPlaceholder();

// The editor's state for one job.
struct JobEditContext {
  vx::json::Value job;  // as it came; an empty object for a new job
  bool isNew = true;
  ServiceStatus status;  // its drives are the destinations offered
  bool hasPassword = false;
  bool endpointHasPassword = false;
  bool endpointHasKey = false;
  bool passwordTouched = false;         // typed in a backup password box
  bool endpointPasswordEdited = false;  // typed in the server password box
  bool keyEdited = false;               // typed or picked a key file
};

JobEditContext MakeJobEditContext(vx::json::Value job, bool isNew, ServiceStatus status);

// The values of the editor's controls.
struct JobForm {
  QString caption;
  QString name;
  QStringList sources;
  QString excludes;
  QStringList destinations;  // one per drive of the status, then "Another server…"
  int destination = 0;
  QString folder;
  int protocol = kProtocolWebDav;
  QString address;
  QString user;
  QString serverPassword;
  QString keyFile;
  QString options;
  QString password;
  QString passwordAgain;
  int schedule = kScheduleDaily;
  QString everyHours;
  QString dailyTime;
  QString keepLast;
  QString keepDaily;
  QString keepWeekly;
  QString keepMonthly;
  bool compress = true;
  QString speedLimit;
  friend bool operator==(const JobForm&, const JobForm&) = default;
};

// A drive as the destination list shows it: "D:  Name  (link)", the link
// as the user gave it (DriveLink).
QString DriveChoiceText(const MountStatus& drive);

JobForm FillJobDialog(const JobEditContext& context);

// What the current choices enable, and the hint's string id (-1: none).
struct EditorControls {
  bool server = false;  // protocol, address and options
  bool login = false;   // login and password
  bool key = false;     // the key file
  bool everyHours = false;
  bool dailyTime = false;
  int hintId = -1;
  friend bool operator==(const EditorControls&, const EditorControls&) = default;
};

EditorControls UpdateEditorControls(const JobForm& form);

// The job object for "backupTest" and "backupSet" from the form, or false
// with the warning to show (and nothing to send).
bool ReadJobDialog(const JobEditContext& context, const JobForm& form, vx::json::Value& job, QString& warning);

// Appends a folder the list does not hold yet (compared exactly, as the
// file system does); false when it was there.
bool AddSourceFolder(QStringList& sources, const QString& folder);

// The status line after a check; a failure is told in its words, without
// the code of its kind.
QString CheckResultText(const EditorResult& result);

// The decimal number at the start of a text, 0 when there is none.
int IntegerValue(const QString& text);

// What the editor tells once the service stored `job` (as its reply gives
// it) at `now` (Unix seconds): that its run is due and starts at once (a
// scheduled job that has no copy yet), or nothing.
QString SavedJobNotice(const vx::json::Value& job, int64_t now);

}  // namespace tarn::app
