// One run's journal: an SQLite file holding what the run was (an import or an undo,
// when, by whom, on which POS), the Access files it read, and an entry for every POS
// row it changed, in the order the rows were posted.
//
// An entry is committed before add() returns, in write-ahead-log mode: a program
// killed after that point leaves the entry in the file for the next reader, so no POS
// change can be made without its entry. A finished journal is folded back into its
// one file.
#pragma once

#include "import/RowChange.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace dataimport {

struct JournalRun {
  QString kind;  // "import" or "undo"
  QDateTime started;
  QString user;
  QString folder;    // the program folder the run used
  QString pos;       // the POS it changed, without password
  QString undoes;    // an undo: the journal it took back
  QString finished;  // the time it ended; empty while running or when it was cut short
  QString outcome;   // "completed" or "failed"; empty while running or cut short
};

struct JournalSource {
  QString table;
  QString file;
  QDateTime modified;
};

struct JournalCounts {
  int updates = 0;
  int appends = 0;
  int deletes = 0;
};

class JournalFile {
 public:
  // A new journal at `path`, which must not exist yet.
  static std::unique_ptr<JournalFile> create(const QString& path, const JournalRun& run);
  // An existing journal, for reading.
  static std::unique_ptr<JournalFile> open(const QString& path);
  ~JournalFile();
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  const QString& path() const { return path_; }

  void addSource(const JournalSource& source);
  // Returns the entry's number once it is committed.
  qint64 add(const RowChange& change);
  // Takes back an entry whose row was not posted after all.
  void remove(qint64 entry);
  // Records the end and folds the log into the file.
  void finish(bool completed);

  JournalRun run() const;
  std::vector<JournalSource> sources() const;
  JournalCounts counts() const;
  // Every entry, in the order they were made.
  std::vector<RowChange> entries() const;

 private:
  JournalFile(const QString& path, sqlite3* db);
  [[noreturn]] void fail(const QString& what) const;
  void exec(const char* sql);
  sqlite3_stmt* prepare(const char* sql) const;

  QString path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  QByteArray cells_;  // reused: the encoded cells of the entry being added
};

// The operator's text when a journal cannot be written or read.
QString journalWriteError(const QString& path, const QString& reason);
QString journalReadError(const QString& path, const QString& reason);

}  // namespace dataimport
