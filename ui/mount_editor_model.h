// The drive editor's rules as plain functions over plain data: the editor's
// state for one drive, what its four pages show for it (`MountFields`, the
// text and choice of every field), the letters, the protocol-dependent
// fields, the link-paste rule, and the reading back of the pages into the
// drive's configuration with its secret rules and checked number fields.
// The dialog (mount_editor.h) only moves `MountFields` in and out of its
// widgets and runs the requests. Any thread; no state of their own.
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>

#include "client/service_client.h"
#include "foundation/json.h"
#include "foundation/mount_config.h"

namespace tarn::app {

// The state of one open editor. Owned by the dialog, UI thread only: the
// workers of "Check" and "OK" get a copy of the drive's JSON and hand their
// results back by value.
struct MountEditorState {
  MountConfig config;  // the working configuration
  bool isNew = false;
  bool passwordEdited = false;  // the user changed the password field
  bool keyEdited = false;       // the user changed the key file field
  bool hasPassword = false;     // the stored drive has a password
  bool hasPrivateKey = false;   // the stored drive has a key
  bool probing = false;
  bool saving = false;
};

// The state for a drive's JSON: as the status or a caller gives it; a new
// drive loses its id and remote path and becomes a WebDAV drive.
MountEditorState OpenMountEditor(const vx::json::Value& drive, bool isNew);

// --- letters: D to Z ---

inline constexpr char16_t kFirstLetter = u'D';
inline constexpr char16_t kLastLetter = u'Z';
inline constexpr int kLetterCount = kLastLetter - kFirstLetter + 1;
// A new drive takes the first free letter from here on.
inline constexpr char16_t kFirstNewLetter = u'P';

// "D:" to "Z:", a letter in use (and not the drive's own) marked " *", each
// reading left to right in every language.
QStringList LetterItems(const std::u16string& inUse, char16_t own);
// The letter's index in LetterItems.
int LetterIndexFor(const MountEditorState& state, const std::u16string& inUse);
// The letters of the other drives of a status and the letters whose mount
// point has a file system on it.
std::u16string LettersInUse(const ServiceStatus& status, const std::string& ownId);

// --- number fields ---

enum NumberField : int {
  kFieldPort,
  kFieldConnectTimeout,
  kFieldIoTimeout,
  kFieldAttempts,
  kFieldKeepalive,
  kFieldRetryMin,
  kFieldRetryMax,
  kFieldConnections,
  kFieldSpeedLimit,
  kFieldUploadChunk,
  kFieldParallelChunks,
  kFieldCacheSize,
  kFieldReadahead,
  kFieldReadaheadMax,
  kFieldMetadataTtl,
  kFieldWritebackDelay,
  kFieldWholeFileBelow,
  kNumberFieldCount
};

// A number field: its label, the unit of its text (the stored value is the
// text's number times `scale`), the value an empty field stands for, and
// the largest stored value the configuration can hold.
struct NumberFieldSpec {
  int labelId;
  uint64_t scale;
  uint64_t emptyValue;  // in the field's unit
  uint64_t maxStored;
  uint64_t (*get)(const MountConfig&);
  void (*set)(MountConfig&, uint64_t stored);
};

const NumberFieldSpec& NumberFieldAt(NumberField field);

// The number a field's text stands for, in the field's unit: a whole number
// (blanks around it and a "+" allowed), or the empty value for an empty
// text. False, with the message that names the field, for anything else,
// a negative number or one the configuration cannot hold.
bool IntFromDlgItem(const QString& text, NumberField field, uint64_t& value, QString& error);
// The text of a stored value, in the field's unit.
QString SetDlgItemNumber(NumberField field, const MountConfig& config);

// The cache block sizes offered, in KiB, and the one chosen when the
// drive's size is none of them.
inline constexpr std::array<uint32_t, 9> kBlockKiB = {64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};
inline constexpr int kDefaultBlockIndex = 4;

// The protocols of the list, in its order.
inline constexpr std::array<const char*, 3> kProtocols = {"webdav", "sftp", "nfs"};
int ProtocolIndex(const std::string& protocol);

// --- the pages' fields ---

struct MountFields {
  // Connection.
  QString name;
  int letter = -1;  // index in LetterItems; -1 none
  int protocol = 0;
  bool tls = true;
  bool verifyTls = true;
  QString host;
  QString user;
  QString root;
  QString password;
  QString keyFile;
  QString extra;
  bool autoMount = true;
  bool readOnly = false;
  // Every number field's text, the port among them.
  std::array<QString, kNumberFieldCount> numbers;
  // Network.
  bool uploadsRetryForever = true;
  bool resume = true;
  bool verifyAfterUpload = true;
  // Cache.
  QString cacheDir;
  int block = kDefaultBlockIndex;
  bool offlineMode = false;
  bool keepDirtyForever = true;
  // Compatibility.
  int unicode = 0;        // nfc, nfd, none
  int caseCollision = 0;  // refuse, allow
  bool allowReservedNames = false;
  bool allowTrailingDotSpace = false;
  bool setMtime = true;
  bool hideDotFiles = false;
};

// What the pages show when the editor opens.
MountFields FillMountFields(const MountEditorState& state, const std::u16string& inUse);

// The placeholders of stored secrets, which are not edits.
QString PasswordPlaceholder();

// What the chosen protocol enables, and its hint.
struct ProtocolFields {
  int hintId;
  bool tls;    // "HTTPS" and "Verify certificate"
  bool key;    // the key file and its "..." button
  bool login;  // login and password
};
ProtocolFields EnableMountFields(int protocol);

// The user chose a protocol in the list: WebDAV with an empty remote path
// gets the files path of the servers that have one.
void ProtocolChosen(MountFields& fields);

// The link-paste rule: a link in the server field fills the protocol, the
// HTTPS flag, the login and the password from it, and leaves the path to
// the link. True when the fields changed.
bool ParseServerLink(MountFields& fields, MountEditorState& state);

// Reads the pages into the working configuration, secrets by their rules.
// False, with the message to show, for a number that cannot be taken or a
// key file that cannot be read; the configuration may then be half read
// and must not be sent.
bool CollectMount(MountEditorState& state, const MountFields& fields, QString& error);

// A key file's whole content; false with the system's reason.
bool ReadKeyFile(const std::string& path, std::string& content, std::string& reason);

// --- the server check ---

// What a probe of the service brings back.
struct ProbeOutcome {
  bool ok = false;  // the request succeeded
  std::string summary;
  bool reportOk = false;
  std::string error;
  vx::json::Value report;  // "items" of "level", "check" and "message"
};

// The report of a check in the user's language: whether the server can be
// used, then a line for each check with its level and name in words, and
// the service's own finding after them, apart (it is English). A failed
// request is its reason alone; a reply without items, its summary.
QString ProbeReportText(const ProbeOutcome& outcome);

}  // namespace tarn::app
