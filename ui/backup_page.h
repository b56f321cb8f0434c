// The settings window's "Backup" page: the service's backup jobs with their
// schedule, last copy and live state, refreshed every 2 seconds while the
// page is shown, and the seven commands on them (add, edit, remove, back up
// now or stop, restore, verify, log). Adding and editing open the job editor
// (job_editor.h), restoring the restore dialog (restore_dialog.h); every
// other command is one backup request on a worker (backup_requests.h) whose
// result comes back through the page's ResultGate. What the rows say and
// which command is allowed is backup_page_model.h's. UI thread only.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

#include "client/service_client.h"
#include "foundation/json.h"
#include "ui/backup_requests.h"
#include "ui/worker.h"

class QDialog;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace tarn::app {

class ListColumns;

// The commands in the order of their buttons.
enum PageCommandId : int {
  kCommandAdd,
  kCommandEdit,
  kCommandRemove,
  kCommandRun,
  kCommandRestore,
  kCommandVerify,
  kCommandLog,
  kPageCommandCount
};

inline constexpr int kPageRefreshMs = 2000;

class BackupPage : public QWidget {
  Q_OBJECT

 public:
  explicit BackupPage(QWidget* parent = nullptr);
  ~BackupPage() override;

  void setStatus(const ServiceStatus& status) { status_ = status; }
  const vx::json::Value& jobs() const { return jobs_; }
  bool refusedByRights() const { return refusedByRights_; }
  QTreeWidget* list() const { return list_; }
  QPushButton* button(int command) const { return buttons_[static_cast<size_t>(command)]; }
  QLabel* note() const { return note_; }

  // Starts a list fetch unless one is in flight or the page is hidden.
  void refreshPageAsync();
  // Runs one command request with every command disabled meanwhile.
  void runPageAsync(PageTask task);
  // One command, kCommandAdd to kCommandLog.
  void pageCommand(int command);
  // The selected job, or null.
  const vx::json::Value* selectedJob() const;
  void updatePageButtons();
  // The rows, the note and the buttons from the jobs; `now` is the reply's.
  void fillJobList(int64_t now);
  // A list fetch's end.
  void takeJobList(JobListResult result);

 Q_SIGNALS:
  // A list reply was taken (whatever it said).
  void listTaken();
  // A command's result was taken.
  void commandEnded();
  // A job's log was opened in its report.
  void jobLogShown(QDialog* report);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void takeCommandEnd(const QString& error);

  QTreeWidget* list_;
  ListColumns* columns_;
  std::array<QPushButton*, kPageCommandCount> buttons_{};
  QLabel* note_;
  QTimer timer_;
  ServiceStatus status_;
  vx::json::Value jobs_ = vx::json::Value::array();
  bool refusedByRights_ = false;
  // How the last list fetch ended: the commands follow it.
  JobListOutcome listed_ = JobListOutcome::kFailed;
  bool refreshing_ = false;
  bool commandRunning_ = false;
  std::shared_ptr<ResultGate> results_;
};

// The page, a child of `parent`.
BackupPage* CreateBackupPage(QWidget* parent);
// Shows or hides the page; shown, it fetches the jobs now and every 2 s.
void ShowBackupPage(BackupPage& page, bool show);
void SetPageStatus(BackupPage& page, const ServiceStatus& status);

// Sets one cell of a list; column 0 of a row past the end appends the row.
// A cell that already holds the text is left alone; a cell of a column of
// long texts gets the whole text as its tooltip.
void SetListCell(QTreeWidget& list, int row, int column, const QString& text, const ListColumns* columns = nullptr);

// A folder the user picks, false when they cancelled.
bool BrowseForFolder(QWidget* owner, const QString& caption, QString& path);

}  // namespace tarn::app
