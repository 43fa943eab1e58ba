#include "journal/JournalFile.h"

#include "JournalRecords.h"

#include <platform/Error.h>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace journal {
namespace {

// The log moves into the file in rows of at most this many bytes.
constexpr qsizetype kChunk = 4 << 20;
// The log's file grows by doubling from this; the bytes past its last record are zero,
// which ends the records for a reader.
constexpr qsizetype kLogStep = 1 << 20;
// Address room for the log, mapped once so that its bytes never move while the
// folding thread reads them (a log grows by about a kilobyte a row): this much when
// the process may take all it wants, else a part of what its limit leaves.
constexpr qsizetype kLogRoom = qsizetype(64) << 30;
constexpr qsizetype kLeastRoom = qsizetype(16) << 20;
// How far ahead of the run the folding thread keeps the log's pages touched.
constexpr qsizetype kAhead = 8 << 20;
constexpr qsizetype kPage = 4096;

const char* const kSchema =
    "CREATE TABLE run(format INTEGER NOT NULL, kind TEXT NOT NULL, started TEXT NOT NULL,"
    " user TEXT, folder TEXT, pos TEXT, undoes TEXT, finished TEXT, outcome TEXT,"
    " updates INTEGER, appends INTEGER, deletes INTEGER);"
    "CREATE TABLE source(id INTEGER PRIMARY KEY, tbl TEXT NOT NULL, file TEXT NOT NULL,"
    " modified TEXT);"
    "CREATE TABLE chunk(id INTEGER PRIMARY KEY, records BLOB NOT NULL);";
const char* const kInsertChunk = "INSERT INTO chunk(records) VALUES (?)";

QString errorOf(sqlite3* db) {
  return QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(db)));
}

QString systemError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

QString text16(sqlite3_stmt* st, int column) {
  const void* p = sqlite3_column_text16(st, column);
  if (!p) return QString();
  return QString::fromUtf16(static_cast<const char16_t*>(p),
                            sqlite3_column_bytes16(st, column) / int(sizeof(char16_t)));
}

void bind(sqlite3_stmt* st, int index, const QString& text) {
  sqlite3_bind_text16(st, index, text.utf16(), int(text.size() * sizeof(char16_t)),
                      SQLITE_TRANSIENT);
}

QString isoTime(const QDateTime& t) {
  return t.toString(Qt::ISODateWithMs);
}

QString logPath(const QString& path) {
  return path + QStringLiteral("-log");
}

// Room for the log under the process's address-space limit (ulimit -v, common for
// scheduled jobs): a quarter of what the limit leaves, so that the rest of the run
// keeps room to allocate.
qsizetype logRoomAllowed() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kLogRoom;
  qsizetype used = 0;
  if (QFile statm(QStringLiteral("/proc/self/statm")); statm.open(QIODevice::ReadOnly))
    used = statm.readLine().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
  const qsizetype left = qsizetype(limit.rlim_cur) - used;
  return std::clamp(left / 4 / kLogStep * kLogStep, kLeastRoom, kLogRoom);
}

// A run's outcome as the record its log may end with keeps it.
int codeOfOutcome(const QString& outcome) {
  if (outcome == u"completed") return 1;
  if (outcome == u"cancelled") return 3;
  return 2;
}

QString outcomeOfCode(int code) {
  switch (code) {
    case 1:
      return QStringLiteral("completed");
    case 2:
      return QStringLiteral("failed");
    case 3:
      return QStringLiteral("cancelled");
    default:
      return QString();
  }
}

// Whether a program holds the log: its run is still writing.
bool heldByARun(const QString& log) {
  const int fd = ::open(QFile::encodeName(log).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

// The whole file from its start, read into room made once.
bool readAll(int fd, QByteArray& out) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  out.resize(qsizetype(st.st_size));
  qsizetype done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(fd, out.data() + done, size_t(out.size() - done), off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    done += n;
  }
  out.truncate(done);
  return true;
}

void count(JournalCounts& c, RowChange::Action a, int by) {
  switch (a) {
    case RowChange::Action::Update:
      c.updates += by;
      break;
    case RowChange::Action::Append:
      c.appends += by;
      break;
    case RowChange::Action::Delete:
      c.deletes += by;
      break;
  }
}

}  // namespace

QString journalWriteError(const QString& path, const QString& reason) {
  return QStringLiteral("無法寫入匯入記錄 %1：%2").arg(path, reason);
}

QString journalReadError(const QString& path, const QString& reason) {
  return QStringLiteral("無法讀取匯入記錄 %1：%2").arg(path, reason);
}

JournalFile::JournalFile(const QString& path, sqlite3* db)
    : path_(path),
      db_(db),
      format_(JournalRecords::kFormat),
      records_(std::make_unique<JournalRecords>()) {}

JournalFile::~JournalFile() {
  // A run that did not finish keeps its log for the next reader.
  stopFolding(true);
  closeLog();
  sqlite3_close_v2(db_);
}

void JournalFile::fail(const QString& what) const {
  throw platform::Error(journalWriteError(path_, what.isEmpty() && db_ ? errorOf(db_) : what));
}

void JournalFile::exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(QString());
}

sqlite3_stmt* JournalFile::prepare(const char* sql) const {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    throw platform::Error(journalReadError(path_, errorOf(db_)));
  }
  return st;
}

std::unique_ptr<JournalFile> JournalFile::create(const QString& path, const JournalRun& run) {
  if (QFile::exists(path))
    throw platform::Error(journalWriteError(path, QStringLiteral("檔案已存在")));
  // The log comes first, held until the run's end is recorded: whoever finds the
  // journal finds its run still writing, and leaves it alone.
  // Two runs may pick the same name: the log is emptied only by the run holding it, and
  // only while no journal of that name exists (a log beside one is a killed run's, its
  // entries not yet taken in).
  const int logFd =
      ::open(QFile::encodeName(logPath(path)).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (logFd < 0) throw platform::Error(journalWriteError(path, systemError()));
  if (::flock(logFd, LOCK_EX | LOCK_NB) != 0 || QFile::exists(path)) {
    ::close(logFd);
    throw platform::Error(journalWriteError(path, QStringLiteral("檔案已存在")));
  }
  if (::ftruncate(logFd, 0) != 0) {
    const QString why = systemError();
    ::close(logFd);
    throw platform::Error(journalWriteError(path, why));
  }
  // Members' identity numbers, addresses and health data pass through a journal: it is
  // made readable by its owner only, before anything is written to it, and SQLite gives
  // its own side files the mode of the database file.
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int code = errno;
    const QString why = systemError();
    // Another run made the journal in the meantime: its log is its own.
    if (code != EEXIST) QFile::remove(logPath(path));
    ::close(logFd);
    throw platform::Error(journalWriteError(path, why));
  }
  ::close(fd);
  sqlite3* db = nullptr;
  // Serialized: the folding thread inserts while the run adds its sources.
  const int rc =
      sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  std::unique_ptr<JournalFile> j(new JournalFile(path, db));
  j->logFd_ = logFd;
  try {
    if (rc != SQLITE_OK) j->fail(QString());
    // The import history reads a running journal: its moment of reading delays a chunk,
    // and never fails the run.
    sqlite3_busy_timeout(db, 5000);
    // The log carries the entries' safety until the run ends; the file then takes them
    // in one transaction, its rollback journal and flushes keeping every stop of that
    // readable, a power cut included.
    j->exec(kSchema);
    sqlite3_stmt* st = j->prepare(
        "INSERT INTO run(format, kind, started, user, folder, pos, undoes) "
        "VALUES (?, ?, ?, ?, ?, ?, ?)");
    sqlite3_bind_int(st, 1, JournalRecords::kFormat);
    bind(st, 2, run.kind);
    bind(st, 3, isoTime(run.started));
    bind(st, 4, run.user);
    bind(st, 5, run.folder);
    bind(st, 6, run.pos);
    if (!run.undoes.isEmpty()) bind(st, 7, run.undoes);
    const int step = sqlite3_step(st);
    sqlite3_finalize(st);
    if (step != SQLITE_DONE) j->fail(QString());
    void* map = MAP_FAILED;
    for (j->logRoom_ = logRoomAllowed();; j->logRoom_ /= 2) {
      map = ::mmap(nullptr, size_t(j->logRoom_), PROT_READ | PROT_WRITE, MAP_SHARED, logFd, 0);
      if (map != MAP_FAILED || errno != ENOMEM || j->logRoom_ <= kLeastRoom) break;
    }
    if (map == MAP_FAILED) j->fail(systemError());
    j->logMap_ = static_cast<char*>(map);
  } catch (...) {
    j.reset();
    remove(path);
    throw;
  }
  // The first pages, for the thread to touch; without the room the log grows as it is
  // written, and the entry that does not fit fails.
  if (::posix_fallocate(j->logFd_, 0, off_t(std::min(kAhead, j->logRoom_))) == 0)
    j->logSize_ = std::min(kAhead, j->logRoom_);
  j->folder_ = std::thread([p = j.get()] { p->foldWhileRunning(); });
  return j;
}

void JournalFile::remove(const QString& path) {
  for (const char* suffix : {"", "-log", "-journal", "-wal", "-shm"})
    QFile::remove(path + QLatin1String(suffix));
}

bool JournalFile::isRunning(const QString& path) {
  return heldByARun(logPath(path));
}

std::unique_ptr<JournalFile> JournalFile::open(const QString& path) {
  if (!QFile::exists(path))
    throw platform::Error(journalReadError(path, QStringLiteral("找不到檔案")));
  sqlite3* db = nullptr;
  // Read-write when allowed, so that the log of a run that was cut short is taken in.
  int rc =
      sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  const bool writable = rc == SQLITE_OK;
  if (!writable) {
    sqlite3_close_v2(db);
    db = nullptr;
    rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  }
  std::unique_ptr<JournalFile> j(new JournalFile(path, db));
  if (rc != SQLITE_OK) throw platform::Error(journalReadError(path, errorOf(db)));
  sqlite3_stmt* st = nullptr;
  j->format_ = 0;
  if (sqlite3_prepare_v2(db, "SELECT format FROM run", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    j->format_ = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  if (j->format_ != 2 && j->format_ != 3 && j->format_ != JournalRecords::kFormat)
    throw platform::Error(journalReadError(path, QStringLiteral("不是匯入記錄檔")));
  // The run may be writing the file at this moment.
  sqlite3_busy_timeout(db, 5000);
  if (QFile::exists(logPath(path))) {
    // A run still writing holds its log: its entries are not all in the file yet, and
    // taking in the log under it would end it for the run.
    if (heldByARun(logPath(path))) {
      j->running_ = true;
      return j;
    }
    if (!writable)
      throw platform::Error(
          journalReadError(path, QStringLiteral("中斷的記錄需要寫入權限才能整理")));
    j->recover();
  }
  return j;
}

void JournalFile::recover() {
  const int fd = ::open(QFile::encodeName(logPath(path_)).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  // A run still writing holds its log: there is nothing to take in yet.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  const JournalRun r = run();
  if (r.outcome.isEmpty()) {
    QByteArray log;
    if (!readAll(fd, log)) {
      ::close(fd);
      throw platform::Error(journalReadError(path_, systemError()));
    }
    try {
      // The chunks in the file are the log's first bytes, in order.
      sqlite3_stmt* st = prepare("SELECT total(length(records)) FROM chunk");
      const qsizetype folded =
          sqlite3_step(st) == SQLITE_ROW ? qsizetype(sqlite3_column_int64(st, 0)) : 0;
      sqlite3_finalize(st);
      const QByteArray rest = log.mid(std::min(folded, log.size()));
      exec("BEGIN");
      try {
        qsizetype intact = JournalRecords::intactLength(rest);
        // A run that ended but could not store its end in the file wrote it to its log.
        const int ended = JournalRecords::endedAs(rest, intact);
        moveIn(rest.constData(), 0, intact);
        JournalCounts counts;
        for (const RowChange& c : entries()) count(counts, c.action, 1);
        const QString outcome = outcomeOfCode(ended);
        recordEnd(outcome.isEmpty() ? QStringLiteral("interrupted") : outcome, counts, false);
        exec("COMMIT");
      } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
    } catch (...) {
      ::close(fd);
      throw;
    }
  }
  // Taken in now, or already by the end of its run before a stop left it behind.
  QFile::remove(logPath(path_));
  ::close(fd);
}

qsizetype JournalFile::insertChunks(sqlite3_stmt* insert, const char* log, qsizetype from,
                                    qsizetype to, bool all, bool& failed) {
  failed = false;
  // Chunks end at record boundaries; a record longer than a chunk is a chunk of its own.
  while (from < to) {
    qsizetype end = from;
    while (end < to) {
      quint32 size = 0;
      std::memcpy(&size, log + end, 4);
      const qsizetype next = end + 8 + qsizetype(size);
      if (next - from > kChunk && end > from) break;
      end = next;
    }
    if (!all && end == to && end - from < kChunk) break;  // not full yet
    sqlite3_reset(insert);
    sqlite3_bind_blob64(insert, 1, log + from, sqlite3_uint64(end - from), SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) {
      failed = true;
      break;
    }
    from = end;
  }
  return from;
}

qsizetype JournalFile::moveIn(const char* log, qsizetype from, qsizetype to) {
  sqlite3_stmt* insert = prepare(kInsertChunk);
  bool failed = false;
  const qsizetype done = insertChunks(insert, log, from, to, true, failed);
  sqlite3_finalize(insert);
  if (failed) fail(QString());
  return done;
}

void JournalFile::recordEnd(const QString& outcome, const JournalCounts& counts, bool now) {
  sqlite3_stmt* st =
      prepare("UPDATE run SET finished = ?, outcome = ?, updates = ?, appends = ?, deletes = ?");
  if (now) bind(st, 1, isoTime(QDateTime::currentDateTime()));
  bind(st, 2, outcome);
  sqlite3_bind_int(st, 3, counts.updates);
  sqlite3_bind_int(st, 4, counts.appends);
  sqlite3_bind_int(st, 5, counts.deletes);
  const int step = sqlite3_step(st);
  sqlite3_finalize(st);
  if (step != SQLITE_DONE) fail(QString());
}

qsizetype JournalFile::touchTarget() const {
  const qsizetype ahead = published_.load(std::memory_order_acquire) + kAhead;
  return std::min(logSize_.load(std::memory_order_acquire), ahead) / kPage * kPage;
}

void JournalFile::foldWhileRunning() {
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db_, kInsertChunk, -1, &insert, nullptr) != SQLITE_OK) {
    sqlite3_finalize(insert);
    return;
  }
  std::unique_lock lock(foldMutex_);
  auto chunkReady = [this] { return published_ - folded_ > kChunk; };
  auto touchWanted = [this] { return touchTarget() >= touched_ + kChunk / 4; };
  for (;;) {
    foldWake_.wait(lock, [&] { return stopping_ || chunkReady() || touchWanted(); });
    if (abandon_) break;
    const bool last = stopping_;
    if (last || chunkReady()) {
      const qsizetype end = published_.load(std::memory_order_acquire);
      lock.unlock();
      // Each chunk its own transaction: what is in the file stays there if the program
      // is killed, and the next reader takes in the log past it.
      bool failed = false;
      const qsizetype done = insertChunks(insert, logMap_, folded_, end, last, failed);
      lock.lock();
      folded_ = done;
      if (failed || last) break;
    }
    const qsizetype from = touched_, to = touchTarget();
    if (to > from) {
      // Pages the run has not written: zero, as the file was made, and left zero.
      touching_ = true;
      lock.unlock();
      volatile char* log = logMap_;
      for (qsizetype at = from; at < to; at += kPage) log[at] = 0;
      lock.lock();
      touched_.store(to, std::memory_order_release);
      touching_ = false;
      touchDone_.notify_all();
    }
  }
  sqlite3_finalize(insert);
}

void JournalFile::claimTouched(qsizetype end) {
  // The run writes past the touched pages: it waits for the thread to leave them, and
  // takes them, so that the thread never writes where the run does.
  std::unique_lock lock(foldMutex_);
  touchDone_.wait(lock, [this] { return !touching_; });
  const qsizetype pages = (end + kPage - 1) / kPage * kPage;
  if (touched_ < pages) touched_.store(pages, std::memory_order_release);
}

void JournalFile::stopFolding(bool abandon) {
  if (!folder_.joinable()) return;
  {
    std::lock_guard lock(foldMutex_);
    stopping_ = true;
    abandon_ = abandon;
  }
  foldWake_.notify_one();
  folder_.join();
}

void JournalFile::addSource(const JournalSource& source) {
  sqlite3_stmt* st = prepare("INSERT INTO source(tbl, file, modified) VALUES (?, ?, ?)");
  bind(st, 1, source.table);
  bind(st, 2, source.file);
  if (source.modified.isValid()) bind(st, 3, isoTime(source.modified));
  const int step = sqlite3_step(st);
  sqlite3_finalize(st);
  if (step != SQLITE_DONE) fail(QString());
}

void JournalFile::appendLog() {
  const qsizetype n = record_.size();
  if (logUsed_ + n + (aheadRefused_ ? 0 : kAhead) > logSize_) {
    if (logUsed_ + n > logRoom_)
      fail(QStringLiteral("記錄超過 %1 MB，程式可用的記憶體位址空間只容得下這麼多")
               .arg(logRoom_ >> 20));
    // Room is reserved on the disk before it is used: a full disk fails this entry
    // here, never a store into the mapping later. The room ahead, for the folding
    // thread to touch, is only asked for.
    qsizetype size = std::max<qsizetype>(logSize_ * 2, kLogStep);
    while (size < logUsed_ + n + kAhead) size *= 2;
    size = std::min(size, logRoom_);
    if (::posix_fallocate(logFd_, 0, off_t(size)) != 0) {
      aheadRefused_ = true;
      size = (logUsed_ + n + kPage - 1) / kPage * kPage;
      if (size > logSize_) {
        if (const int rc = ::posix_fallocate(logFd_, 0, off_t(size)); rc != 0) {
          errno = rc;
          fail(systemError());
        }
      }
    }
    if (size > logSize_) logSize_.store(size, std::memory_order_release);
  }
  if (logUsed_ + n > touched_.load(std::memory_order_acquire)) claimTouched(logUsed_ + n);
  // Stored into the file's pages: from here on a killed program cannot lose it. The
  // post that follows is a call the compiler cannot move these stores past.
  std::memcpy(logMap_ + logUsed_, record_.constData(), size_t(n));
  logUsed_ += n;
  published_.store(logUsed_, std::memory_order_release);
  if (logUsed_ - notified_ > kChunk) {
    notified_ = logUsed_;
    // Taken and left, so that the folding thread cannot miss the wake between its
    // check and its wait.
    { std::lock_guard lock(foldMutex_); }
    foldWake_.notify_one();
  }
}

qint64 JournalFile::add(const RowChange& change) {
  if (logFd_ < 0) fail(QStringLiteral("read only"));
  const qint64 id = nextId_++;
  record_.resize(0);  // keeps its capacity
  records_->writeEntry(id, change, record_);
  appendLog();
  count(counts_, change.action, 1);
  lastAction_ = change.action;
  return id;
}

void JournalFile::remove(qint64 entry) {
  remove(entry, lastAction_);
}

void JournalFile::remove(qint64 entry, RowChange::Action action) {
  if (logFd_ < 0) fail(QStringLiteral("read only"));
  record_.resize(0);
  records_->writeRemoval(entry, record_);
  appendLog();
  count(counts_, action, -1);
}

void JournalFile::markUncertain(qint64 entry) {
  if (logFd_ < 0) fail(QStringLiteral("read only"));
  record_.resize(0);
  records_->writeUncertain(entry, record_);
  appendLog();
}

void JournalFile::finish(bool completed) {
  finishAs(completed ? QStringLiteral("completed") : QStringLiteral("failed"));
}

void JournalFile::finishAs(const QString& outcome) {
  if (logFd_ < 0) fail(QStringLiteral("read only"));
  try {
    stopFolding(false);
    // What the thread could not move in (a reader held the file too long, mostly) is
    // tried once more here before the run counts as failed.
    if (folded_ < logUsed_) folded_ = moveIn(logMap_, folded_, logUsed_);
    // Every record is in the file now; once the end is, the log is no longer needed.
    recordEnd(outcome, counts_, true);
  } catch (...) {
    // The file takes no more (a full disk, mostly): the end goes to the log, into room
    // it mostly has already, so that the next reader tells this run, which ended and
    // said why, from one whose program stopped.
    try {
      record_.resize(0);
      records_->writeEnded(codeOfOutcome(outcome), record_);
      appendLog();
    } catch (...) {
    }
    throw;
  }
  closeLog();
  QFile::remove(logPath(path_));
}

void JournalFile::closeLog() {
  if (logMap_) ::munmap(logMap_, size_t(logRoom_));
  logMap_ = nullptr;
  logSize_ = logUsed_ = 0;
  if (logFd_ >= 0) ::close(logFd_);
  logFd_ = -1;
}

JournalRun JournalFile::run() const {
  sqlite3_stmt* st =
      prepare("SELECT kind, started, user, folder, pos, undoes, finished, outcome FROM run");
  JournalRun r;
  if (sqlite3_step(st) == SQLITE_ROW) {
    r.kind = text16(st, 0);
    r.started = QDateTime::fromString(text16(st, 1), Qt::ISODateWithMs);
    r.user = text16(st, 2);
    r.folder = text16(st, 3);
    r.pos = text16(st, 4);
    r.undoes = text16(st, 5);
    r.finished = text16(st, 6);
    r.outcome = text16(st, 7);
  }
  // Neither ended nor writing, nor a log to take in: its program stopped before it
  // kept one.
  if (r.outcome.isEmpty() && !running_ && logFd_ < 0 && !QFile::exists(logPath(path_)))
    r.outcome = QStringLiteral("interrupted");
  sqlite3_finalize(st);
  return r;
}

std::vector<JournalSource> JournalFile::sources() const {
  sqlite3_stmt* st = prepare("SELECT tbl, file, modified FROM source ORDER BY id");
  std::vector<JournalSource> out;
  while (sqlite3_step(st) == SQLITE_ROW)
    out.push_back(
        {text16(st, 0), text16(st, 1), QDateTime::fromString(text16(st, 2), Qt::ISODateWithMs)});
  sqlite3_finalize(st);
  return out;
}

JournalCounts JournalFile::counts() const {
  if (logFd_ >= 0) return counts_;
  sqlite3_stmt* st = prepare("SELECT updates, appends, deletes FROM run");
  JournalCounts c;
  if (sqlite3_step(st) == SQLITE_ROW) {
    c.updates = sqlite3_column_int(st, 0);
    c.appends = sqlite3_column_int(st, 1);
    c.deletes = sqlite3_column_int(st, 2);
  }
  sqlite3_finalize(st);
  return c;
}

std::vector<RowChange> JournalFile::entries() const {
  sqlite3_stmt* st = prepare("SELECT records FROM chunk ORDER BY id");
  JournalRecords reader(format_);
  int rc = SQLITE_ROW;
  bool ok = true;
  while (ok && (rc = sqlite3_step(st)) == SQLITE_ROW)
    ok = reader.read(QByteArray::fromRawData(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                                             sqlite3_column_bytes(st, 0)));
  sqlite3_finalize(st);
  if (!ok) throw platform::Error(journalReadError(path_, QStringLiteral("記錄內容損壞")));
  if (rc != SQLITE_DONE) throw platform::Error(journalReadError(path_, errorOf(db_)));
  return reader.takeEntries();
}

}  // namespace journal
