#include "ConsoleText.h"

#include <platform/ErrorText.h>

namespace batch {

void write(std::FILE* file, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), file);
  std::fflush(file);
}

void writeError(std::FILE* err, const std::exception_ptr& error) {
  write(err, platform::withFullStop(platform::errorText(error)) + QLatin1Char('\n'));
}

}  // namespace batch
