#include "platform/ErrorText.h"

#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <new>
#include <stdexcept>

namespace platform {

QString withFullStop(const QString& text) {
  if (!text.isEmpty() && text.back() > QLatin1Char('.')) return text + QLatin1Char('.');
  return text;
}

bool hasChinese(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3000 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
        (u >= 0xFF00 && u <= 0xFFEF))
      return true;
  }
  return false;
}

SplitText splitDetails(const QString& text) {
  const QStringList lines = text.split(QLatin1Char('\n'));
  qsizetype first = lines.size();
  while (first > 0 && !hasChinese(lines[first - 1])) --first;
  if (first == 0 || first == lines.size()) return {text, {}};
  QStringList head = lines.mid(0, first);
  while (!head.isEmpty() && head.back().trimmed().isEmpty()) head.removeLast();
  return {head.join(QLatin1Char('\n')), lines.mid(first).join(QLatin1Char('\n')).trimmed()};
}

QString unableToWrite(const QString& fullPath) {
  const QFileInfo file(fullPath);
  return QStringLiteral(
             "無法寫入檔案 %1：請確認資料夾 %2 存在、可以寫入（不是唯讀，帳號有權限），"
             "而且磁碟還有空間，再試一次。\nUnable to write to %3")
      .arg(QDir::toNativeSeparators(fullPath), QDir::toNativeSeparators(file.absolutePath()),
           fullPath);
}

QString errorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const Error& e) {
    return e.message();
  } catch (const std::bad_alloc&) {
    return QStringLiteral("記憶體不足：請關閉其他程式後再試一次。");
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("發生無法辨識的錯誤：請再試一次，仍然失敗時請聯絡系統管理員。");
  }
}

}  // namespace platform
