// The backup job editor: a dialog over the settings window in which a job is
// made or changed (folders, masks to skip, where the copy is kept, the
// repository password, schedule, versions to keep, compression, speed
// limit). "Check" asks the service to test the destination ("backupTest")
// and "OK" to store the job ("backupSet"), each on a worker whose result
// comes back through the editor's ResultGate: an editor closed meanwhile,
// or gone with the application, drops it. What the controls hold and send
// is job_editor_model.h's. UI thread only.
#pragma once

#include <QDialog>
#include <QPointer>

#include <memory>

#include "client/service_client.h"
#include "foundation/json.h"
#include "ui/backup_requests.h"
#include "ui/job_editor_model.h"
#include "ui/worker.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarn::app {

class ParagraphLabel;

class JobEditor : public QDialog {
  Q_OBJECT

 public:
  JobEditor(QWidget* owner, JobEditContext context);
  ~JobEditor() override;

  const JobEditContext& context() const { return context_; }
  bool busy() const { return busy_; }
  // The controls' values, and the controls set from values.
  JobForm form() const;
  void showForm(const JobForm& form);
  // Enables the controls by the current choices and sets the hint.
  void updateEditorControls();
  // Check and OK are disabled while a request runs.
  void setEditorBusy(bool busy);

 public Q_SLOTS:
  void check();
  void save();
  // Cancel; refused while a request runs, and asked about when the form
  // holds changes (Enter on a focused Cancel, Escape).
  void reject() override;
  void done(int result) override;

 Q_SIGNALS:
  // The service stored the job; `job` is the job as it stored it.
  void saved(const vx::json::Value& job);
  // A check or a save ended (its result has been shown).
  void requestEnded();

 private:
  void start(bool saving);
  void takeTestEnd(const EditorResult& result);
  void takeSaveEnd(const EditorResult& result);
  void addFolder();
  void pickKey();
  void passwordTyped(QLineEdit* typedIn);

  JobEditContext context_;
  bool busy_ = false;
  // The form as it was shown: what Cancel would throw away is the rest.
  JobForm shown_;
  // Where the keyboard was when a request began: disabling Check and OK
  // moves it on (to Cancel), and it goes back when the request ends.
  QPointer<QWidget> focusBefore_;
  std::shared_ptr<ResultGate> results_;

  QLineEdit* name_;
  QListWidget* sources_;
  QLineEdit* excludes_;
  QComboBox* destination_;
  QLineEdit* folder_;
  QComboBox* protocol_;
  QLineEdit* address_;
  QLineEdit* user_;
  QLineEdit* serverPassword_;
  QLineEdit* keyFile_;
  QPushButton* pickKey_;
  QLineEdit* options_;
  ParagraphLabel* hint_;
  QLineEdit* password_;
  QLineEdit* passwordAgain_;
  QComboBox* schedule_;
  QLineEdit* everyHours_;
  QLineEdit* dailyTime_;
  QLineEdit* keepLast_;
  QLineEdit* keepDaily_;
  QLineEdit* keepWeekly_;
  QLineEdit* keepMonthly_;
  QCheckBox* compress_;
  QLineEdit* speedLimit_;
  ParagraphLabel* status_;
  QPushButton* check_;
  QPushButton* ok_;
  // The labels and buttons that go with the choices' controls.
  QWidget* protocolLabel_;
  QWidget* addressLabel_;
  QWidget* userLabel_;
  QWidget* serverPasswordLabel_;
  QWidget* keyLabel_;
  QWidget* optionsLabel_;
  QWidget* everyHoursLabel_;
  QWidget* dailyTimeLabel_;
};

// Opens the editor for `job` over `owner` and returns at once; the editor
// frees itself when it closes. Its `saved` tells that the job was stored.
JobEditor* EditJob(QWidget* owner, const vx::json::Value& job, bool isNew, const ServiceStatus& status);

}  // namespace tarn::app
