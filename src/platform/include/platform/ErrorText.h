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

// The operator's text of an error caught as `error`.
QString errorText(const std::exception_ptr& error);

}  // namespace platform
