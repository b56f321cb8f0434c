#include "ui/service_text.h"

#include "client/service_client.h"
#include "foundation/status.h"
#include "foundation/text.h"
#include "ui/language.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

QString ShownName(std::string_view utf8) { return Utf8(vx::EscapeControls(utf8)); }

QString ShownName(std::u16string_view name) { return ShownName(vx::WideToUtf8(name)); }

QString ShownLines(std::string_view utf8) { return Utf8(vx::EscapeControlLines(utf8)); }

QString ErrorWords(const std::string& error) { return LeftToRightText(ShownName(StatusTextWords(error))); }

QString ServiceErrorText(const std::string& error) {
  if (error == kServiceNotRunning) return Tr(kStrServiceNotRunning);
  return ErrorWords(error);
}

}  // namespace tarn::app
