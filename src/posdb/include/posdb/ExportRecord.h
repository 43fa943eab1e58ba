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
#include <utility>
#include <vector>

namespace db {
class Dataset;
}

namespace posdb {

class ExportRecord {
 public:
  // journal/exported-<Table>.values in the program folder: what the export that wrote
  // the file's first rows wrote. An export appended after `firstRow` rows keeps its own
  // record, journal/exported-<Table>.<firstRow>.values.
  static QString path(const QString& table, int firstRow = 0);
  // Records the rows `query` holds, keyed by `keyField` (lookup fields left out), as
  // written to the exchange file from its row `firstRow` (0-based) on: the records of
  // exports that wrote rows from there on are dropped (0: every record of the table).
  // Only its owner can read it: it holds members' data.
  static void write(const QString& table, const db::Dataset& query, const QString& keyField,
                    int firstRow = 0);
  // The table's record of the export that wrote the file's first rows; none when there
  // is none or it cannot be read (an import then goes on as without one).
  static std::optional<ExportRecord> read(const QString& table);
  // Every record of the table that reads, by the first row each export wrote, in order.
  static std::vector<std::pair<int, ExportRecord>> readAll(const QString& table);

  // The value the export wrote for the row's column: none when the key or the column is
  // not in the record (a row added since, a column the export did not have).
  std::optional<QVariant> value(const QString& key, const QString& column) const;

 private:
  std::vector<QVariant> unpack(qsizetype offset) const;
  static std::optional<ExportRecord> readFile(const QString& path);

  QByteArray bytes_;                // the file as read
  QHash<QString, int> columns_;     // lower-case name → index
  std::vector<quint8> kinds_;       // db::BasicKind of each column
  QHash<QString, qsizetype> rows_;  // key → where its values start in bytes_
  // The row asked for last: an import asks for its columns one after another.
  mutable QString cachedKey_;
  mutable std::vector<QVariant> cachedRow_;
};

}  // namespace posdb
