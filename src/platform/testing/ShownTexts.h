// Test support: every text the program shows an operator during the test suites (boxes
// through the UI seam, reports, the batch command's output) is appended to a file of the
// build folder (or the one DATACONV_SHOWN_TEXTS names; set and empty: none), one JSON
// object a line; a check that runs after the suites reads them all and fails on English
// an operator would meet without a Chinese line before it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace platform::testing {

// The file the texts go to; empty: none.
QByteArray shownTextsLog();

// Appends one text. `source` says where it was shown
// ("box", "batch stderr"...); `details` are the driver's words a box keeps below its
// text. A test that shows English on purpose (input it makes up) wraps that in a
// NotShownToOperators.
void recordShownText(const QString& source, const QString& text, const QString& details = {});

// The command-line output of a run: its lines, where a line indented by four blanks
// under a Chinese line is that line's details.
void recordConsoleOutput(const QString& source, const QString& output);

// While alive, nothing is recorded (a test that feeds the program English on purpose).
class NotShownToOperators {
 public:
  NotShownToOperators();
  ~NotShownToOperators();
  NotShownToOperators(const NotShownToOperators&) = delete;
  NotShownToOperators& operator=(const NotShownToOperators&) = delete;
};

// The words of `text` an operator who reads only Chinese could not place: runs of Latin
// letters that are not inside 「」, '' or "" quotes (values and names), not part of a
// path, file name, number-bearing value or command-line option, and not one of the
// known terms or `names` (table and column names). `details` are not looked at when
// `text` holds Chinese; otherwise they are checked as text.
QStringList foreignWords(const QString& text, const QString& details, const QStringList& names);

}  // namespace platform::testing
