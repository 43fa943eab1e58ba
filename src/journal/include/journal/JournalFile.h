// One run's journal: an SQLite file holding what the run was (an import or an undo,
// when, by whom, on which POS), the Access files it read, and an entry for every POS
// row it changed, in the order the rows were posted.
//
// While a run writes, each entry is stored into a log beside the file ("<file>-log"),
// mapped into memory, before add() returns: the stored bytes are the file's own pages,
// so a program killed after that point leaves the entry there, and no POS change can
// be made without its entry. A thread of the journal's own moves the log into the file
// as it grows, a chunk of whole records at a time, each chunk committed on its own, so
// that the end of the run only waits for the last one; the log is removed once the
// run's end is recorded. The next open of a journal whose run was cut short moves the
// rest of its log (past the chunks already in the file) in one transaction. A
// finished journal is one self-contained file, written through to the disk.
#pragma once

#include "journal/RowChange.h"

#include <QDateTime>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace journal {

class JournalRecords;

struct JournalRun {
  QString kind;  // "import" or "undo"
  QDateTime started;
  QString user;
  QString folder;    // the program folder the run used
  QString pos;       // the POS it changed, without password
  QString undoes;    // an undo: the journal it took back
  QString finished;  // the time it ended; empty while running or when it was cut short
  // "completed", "failed" (it ended on an error it reported), "cancelled" (the
  // operator stopped it between two rows), "interrupted" (cut short: its program was
  // killed or stopped without ending it); empty while the run is still writing.
  QString outcome;
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
  // An existing journal, for reading; the log of a run cut short is taken in.
  static std::unique_ptr<JournalFile> open(const QString& path);
  ~JournalFile();
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // Removes every file of the journal at `path`: the file, its log and SQLite's own.
  static void remove(const QString& path);
  // Whether a program is writing the journal at `path` now.
  static bool isRunning(const QString& path);

  const QString& path() const { return path_; }
  // Opened while its run was still writing (by this program or another): the entries
  // read are the run's so far, and its end is not known yet.
  bool running() const { return running_; }

  void addSource(const JournalSource& source);
  // Returns the entry's number once it is safe from the program being killed.
  qint64 add(const RowChange& change);
  // Takes back an entry: its row was not posted after all. The latest, or one of a batch
  // of rows journaled before the batch was sent (`action`: the entry's own).
  void remove(qint64 entry);
  void remove(qint64 entry, RowChange::Action action);
  // An entry's post failed after its statement may have run (a timeout, a lost link, a
  // count the database did not report): it stays, marked as not known.
  void markUncertain(qint64 entry);
  // Records the end ("completed" or "failed") and moves the log into the file. When
  // the file cannot take the end (a full disk), the log keeps it and the next reader
  // records it.
  void finish(bool completed);
  // The same with any outcome of JournalRun's but "interrupted".
  void finishAs(const QString& outcome);

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
  // Inserts the whole records of log[from, to) as chunks; unless `all`, a last chunk
  // shorter than a full one is left for later. Returns where the inserted chunks end.
  qsizetype insertChunks(sqlite3_stmt* insert, const char* log, qsizetype from, qsizetype to,
                         bool all, bool& failed);
  // All of the log from `from` to `to` moved into the file; throws when the file takes
  // no more. Returns `to`.
  qsizetype moveIn(const char* log, qsizetype from, qsizetype to);
  // `now`: the time it ended is now (else not known).
  void recordEnd(const QString& outcome, const JournalCounts& counts, bool now);
  void recover();
  void appendLog();  // record_ at the end of the log
  void closeLog();
  void foldWhileRunning();  // the folding thread
  void stopFolding(bool abandon);
  qsizetype touchTarget() const;     // where the folding thread may touch up to
  void claimTouched(qsizetype end);  // the run's pages up to `end`, kept from the thread

  QString path_;
  sqlite3* db_ = nullptr;
  int logFd_ = -1;          // the log while this object writes the run
  char* logMap_ = nullptr;  // address room for the largest log, reserved once
  qsizetype logRoom_ = 0;   // its size
  bool running_ = false;
  // Of the log's file: room reserved on the disk (grown by the run, read by the
  // folding thread).
  std::atomic<qsizetype> logSize_{0};
  qsizetype logUsed_ = 0;
  bool aheadRefused_ = false;  // the disk had no room ahead of the run
  // Shared with the folding thread: the log up to `published_` holds whole records.
  std::atomic<qsizetype> published_{0};
  qsizetype notified_ = 0;
  qsizetype folded_ = 0;  // the folding thread's
  std::mutex foldMutex_;
  std::condition_variable foldWake_;
  bool stopping_ = false, abandon_ = false;
  // The folding thread also touches the log's pages before the run writes them (the
  // first write to a page is by far the dearest): every page below `touched_` is done
  // with and never touched again; while `touching_`, it writes in the pages above.
  std::atomic<qsizetype> touched_{0};
  bool touching_ = false;
  std::condition_variable touchDone_;
  std::thread folder_;
  qint64 nextId_ = 1;
  int format_;  // of the records in the file
  std::unique_ptr<JournalRecords> records_;
  QByteArray record_;  // reused: the records being added
  JournalCounts counts_;
  RowChange::Action lastAction_ = RowChange::Action::Update;
};

// The operator's text when a journal cannot be written or read.
QString journalWriteError(const QString& path, const QString& reason);
QString journalReadError(const QString& path, const QString& reason);

}  // namespace journal
