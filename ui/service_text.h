// Texts the service sends, as the windows show them. The service's errors
// begin with the code of their kind ("auth-failed: wrong repository
// password"), which is for programs and logs; a window shows the words that
// follow. Any thread.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace tarn::app {

// A name the service sends (of a file, a folder, a drive, a job, a server),
// as a window shows it: a control character, or one that would end the
// line or turn the text around it, written as \xNN (vx::EscapeControls),
// so that "invoice<U+202E>txt.exe" cannot pass for "invoiceexe.txt".
QString ShownName(std::string_view utf8);
QString ShownName(std::u16string_view name);
// The same for a text of several lines (a log): its line feeds and tabs
// kept, the carriage returns of its line ends dropped.
QString ShownLines(std::string_view utf8);

// The error without its leading status code, the names in it shown as
// ShownName shows them; inside right-to-left text it reads left to right,
// as it is English.
QString ErrorWords(const std::string& error);

// Why the service did not answer, in the user's language where the reason
// is the common one.
QString ServiceErrorText(const std::string& error);

}  // namespace tarn::app
