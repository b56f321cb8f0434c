// A report of plain text in a dialog of its own (a job's log, a server
// check): resizable, read-only, in a fixed-pitch font whose long lines wrap
// at the dialog's edge, with the caption the caller gives.
// UI thread.
#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace tarn::app {

// Opens the report over `owner`, which it blocks until the report is
// closed, and returns at once; the dialog frees itself when closed. A
// report of the service's own (`serviceText`: a log, in English) reads left
// to right in every language; one composed in the user's language, in its
// direction.
QDialog* ShowTextReport(QWidget* owner, const QString& caption, const QString& text, bool serviceText = true);

}  // namespace tarn::app
