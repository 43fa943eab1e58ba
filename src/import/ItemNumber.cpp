#include "import/ItemNumber.h"

#include <db/ValueText.h>
#include <platform/CodePage.h>
#include <platform/Error.h>

namespace dataimport {

QString trimmedText(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin].unicode() <= 32) ++begin;
  while (end > begin && text[end - 1].unicode() <= 32) --end;
  return begin == 0 && end == text.size() ? text : text.mid(begin, end - begin);
}

QChar EanCheckDigit(const QString& text) {
  int sum = 0;
  for (int i = 0; i < 7; ++i) {
    const QChar c = i < text.size() ? text[i] : QChar();
    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
      throw platform::Error(
          db::ValueText::notAValue(i < text.size() ? QString(c) : QString(), db::ftInteger));
    const int digit = c.unicode() - '0';
    sum += i % 2 == 0 ? 3 * digit : digit;
  }
  return QChar('0' + (10 - sum % 10) % 10);
}

QString completeItemNo(const QString& text) {
  QString key = trimmedText(text);
  const int bytes = platform::big5Length(key);
  if (bytes == 6) {
    key += QLatin1Char('0');
    key += EanCheckDigit(key);
  } else if (bytes == 7) {
    key += EanCheckDigit(key);
  }
  return key;
}

}  // namespace dataimport
