#include "import/MissingRows.h"

#include <db/Dataset.h>
#include <db/Field.h>

#include <QSet>

namespace dataimport {

MissingRows findMissingRows(db::Dataset& file, const QString& fileKey, const db::Dataset& pos,
                            const QString& posKey,
                            const std::function<QString(const QString&)>& complete, int listed) {
  db::Field& source = file.fieldByName(fileKey);
  const db::Field& target = pos.fieldByName(posKey);
  QSet<QString> inFile;
  inFile.reserve(file.recordCount());
  for (file.first(); !file.eof(); file.next()) {
    QString key = source.asString();
    if (complete) {
      try {
        key = complete(key);
      } catch (...) {
        continue;  // the row fails on its own key
      }
    }
    if (key.trimmed().isEmpty()) continue;
    inFile.insert(pos.textForm(target, key));
  }
  MissingRows missing;
  const int rows = pos.recordCount();
  for (int row = 0; row < rows; ++row) {
    const QString key = pos.valueAt(row, target).toString();
    if (inFile.contains(pos.textForm(target, key))) continue;
    ++missing.count;
    if (missing.firstKeys.size() < listed) missing.firstKeys << key.trimmed();
  }
  return missing;
}

QString missingRowsText(const MissingRows& missing) {
  if (missing.count == 0) return {};
  QString keys = missing.firstKeys.join(QStringLiteral("、"));
  if (missing.count > missing.firstKeys.size()) keys += QStringLiteral("…");
  return QStringLiteral("檔案中少了 %1 列：%2；匯入不會刪除 POS 的資料")
      .arg(missing.count)
      .arg(keys);
}

}  // namespace dataimport
