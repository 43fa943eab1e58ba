// The text an operator sees for an error, whoever shows it: the error box of the
// windows or the standard error of a command-line front end.
#pragma once

#include <QString>
#include <exception>

namespace platform {

// A full stop is added when the last character sorts after "." (so a text ending
// in ".", "!" or a blank is left alone, while one ending in a letter, digit or
// Chinese character - also "。" - gets one).
QString withFullStop(const QString& text);

// An error text split for a box: what the operator reads, and the lines after it that
// hold no Chinese (the driver's or the system's own message), which a box shows as
// its details. A text that is all details keeps it as its text.
struct SplitText {
  QString text;
  QString details;
};
SplitText splitDetails(const QString& text);

// Whether `text` holds a CJK ideograph or full-width punctuation.
bool hasChinese(const QString& text);

// A file the file system would not let the program write (a read-only or full disk,
// no permission, no such folder): what to check in Chinese, then the system's own
// "Unable to write to <path>" for support. `fullPath` is the file's full path.
QString unableToWrite(const QString& fullPath);

// The operator's text of an error caught as `error`.
QString errorText(const std::exception_ptr& error);

}  // namespace platform
