// The records of a journal's log, in which a run writes its entries as it goes: each
// record is its size, a check sum and its content — an entry (number, table, key
// column, key, action, cells), the removal of an entry whose row was not posted, or a
// column name, written once before the first entry that uses it, so that cells name
// their column by number.
//
// Numbers of names, ids, lengths, whole numbers and dates (milliseconds from 1970) are
// varints; doubles are their eight bytes in the machine's byte order (a journal stays
// on the machine that wrote it); a text is a byte a character when every character
// fits one, else UTF-16 code units. A cell carries the values its action has: an
// update both, an append the one it writes, a removed row the one it had. Format 4
// adds the record of an entry whose post is not known to have reached the POS; format
// 3 journals read as they are. Journals of
// format 2 (fixed-width numbers, UTF-16 texts, both values of every cell) still read.
#pragma once

#include "journal/RowChange.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <optional>
#include <vector>

namespace journal {

class JournalRecords {
 public:
  static constexpr int kFormat = 4;
  explicit JournalRecords(int format = kFormat);

  // Appends the records of an entry (after those of names not written yet) to `out`.
  void writeEntry(qint64 id, const RowChange& change, QByteArray& out);
  void writeRemoval(qint64 id, QByteArray& out);
  // The entry's post failed in a way that leaves it unknown whether it reached the POS.
  void writeUncertain(qint64 id, QByteArray& out);

  // A run's outcome (a number of the caller's, above 0), as the last record of a log.
  void writeEnded(int outcome, QByteArray& out);
  // The outcome the log's intact records (its first `length` bytes) end with, 0 when
  // their last is no such record; `length` then becomes where that record starts.
  static int endedAs(const QByteArray& bytes, qsizetype& length);

  // The length of the whole, intact records at the start of `bytes`: a record cut
  // short or garbled ends a log (its write never completed, so its row was never
  // posted).
  static qsizetype intactLength(const QByteArray& bytes);

  // Reads records in order into entries, removals applied. False when a record does
  // not read (a damaged file).
  bool read(const QByteArray& records);
  std::vector<RowChange> takeEntries();

 private:
  struct NameCache {
    QString name;
    quint32 number = 0;
  };
  quint32 nameNumber(const QString& name, QByteArray& out);
  quint32 cachedNumber(const QString& name, NameCache& last, QByteArray& out);
  bool readRecord(const QByteArray& payload);
  bool readRecord2(const QByteArray& payload);
  bool readName(qint64 number, const QString& name);
  // The place of entry `id` among those read.
  std::optional<size_t> find(qint64 id) const;
  bool removal(qint64 id);
  bool uncertain(qint64 id);
  bool entry(qint64 id, RowChange&& change);

  int format_;
  // Writing.
  QHash<QString, quint32> numbers_;
  std::vector<quint32> cellNames_;
  NameCache lastTable_, lastKeyColumn_;
  std::vector<NameCache> lastColumns_;
  // Reading.
  QStringList names_;
  std::vector<RowChange> entries_;
  std::vector<qint64> ids_;
  std::vector<bool> removed_;
};

}  // namespace journal
