// The drive editor: a modal dialog in which the user creates or changes one
// drive, on four pages (connection, network, cache, compatibility), with
// "Check", which asks the service to probe the server with the settings
// being edited and shows the report, and "OK", which saves the drive through
// the service. The rules are in mount_editor_model.h; this class moves
// `MountFields` in and out of its widgets and runs the requests.
//
// UI thread only. The probe and the save run on workers that get a copy of
// the drive's JSON and return their outcome by value through the dialog's
// gate, so a dialog closed meanwhile (the application quitting during a
// long probe) drops the outcome and nothing is written into freed memory.
// While one runs, "Check", "OK" and "Cancel" do nothing.
#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "foundation/json.h"
#include "ui/mount_editor_model.h"
#include "ui/worker.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace tarn::app {

enum MountPage : int { kPageConnection, kPageNetwork, kPageCache, kPageCompatibility, kMountPageCount };

// What a save brings back.
struct SaveOutcome {
  bool ok = false;
  std::string id;
  std::string error;
  // Saved, but the server could not be reached to try the log-in: why.
  std::string loginUntried;
};

// The workers' bodies: one request each. A save logs in to the server
// first, as "tarn add" does, and the service saves nothing when the server
// refuses the log-in.
ProbeOutcome ProbeThread(const vx::json::Value& drive);
SaveOutcome SaveMountThread(const vx::json::Value& drive);

class MountDialog : public QDialog {
  Q_OBJECT

 public:
  // `lettersInUse`: the letters other drives or file systems use.
  MountDialog(QWidget* owner, const vx::json::Value& drive, bool isNew, std::u16string lettersInUse);
  ~MountDialog() override;

  const MountEditorState& state() const { return state_; }
  // The fields as the widgets show them, and back.
  MountFields fields() const;
  void showFields(const MountFields& fields);
  // The drive as it was saved, with its secrets; null until then.
  const vx::json::Value& saved() const { return saved_; }
  QTabWidget* pages() const { return pages_; }

  // How the dialog asks the service; tests hold them at gates.
  std::function<ProbeOutcome(const vx::json::Value&)> probeRequest = ProbeThread;
  std::function<SaveOutcome(const vx::json::Value&)> saveRequest = SaveMountThread;

 public Q_SLOTS:
  void reject() override;

 Q_SIGNALS:
  // The probe came back and its report is shown.
  void probeFinished(QDialog* report);
  // The save came back; a failure was shown in a message box.
  void saveFinished(bool ok);

 private:
  QWidget* connectionPage();
  QWidget* networkPage();
  QWidget* cachePage();
  QWidget* compatibilityPage();
  QLineEdit* numberField(NumberField field, const char* name);
  // Rows of two number fields side by side from `row` on; the next row.
  template <size_t N>
  int addNumberPairs(QGridLayout* grid, int row, const NumberField (&pairs)[N][2]);
  void applyProtocolFields();
  void applyServerLink();
  // The link-paste rule, the read-back and the empty-host check of "Check"
  // and "OK"; false when a message was shown instead.
  bool collect();
  void setBusy(bool busy);
  void check();
  void save();

  MountEditorState state_;
  const std::u16string lettersInUse_;
  std::shared_ptr<ResultGate> results_;
  vx::json::Value saved_;

  QTabWidget* pages_ = nullptr;
  QLineEdit* name_ = nullptr;
  QComboBox* letter_ = nullptr;
  QComboBox* protocol_ = nullptr;
  QCheckBox* tls_ = nullptr;
  QCheckBox* verifyTls_ = nullptr;
  QLineEdit* host_ = nullptr;
  QLineEdit* root_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* showPassword_ = nullptr;
  QLineEdit* keyFile_ = nullptr;
  QToolButton* pickKey_ = nullptr;
  QLineEdit* extra_ = nullptr;
  QCheckBox* autoMount_ = nullptr;
  QCheckBox* readOnly_ = nullptr;
  QLabel* hint_ = nullptr;
  std::array<QLineEdit*, kNumberFieldCount> numbers_{};
  QCheckBox* retryForever_ = nullptr;
  QCheckBox* resume_ = nullptr;
  QCheckBox* verifyUpload_ = nullptr;
  QLineEdit* cacheDir_ = nullptr;
  QComboBox* block_ = nullptr;
  QCheckBox* offline_ = nullptr;
  QCheckBox* keepDirty_ = nullptr;
  QComboBox* unicode_ = nullptr;
  QComboBox* caseCollision_ = nullptr;
  QCheckBox* reservedNames_ = nullptr;
  QCheckBox* trailingDotSpace_ = nullptr;
  QCheckBox* setMtime_ = nullptr;
  QCheckBox* hideDotFiles_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* check_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// Opens the editor for a drive's JSON, modal over `owner`, and returns at
// once; `saved` gets the drive as it was saved (with its secrets) when the
// user saved it. The dialog deletes itself when closed.
MountDialog* EditMount(QWidget* owner, const vx::json::Value& drive, bool isNew, const std::u16string& lettersInUse,
                       std::function<void(const vx::json::Value&)> saved);

// Shows a server check's report (ProbeReportText), modal over `owner`,
// resizable, in a fixed font; it deletes itself when closed.
QDialog* ShowProbeReport(QWidget* owner, const ProbeOutcome& outcome);

void ShowMountPage(MountDialog& dialog, int index);

}  // namespace tarn::app
