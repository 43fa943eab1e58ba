// What the last export of a POS table wrote, kept in the journal folder so that an
// edits-only import can tell the cells the operator changed in Access from those only
// the POS changed since: per key, the canonical value of every column.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

namespace db {
class Dataset;
}

namespace posdb {

class ExportRecord {
 public:
  // journal/exported-<Table>.values in the program folder.
  static QString path(const QString& table);
  // Replaces the table's record with the rows `query` holds, keyed by `keyField`
  // (lookup fields left out). Only its owner can read it: it holds members' data.
  static void write(const QString& table, const db::Dataset& query, const QString& keyField);
  // The table's record; none when there is none or it cannot be read (an import then
  // goes on as without one).
  static std::optional<ExportRecord> read(const QString& table);

  // The value the export wrote for the row's column: none when the key or the column is
  // not in the record (a row added since, a column the export did not have).
  std::optional<QVariant> value(const QString& key, const QString& column) const;

 private:
  std::vector<QVariant> unpack(qsizetype offset) const;

  QByteArray bytes_;                // the file as read
  QHash<QString, int> columns_;     // lower-case name → index
  std::vector<quint8> kinds_;       // db::BasicKind of each column
  QHash<QString, qsizetype> rows_;  // key → where its values start in bytes_
  // The row asked for last: an import asks for its columns one after another.
  mutable QString cachedKey_;
  mutable std::vector<QVariant> cachedRow_;
};

}  // namespace posdb
