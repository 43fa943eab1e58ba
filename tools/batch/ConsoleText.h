// Text the batch command prints: in the terminal's encoding, flushed at once so that
// standard output and standard error keep their order in a log.
#pragma once

#include <QString>
#include <cstdio>
#include <exception>

namespace batch {

void write(std::FILE* file, const QString& text);

// The error's text as the windows' error box shows it, on a line of its own; the
// driver's own words, when they follow, on indented lines below it.
void writeError(std::FILE* err, const std::exception_ptr& error);

// The columns `line` takes on a terminal: two for a Chinese character, one otherwise.
int displayWidth(const QString& line);

}  // namespace batch
