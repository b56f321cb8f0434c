#include "ui/restore_dialog_model.h"

#include "ui/backup_page_model.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"

namespace tarn::app {

using vx::json::Value;

QString VersionText(const Value& version) {
  return FormatText(Tr(kStrVersionLine), {LeftToRightText(LocalTimeText(version["time"].asInt64())),
                                          QString::number(version["files"].asInt64()),
                                          LeftToRightText(BytesText(version["bytes"]))});
}

std::string SelectedSnapshotId(const RestoreContext& context, int index) {
  if (index < 0 || static_cast<size_t>(index) >= context.versions.size()) return std::string();
  return context.versions.at(static_cast<size_t>(index))["id"].asString();
}

std::string EnterFolder(const std::string& path, const std::string& name) { return path + "/" + name; }

std::string UpFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

QString FolderLabel(const std::string& path) {
  return path.empty() ? QStringLiteral("/") : ShownName(path);
}

EntryRow EntryRowTexts(const Value& entry) {
  EntryRow row;
  row.dir = entry["dir"].asBool(false);
  row.name = ShownName(entry["name"].asString());
  if (row.dir) {
    row.name = LeftToRightText(row.name + QLatin1Char('/'));
  } else {
    // Numbers with units and dates read left to right in every language.
    row.size = LeftToRightText(BytesText(entry["size"]));
    row.modified = LeftToRightText(LocalTimeText(entry["mtime"].asInt64()));
  }
  return row;
}

RestoreControls RestoreControlStates(const RestoreContext& context, bool rowSelected) {
  const size_t n = context.versions.size();
  const bool idle = !context.busy;
  RestoreControls c;
  c.versions = idle && n > 0;
  c.deleteVersion = idle && n > 1;
  c.up = idle && !context.path.empty();
  c.restoreEverything = idle && n > 0;
  c.list = idle;
  c.restoreSelected = idle && rowSelected;
  return c;
}

QString RestoreStatusText(bool busy, const QString& message) {
  return busy && message.isEmpty() ? Tr(kStrReadingCopy) : message;
}

LoadOutcome TakeRestoreLoad(RestoreContext& context, const RestoreLoadResult& result) {
  if (result.generation != context.generation) return LoadOutcome::kDropped;
  if (!result.ok) {
    context.busy = false;
    return LoadOutcome::kFailed;
  }
  if (result.kind == RestoreLoadKind::kFolder) {
    context.path = result.path;
    context.entries = result.reply["entries"].isArray() ? result.reply["entries"] : Value::array();
    context.busy = false;
    return LoadOutcome::kFolder;
  }
  // The service lists the oldest first.
  const Value& listed = result.reply["snapshots"];
  Value versions = Value::array();
  for (size_t i = listed.size(); i > 0; --i) versions.append(listed.at(i - 1));
  context.versions = std::move(versions);
  context.path.clear();
  context.entries = Value::array();
  if (context.versions.size() == 0) {
    context.busy = false;
    return LoadOutcome::kNoVersions;
  }
  return LoadOutcome::kVersions;
}

}  // namespace tarn::app
