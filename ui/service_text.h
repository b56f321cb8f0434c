// Texts the service sends, as the windows show them. The service's errors
// begin with the code of their kind ("auth-failed: wrong repository
// password"), which is for programs and logs; a window shows the words that
// follow. Any thread.
#pragma once

#include <QString>

#include <string>

namespace tarn::app {

// The error without its leading status code; inside right-to-left text it
// reads left to right, as it is English.
QString ErrorWords(const std::string& error);

// Why the service did not answer, in the user's language where the reason
// is the common one.
QString ServiceErrorText(const std::string& error);

}  // namespace tarn::app
