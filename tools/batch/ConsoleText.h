// Text the batch command prints: in the terminal's encoding, flushed at once so that
// standard output and standard error keep their order in a log.
#pragma once

#include <QString>
#include <cstdio>
#include <exception>

namespace batch {

void write(std::FILE* file, const QString& text);

// The error's text as the windows' error box shows it, on a line of its own.
void writeError(std::FILE* err, const std::exception_ptr& error);

}  // namespace batch
