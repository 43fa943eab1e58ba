#include "ConsoleText.h"

#include <platform/ErrorText.h>

#include <QStringList>

namespace batch {

void write(std::FILE* file, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), file);
  std::fflush(file);
}

void writeError(std::FILE* err, const std::exception_ptr& error) {
  // The driver's or the system's own words follow the operator's line, indented, for
  // support.
  const platform::SplitText split =
      platform::splitDetails(platform::withFullStop(platform::errorText(error)));
  QString text = split.text + QLatin1Char('\n');
  if (!split.details.isEmpty())
    for (const QString& line : split.details.split(QLatin1Char('\n')))
      text += QStringLiteral("    ") + line + QLatin1Char('\n');
  write(err, text);
}

int displayWidth(const QString& line) {
  int width = 0;
  for (const QChar c : line) width += platform::hasChinese(QString(c)) ? 2 : 1;
  return width;
}

}  // namespace batch
