#include "ui/service_text.h"

#include "client/service_client.h"
#include "foundation/status.h"
#include "ui/language.h"
#include "ui/string_ids.h"

namespace tarn::app {

QString ErrorWords(const std::string& error) {
  constexpr std::string_view kAfterCode = ": ";
  std::string_view words = error;
  for (int32_t code = Status::kNotFound; code <= Status::kProtocol; ++code) {
    const std::string_view name = Status::CodeText(code);
    if (words.size() > name.size() + kAfterCode.size() && words.substr(0, name.size()) == name &&
        words.substr(name.size(), kAfterCode.size()) == kAfterCode) {
      words.remove_prefix(name.size() + kAfterCode.size());
      break;
    }
  }
  return LeftToRightText(QString::fromUtf8(words.data(), static_cast<qsizetype>(words.size())));
}

QString ServiceErrorText(const std::string& error) {
  if (error == kServiceNotRunning) return Tr(kStrServiceNotRunning);
  return ErrorWords(error);
}

}  // namespace tarn::app
