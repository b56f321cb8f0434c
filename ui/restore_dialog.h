// The restore dialog of one backup job: its versions, newest first, the
// folders of the chosen version, deleting a version, and restoring the
// selected file or folder or the whole version, to where the files were or
// to another folder. Every request runs on a worker whose result comes back
// through the dialog's ResultGate; a folder load also carries the
// generation it was asked with, so that only the newest is shown. Once a
// restore has started the dialog closes: its progress shows on the backup
// page. The state and its rules are restore_dialog_model.h's. UI thread.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <string>

#include "ui/backup_requests.h"
#include "ui/restore_dialog_model.h"
#include "ui/worker.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarn::app {

class ListColumns;

class RestoreDialog : public QDialog {
  Q_OBJECT

 public:
  RestoreDialog(QWidget* owner, std::string jobId, QString jobName);
  ~RestoreDialog() override;

  const RestoreContext& context() const { return context_; }
  QComboBox* versionList() const { return versions_; }
  QTreeWidget* entryList() const { return list_; }
  QString statusText() const;

  // Reads the versions anew.
  void loadSnapshots();
  // Reads one folder of the selected version; nothing without one.
  void loadDir(const std::string& path);
  // Asks where the files go and starts restoring `path` of the selected
  // version (empty: all of it).
  void startRestore(const std::string& path);
  std::string selectedSnapshotId() const;
  void setRestoreBusy(bool busy, const QString& message);
  void fillRestoreList();
  // A load's end; one that is not the newest is dropped.
  void takeLoad(const RestoreLoadResult& result);

 public Q_SLOTS:
  void deleteVersion();
  void goUp();
  void restoreSelected();
  void restoreEverything();
  // Close: also while a request runs, whose result is then dropped.
  void reject() override;
  void done(int result) override;

 Q_SIGNALS:
  // A request's result arrived and was taken (or dropped).
  void requestEnded();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void takeEnd(const RestoreEnd& end);
  void applyControls();
  void showPath();
  void versionChosen();
  void entryActivated(QTreeWidgetItem* item);

  RestoreContext context_;
  bool fillingVersions_ = false;
  std::shared_ptr<ResultGate> results_;

  QComboBox* versions_;
  QPushButton* delete_;
  QPushButton* up_;
  QLabel* path_;
  QTreeWidget* list_;
  ListColumns* columns_;
  QLabel* status_;
  QPushButton* restoreSelected_;
  QPushButton* restoreEverything_;
};

// Opens the dialog for a job over `owner` and returns at once; the dialog
// frees itself when it closes.
RestoreDialog* OpenRestore(QWidget* owner, const std::string& jobId, const QString& jobName);

}  // namespace tarn::app
