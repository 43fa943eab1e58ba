// The records of a journal's log, in which a run writes its entries as it goes: each
// record is its size, a check sum and its content — an entry (number, table, key
// column, key, action, cells), the removal of an entry whose row was not posted, or a
// column name, written once before the first entry that uses it, so that cells name
// their column by number.
//
// Values are in the machine's byte order (a journal stays on the machine that wrote
// it): whole numbers and doubles as their bytes, texts as UTF-16 code units, dates as
// milliseconds from 1970.
#pragma once

#include "import/RowChange.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <vector>

namespace dataimport {

class JournalRecords {
 public:
  // Appends the records of an entry (after those of names not written yet) to `out`.
  void writeEntry(qint64 id, const RowChange& change, QByteArray& out);
  void writeRemoval(qint64 id, QByteArray& out);

  // The length of the whole, intact records at the start of `bytes`: a record cut
  // short or garbled ends a log (its write never completed, so its row was never
  // posted).
  static qsizetype intactLength(const QByteArray& bytes);

  // Reads records in order into entries, removals applied. False when a record does
  // not read (a damaged file).
  bool read(const QByteArray& records);
  std::vector<RowChange> takeEntries();

 private:
  quint16 nameNumber(const QString& column, QByteArray& out);

  // Writing.
  QHash<QString, quint16> numbers_;
  QByteArray payload_;
  std::vector<quint16> cellNames_;
  std::vector<std::pair<QString, quint16>> lastColumns_;
  // Reading.
  QStringList names_;
  std::vector<RowChange> entries_;
  std::vector<qint64> ids_;
  std::vector<bool> removed_;
};

}  // namespace dataimport
