// The POS rows an exchange file no longer holds: the import leaves them alone (it never
// deletes), but a row deleted from the file is most often a mistake the operator wants
// to hear of before the import runs.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace db {
class Dataset;
}

namespace dataimport {

struct MissingRows {
  int count = 0;
  // The first of them in the POS's order, as many as were asked for.
  QStringList firstKeys;
};

// Walks the file's key column `fileKey` (the file's cursor is left at its end) and reads
// the POS's `posKey` in place. Keys are compared as the POS
// compares them; `complete`, when given, turns a file key into the POS's form first (an
// item number's leading zeros) and may throw for a key that fails on its own, which
// then counts as no key. Blank file keys count as no key.
MissingRows findMissingRows(db::Dataset& file, const QString& fileKey, const db::Dataset& pos,
                            const QString& posKey,
                            const std::function<QString(const QString&)>& complete = {},
                            int listed = 5);

// "檔案中少了 1 列：M0000009；匯入不會刪除 POS 的資料" for a table's file; empty when none.
QString missingRowsText(const MissingRows& missing);

}  // namespace dataimport
