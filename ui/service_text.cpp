#include "ui/service_text.h"

#include "client/service_client.h"
#include "foundation/status.h"
#include "ui/language.h"
#include "ui/string_ids.h"

namespace tarn::app {

QString ErrorWords(const std::string& error) {
  const std::string_view words = StatusTextWords(error);
  return LeftToRightText(QString::fromUtf8(words.data(), static_cast<qsizetype>(words.size())));
}

QString ServiceErrorText(const std::string& error) {
  if (error == kServiceNotRunning) return Tr(kStrServiceNotRunning);
  return ErrorWords(error);
}

}  // namespace tarn::app
