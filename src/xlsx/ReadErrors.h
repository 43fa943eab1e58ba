// The reader's messages. Every failure to read a workbook is a platform::Error whose
// text names the file and says, in the operator's words, what is wrong with it.
#pragma once

#include <QString>

namespace xlsx {

// "無法讀取 Excel 檔案 PATH：REASON".
[[noreturn]] void failRead(const QString& path, const QString& reason);
// The file is damaged; `detail` says where and how (a part and what is wrong in it).
[[noreturn]] void failDamaged(const QString& path, const QString& detail);

QString notAWorkbookReason();
// A zip whose parts are encrypted (no tool of Excel's makes one).
QString passwordProtectedReason();
// A workbook Excel encrypted: under a password the operator set, or under the default
// one Excel uses for some protections, which it opens without asking.
QString encryptedWorkbookReason();
// libzip's error `code` in the operator's words; `fallback` for the rarer ones.
QString zipErrorText(int code, const char* fallback);

}  // namespace xlsx
