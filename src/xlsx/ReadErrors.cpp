#include "ReadErrors.h"

#include <zip.h>

#include "platform/Error.h"

namespace xlsx {

void failRead(const QString& path, const QString& reason) {
  throw platform::Error(QStringLiteral("無法讀取 Excel 檔案 %1：%2").arg(path, reason));
}

void failDamaged(const QString& path, const QString& detail) {
  failRead(path, QStringLiteral("檔案已損壞（%1）").arg(detail));
}

QString notAWorkbookReason() {
  return QStringLiteral("不是 Excel 活頁簿（.xlsx）檔案");
}

QString passwordProtectedReason() {
  return QStringLiteral("這個檔案有密碼保護，請在 Excel 中移除密碼後再匯入");
}

// Both cases look alike from outside: the default password is only told apart by
// deriving its key and decrypting the verifier, so the message covers both.
QString encryptedWorkbookReason() {
  return QStringLiteral(
      "這個檔案已加密。若 Excel 開啟時要求輸入密碼，請在 Excel 中移除密碼後再匯入；"
      "若 Excel 不要求密碼就能開啟（以 Excel 的預設密碼保護），"
      "請在 Excel 中另存一份不加保護的副本，再匯入該副本");
}

QString zipErrorText(int code, const char* fallback) {
  switch (code) {
    case ZIP_ER_CRC:
      return QStringLiteral("內容的檢查碼不符");
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
      return QStringLiteral("壓縮的資料有誤");
    case ZIP_ER_INCONS:
      return QStringLiteral("壓縮檔的結構前後不一致");
    case ZIP_ER_NOZIP:
      return QStringLiteral("找不到壓縮檔的目錄，檔案可能只有前面一部分");
    case ZIP_ER_EOF:
      return QStringLiteral("檔案提前結束");
    case ZIP_ER_COMPNOTSUPP:
      return QStringLiteral("使用了不支援的壓縮方式");
    case ZIP_ER_MULTIDISK:
      return QStringLiteral("分割成多個檔案的壓縮檔");
    default:
      return QString::fromUtf8(fallback);
  }
}

}  // namespace xlsx
