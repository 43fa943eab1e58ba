#include "import/JournalFile.h"

#include <platform/Error.h>

#include <sqlite3.h>
#include <QDataStream>
#include <QFile>
#include <QIODevice>

namespace dataimport {
namespace {

constexpr int kFormat = 1;

const char* const kSchema =
    "CREATE TABLE run(format INTEGER NOT NULL, kind TEXT NOT NULL, started TEXT NOT NULL,"
    " user TEXT, folder TEXT, pos TEXT, undoes TEXT, finished TEXT, outcome TEXT);"
    "CREATE TABLE source(id INTEGER PRIMARY KEY, tbl TEXT NOT NULL, file TEXT NOT NULL,"
    " modified TEXT);"
    "CREATE TABLE entry(id INTEGER PRIMARY KEY, tbl TEXT NOT NULL, keycol TEXT NOT NULL,"
    " key TEXT NOT NULL, action TEXT NOT NULL, cells BLOB NOT NULL);";

const char* actionName(RowChange::Action a) {
  switch (a) {
    case RowChange::Action::Update:
      return "update";
    case RowChange::Action::Append:
      return "append";
    case RowChange::Action::Delete:
      return "delete";
  }
  return "update";
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

// Cells: count, then per cell the column and two optional texts; a QString written by
// QDataStream keeps null apart from empty, which is how NULL travels.
void encodeCells(const std::vector<RowChange::Cell>& cells, QByteArray& out) {
  out.clear();
  QDataStream s(&out, QIODevice::WriteOnly);
  s.setVersion(QDataStream::Qt_6_0);
  s << quint32(cells.size());
  for (const auto& c : cells) {
    s << c.column << quint8((c.before ? 1 : 0) | (c.after ? 2 : 0));
    if (c.before) s << *c.before;
    if (c.after) s << *c.after;
  }
}

bool decodeCells(const QByteArray& in, std::vector<RowChange::Cell>& cells) {
  QDataStream s(in);
  s.setVersion(QDataStream::Qt_6_0);
  quint32 n = 0;
  s >> n;
  if (s.status() != QDataStream::Ok || n > quint32(in.size())) return false;
  cells.resize(n);
  for (auto& c : cells) {
    quint8 flags = 0;
    s >> c.column >> flags;
    if (flags & 1) {
      QString t;
      s >> t;
      c.before = t;
    }
    if (flags & 2) {
      QString t;
      s >> t;
      c.after = t;
    }
  }
  return s.status() == QDataStream::Ok;
}

QString isoTime(const QDateTime& t) {
  return t.toString(Qt::ISODateWithMs);
}

}  // namespace

QString journalWriteError(const QString& path, const QString& reason) {
  return QStringLiteral("無法寫入匯入記錄 %1：%2").arg(path, reason);
}

QString journalReadError(const QString& path, const QString& reason) {
  return QStringLiteral("無法讀取匯入記錄 %1：%2").arg(path, reason);
}

JournalFile::JournalFile(const QString& path, sqlite3* db) : path_(path), db_(db) {}

JournalFile::~JournalFile() {
  sqlite3_finalize(insert_);
  sqlite3_close_v2(db_);
}

void JournalFile::fail(const QString& what) const {
  const QString reason =
      db_ ? QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(db_))) : what;
  throw platform::Error(journalWriteError(path_, reason));
}

void JournalFile::exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(QString());
}

sqlite3_stmt* JournalFile::prepare(const char* sql) const {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    throw platform::Error(journalReadError(
        path_, QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(db_)))));
  }
  return st;
}

std::unique_ptr<JournalFile> JournalFile::create(const QString& path, const JournalRun& run) {
  if (QFile::exists(path))
    throw platform::Error(journalWriteError(path, QStringLiteral("檔案已存在")));
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<JournalFile> j(new JournalFile(path, db));
  if (rc != SQLITE_OK) j->fail(QString());
  // The log is written without a flush per entry: an entry survives the program being
  // killed at any point, and the file is made durable when the run ends.
  j->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
  j->exec(kSchema);
  sqlite3_stmt* st = j->prepare(
      "INSERT INTO run(format, kind, started, user, folder, pos, undoes) "
      "VALUES (?, ?, ?, ?, ?, ?, ?)");
  sqlite3_bind_int(st, 1, kFormat);
  bind(st, 2, run.kind);
  bind(st, 3, isoTime(run.started));
  bind(st, 4, run.user);
  bind(st, 5, run.folder);
  bind(st, 6, run.pos);
  if (!run.undoes.isEmpty()) bind(st, 7, run.undoes);
  const int step = sqlite3_step(st);
  sqlite3_finalize(st);
  if (step != SQLITE_DONE) j->fail(QString());
  j->insert_ =
      j->prepare("INSERT INTO entry(tbl, keycol, key, action, cells) VALUES (?, ?, ?, ?, ?)");
  return j;
}

std::unique_ptr<JournalFile> JournalFile::open(const QString& path) {
  if (!QFile::exists(path))
    throw platform::Error(journalReadError(path, QStringLiteral("找不到檔案")));
  sqlite3* db = nullptr;
  // Read-write when allowed, so that the log of a run that was cut short is taken in.
  int rc =
      sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    db = nullptr;
    rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  }
  std::unique_ptr<JournalFile> j(new JournalFile(path, db));
  if (rc != SQLITE_OK)
    throw platform::Error(journalReadError(
        path, QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(db)))));
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT format FROM run", -1, &st, nullptr) != SQLITE_OK ||
      sqlite3_step(st) != SQLITE_ROW || sqlite3_column_int(st, 0) != kFormat) {
    sqlite3_finalize(st);
    throw platform::Error(journalReadError(path, QStringLiteral("不是匯入記錄檔")));
  }
  sqlite3_finalize(st);
  return j;
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

qint64 JournalFile::add(const RowChange& change) {
  if (!insert_) fail(QStringLiteral("read only"));
  encodeCells(change.cells, cells_);
  sqlite3_reset(insert_);
  bind(insert_, 1, change.table);
  bind(insert_, 2, change.keyColumn);
  bind(insert_, 3, change.key);
  sqlite3_bind_text(insert_, 4, actionName(change.action), -1, SQLITE_STATIC);
  sqlite3_bind_blob(insert_, 5, cells_.constData(), int(cells_.size()), SQLITE_STATIC);
  if (sqlite3_step(insert_) != SQLITE_DONE) {
    sqlite3_reset(insert_);
    fail(QString());
  }
  sqlite3_reset(insert_);
  return sqlite3_last_insert_rowid(db_);
}

void JournalFile::remove(qint64 entry) {
  sqlite3_stmt* st = prepare("DELETE FROM entry WHERE id = ?");
  sqlite3_bind_int64(st, 1, entry);
  const int step = sqlite3_step(st);
  sqlite3_finalize(st);
  if (step != SQLITE_DONE) fail(QString());
}

void JournalFile::finish(bool completed) {
  sqlite3_stmt* st = prepare("UPDATE run SET finished = ?, outcome = ?");
  bind(st, 1, isoTime(QDateTime::currentDateTime()));
  bind(st, 2, completed ? QStringLiteral("completed") : QStringLiteral("failed"));
  const int step = sqlite3_step(st);
  sqlite3_finalize(st);
  if (step != SQLITE_DONE) fail(QString());
  sqlite3_finalize(insert_);
  insert_ = nullptr;
  // Back to one self-contained file, written through to the disk.
  exec("PRAGMA synchronous=FULL; PRAGMA journal_mode=DELETE;");
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
  sqlite3_stmt* st = prepare("SELECT action, count(*) FROM entry GROUP BY action");
  JournalCounts c;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const QString a = text16(st, 0);
    const int n = sqlite3_column_int(st, 1);
    if (a == QLatin1String("update")) c.updates = n;
    if (a == QLatin1String("append")) c.appends = n;
    if (a == QLatin1String("delete")) c.deletes = n;
  }
  sqlite3_finalize(st);
  return c;
}

std::vector<RowChange> JournalFile::entries() const {
  sqlite3_stmt* st = prepare("SELECT tbl, keycol, key, action, cells FROM entry ORDER BY id");
  std::vector<RowChange> out;
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    RowChange c;
    c.table = text16(st, 0);
    c.keyColumn = text16(st, 1);
    c.key = text16(st, 2);
    const QString action = text16(st, 3);
    c.action = action == QLatin1String("append")   ? RowChange::Action::Append
               : action == QLatin1String("delete") ? RowChange::Action::Delete
                                                   : RowChange::Action::Update;
    const QByteArray blob(static_cast<const char*>(sqlite3_column_blob(st, 4)),
                          sqlite3_column_bytes(st, 4));
    if (!decodeCells(blob, c.cells)) {
      sqlite3_finalize(st);
      throw platform::Error(journalReadError(path_, QStringLiteral("記錄內容損壞")));
    }
    out.push_back(std::move(c));
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE)
    throw platform::Error(journalReadError(
        path_, QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(db_)))));
  return out;
}

}  // namespace dataimport
