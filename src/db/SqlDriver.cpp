// Driver for SQLite files: Qt Sql opens the file and runs queries, SQLite itself the
// prepared statements an import runs row after row.
//
// Every query is forward-only and read to its end, then finished. SQLite waits for a
// lock in a busy handler of our own, which gives up at the command timeout or at once
// when cancelled.
#include "Driver.h"
#include "IsoDateTime.h"
#include "db/Connection.h"

#include "TextPool.h"
#include "db/ServerError.h"
#include "db/ValueText.h"

#include <platform/Error.h>

#include <sqlite3.h>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace db {

namespace {

QString errorText(const QSqlError& error) {
  QString text = error.databaseText().trimmed();
  if (text.isEmpty()) text = error.driverText().trimmed();
  if (text.isEmpty()) text = QStringLiteral("Unknown database error");
  return text;
}

// What the statements of one link share: the timeout, and cancelling from another
// thread.
class Waits {
 public:
  void setTimeout(int seconds) { timeout_ = seconds; }

  void cancel() { cancelled_ = true; }
  void resetCancel() { cancelled_ = false; }
  bool cancelled() const { return cancelled_; }

  // SQLite's busy handler: sleeps in short steps until the lock is free, the timeout
  // has passed or the link is cancelled.
  static int busy(void* self, int attempts) {
    auto* w = static_cast<Waits*>(self);
    using clock = std::chrono::steady_clock;
    if (attempts == 0) w->busySince_ = clock::now();
    if (w->cancelled_) return 0;
    if (w->timeout_ > 0 && clock::now() - w->busySince_ >= std::chrono::seconds(w->timeout_)) {
      w->timedOut_ = true;
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(attempts < 10 ? 1 : 10));
    return 1;
  }
  // Throws the timeout or cancel text when the busy handler gave up; clears the flag.
  void checkSqliteWait() {
    if (cancelled_) throw platform::Error(Connection::cancelledMessage());
    if (timedOut_) {
      timedOut_ = false;
      throw platform::Error(Connection::timeoutMessage(timeout_));
    }
  }
  void startSqlite() { timedOut_ = false; }

 private:
  std::atomic<int> timeout_{30};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> timedOut_{false};
  std::chrono::steady_clock::time_point busySince_;
};

FieldType typeFromMeta(QMetaType meta) {
  switch (meta.id()) {
    case QMetaType::Bool:
      return ftBoolean;
    case QMetaType::Short:
    case QMetaType::UShort:
      return ftSmallint;
    case QMetaType::Int:
    case QMetaType::UInt:
      return ftInteger;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      return ftLargeint;
    case QMetaType::Double:
    case QMetaType::Float:
      return ftFloat;
    case QMetaType::QDate:
      return ftDate;
    case QMetaType::QTime:
      return ftTime;
    case QMetaType::QDateTime:
      return ftDateTime;
    case QMetaType::QByteArray:
      return ftBlob;
    default:
      return ftString;
  }
}

// SQLite keeps the declared type of a column as text; its affinity rules decide.
ColumnInfo sqliteColumn(const QSqlField& f, const QString& declared) {
  ColumnInfo c;
  c.name = f.name();
  const QString d = declared.trimmed().toUpper();
  if (d.isEmpty()) {
    c.type = typeFromMeta(f.metaType());
    return c;
  }
  int size = 0;
  if (const qsizetype open = d.indexOf(u'('); open >= 0)
    size = d.mid(open + 1).split(u')').first().split(u',').first().trimmed().toInt();
  if (d.contains(u"BOOL") || d == u"BIT")
    c.type = ftBoolean;
  else if (d == u"DATE")
    c.type = ftDate;
  else if (d == u"TIME")
    c.type = ftTime;
  else if (d.contains(u"DATE") || d.contains(u"TIME"))
    c.type = ftDateTime;
  else if (d.contains(u"INT")) {
    if (d.startsWith(u"SMALLINT"))
      c.type = ftSmallint;
    else if (d.startsWith(u"TINYINT"))
      c.type = ftWord;
    else if (d.startsWith(u"BIGINT"))
      c.type = ftLargeint;
    else
      c.type = ftInteger;
  } else if (d.contains(u"CHAR") || d.contains(u"CLOB") || d.contains(u"TEXT") ||
             d.contains(u"STRING")) {
    c.type = size > 0 || d.contains(u"CHAR") ? ftString : ftMemo;
    c.size = size;
    c.fixedChar = d.startsWith(u"CHAR") || d.startsWith(u"NCHAR") || d.startsWith(u"CHARACTER(");
  } else if (d.contains(u"REAL") || d.contains(u"FLOA") || d.contains(u"DOUB"))
    c.type = ftFloat;
  else if (d.contains(u"MONEY") || d.contains(u"CURRENCY"))
    c.type = ftCurrency;
  else if (d.contains(u"NUMERIC") || d.contains(u"DECIMAL"))
    c.type = ftBCD;
  else if (d.contains(u"BLOB"))
    c.type = ftBlob;
  else
    c.type = typeFromMeta(f.metaType());
  return c;
}

QMetaType metaFor(FieldType type) {
  switch (basicKind(type)) {
    case BasicKind::Text:
      return QMetaType::fromType<QString>();
    case BasicKind::Whole:
      return type == ftLargeint ? QMetaType::fromType<qlonglong>() : QMetaType::fromType<int>();
    case BasicKind::Floating:
      return QMetaType::fromType<double>();
    case BasicKind::Boolean:
      return QMetaType::fromType<bool>();
    case BasicKind::DateTime:
      return QMetaType::fromType<QDateTime>();
    case BasicKind::Binary:
      return QMetaType::fromType<QByteArray>();
    default:
      return QMetaType::fromType<QString>();
  }
}

QString sqliteDateTime(const QDateTime& dt) {
  const QDate d = dt.date();
  const QTime t = dt.time();
  if (!d.isValid() || !t.isValid() || d.year() < 1 || d.year() > 9999)
    return t.msec() ? dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                    : dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  return isoDateTime(dt, u' ');
}

// Runs a query under the link's waits. `sql` empty: the query is prepared already.
void runQuery(QSqlQuery& q, Waits& waits, const QString& sql) {
  if (waits.cancelled()) throw platform::Error(Connection::cancelledMessage());
  waits.startSqlite();
  if (!(sql.isEmpty() ? q.exec() : q.exec(sql))) {
    const QString text = errorText(q.lastError());
    q.finish();
    waits.checkSqliteWait();
    throw platform::Error(text);
  }
}

class SqlStatement : public Statement {
 public:
  SqlStatement(QSqlDatabase db, Waits& waits, const QString& sql, std::vector<FieldType> types)
      : query_(db), waits_(waits), types_(std::move(types)) {
    query_.setForwardOnly(true);
    waits_.startSqlite();
    if (!query_.prepare(sql)) {
      const QString text = errorText(query_.lastError());
      waits_.checkSqliteWait();
      throw platform::Error(text);
    }
  }

  qint64 execute(const std::vector<QVariant>& values) override {
    for (size_t i = 0; i < values.size(); ++i) {
      const FieldType type = i < types_.size() ? types_[i] : ftString;
      query_.bindValue(int(i), bindable(values[i], type));
    }
    runQuery(query_, waits_, QString());
    const qint64 rows = query_.numRowsAffected();
    query_.finish();
    return rows;
  }

 private:
  QVariant bindable(const QVariant& v, FieldType type) const {
    if (!v.isValid() || v.isNull()) return QVariant(metaFor(type));
    if (v.typeId() == QMetaType::QDateTime) return sqliteDateTime(v.toDateTime());
    if (v.typeId() == QMetaType::LongLong && type != ftLargeint) {
      const qlonglong n = v.toLongLong();
      if (n >= INT_MIN && n <= INT_MAX) return QVariant(int(n));
    }
    return v;
  }

  QSqlQuery query_;
  Waits& waits_;
  std::vector<FieldType> types_;
};

class SqliteStatement;

// An SQLite link's own handle and the statements prepared on it, finalized when the
// link closes: SQLite will not close a handle with statements still alive.
struct SqliteLink {
  sqlite3* handle = nullptr;
  std::set<SqliteStatement*> statements;
};

QString sqliteMessage(sqlite3* handle) {
  return QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(handle))).trimmed();
}

// A statement of an SQLite link, run through SQLite itself rather than QSqlQuery:
// QSqlQuery names and copies every value it binds, which for an import row costs
// more than SQLite's own work. Every value is stored as Qt's SQLite driver stores it,
// and failures give the texts it gives.
class SqliteStatement : public Statement {
 public:
  SqliteStatement(std::shared_ptr<SqliteLink> link, Waits& waits, const QString& sql)
      : link_(std::move(link)), waits_(waits) {
    waits_.startSqlite();
    const void* tail = nullptr;
    const int rc =
        sqlite3_prepare16_v2(link_->handle, sql.utf16(), int(sql.size() * 2), &stmt_, &tail);
    if (rc != SQLITE_OK) {
      const QString text = sqliteMessage(link_->handle);
      sqlite3_finalize(stmt_);
      waits_.checkSqliteWait();
      throw platform::Error(text.isEmpty() ? QStringLiteral("Unable to execute statement") : text);
    }
    if (tail && !QStringView(static_cast<const QChar*>(tail),
                             sql.constData() + sql.size() - static_cast<const QChar*>(tail))
                     .trimmed()
                     .isEmpty()) {
      sqlite3_finalize(stmt_);
      throw platform::Error(QStringLiteral("Could not execute statement"));
    }
    link_->statements.insert(this);
  }

  ~SqliteStatement() override { finalize(); }

  // Called by the link as it closes.
  void finalize() {
    if (!link_) return;
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    link_->statements.erase(this);
    link_.reset();
  }

  qint64 execute(const std::vector<QVariant>& values) override {
    if (!link_) throw platform::Error(QStringLiteral("Connection is not open"));
    if (waits_.cancelled()) throw platform::Error(Connection::cancelledMessage());
    waits_.startSqlite();
    if (!stmt_) throw platform::Error(QStringLiteral("No query"));
    sqlite3_reset(stmt_);
    if (int(values.size()) != sqlite3_bind_parameter_count(stmt_))
      throw platform::Error(QStringLiteral("Parameter count mismatch"));
    // Sized before binding: a text bound from its buffer must not move.
    if (utf8_.size() < values.size()) utf8_.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i)
      if (bind(int(i) + 1, values[i]) != SQLITE_OK) fail(false);
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) fail(rc == SQLITE_ERROR);
    const qint64 rows = sqlite3_changes(link_->handle);
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return rows;
  }

 private:
  // Values stay with the caller until the step; texts made here are copied by SQLite.
  int bind(int at, const QVariant& v) {
    if (!v.isValid() || v.isNull()) return sqlite3_bind_null(stmt_, at);
    QString made;
    switch (v.typeId()) {
      case QMetaType::QString: {
        const QString* s = static_cast<const QString*>(v.constData());
        if (s->isNull()) return sqlite3_bind_null(stmt_, at);
        return bindText(at, *s);
      }
      case QMetaType::LongLong:
      case QMetaType::UInt:
        return sqlite3_bind_int64(stmt_, at, v.toLongLong());
      case QMetaType::Int:
      case QMetaType::Bool:
        return sqlite3_bind_int(stmt_, at, v.toInt());
      case QMetaType::Double:
        return sqlite3_bind_double(stmt_, at, v.toDouble());
      case QMetaType::QByteArray: {
        const QByteArray* b = static_cast<const QByteArray*>(v.constData());
        if (b->isNull()) return sqlite3_bind_null(stmt_, at);
        return sqlite3_bind_blob(stmt_, at, b->constData(), int(b->size()), SQLITE_STATIC);
      }
      case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (dt.isNull()) return sqlite3_bind_null(stmt_, at);
        made = sqliteDateTime(dt);
        break;
      }
      case QMetaType::QTime:
        made = v.toTime().toString(QStringLiteral("hh:mm:ss.zzz"));
        break;
      default:
        made = v.toString();
        break;
    }
    if (made.isNull()) return sqlite3_bind_null(stmt_, at);
    return sqlite3_bind_text16(stmt_, at, made.utf16(), int(made.size() * 2), SQLITE_TRANSIENT);
  }

  // Text is handed over in UTF-8, the database's encoding, written into a buffer the
  // parameter keeps from run to run: SQLite would otherwise translate every text into
  // a buffer of its own while it steps. A text with half a surrogate pair is left to
  // SQLite's translation, whose reading of it is the one the database has always had.
  int bindText(int at, const QString& text) {
    std::string& out = utf8_[size_t(at) - 1];
    out.clear();
    const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
      const char32_t c = p[i];
      if (c < 0x80) {
        out += char(c);
      } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
      } else if (c < 0xD800 || c > 0xDFFF) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
      } else if (c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
        const char32_t u = 0x10000 + ((c - 0xD800) << 10) + (p[++i] - 0xDC00);
        out += char(0xF0 | (u >> 18));
        out += char(0x80 | ((u >> 12) & 0x3F));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
      } else {
        return sqlite3_bind_text16(stmt_, at, text.utf16(), int(n * 2), SQLITE_TRANSIENT);
      }
    }
    return sqlite3_bind_text(stmt_, at, out.data(), int(out.size()), SQLITE_STATIC);
  }

  [[noreturn]] void fail(bool resetFirst) {
    if (resetFirst) sqlite3_reset(stmt_);
    const QString text = sqliteMessage(link_->handle);
    const int code = sqlite3_errcode(link_->handle) & 0xff;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    waits_.checkSqliteWait();
    const QString shown = text.isEmpty() ? QStringLiteral("Unable to fetch row") : text;
    // A statement SQLite refused for what it was given (a broken constraint, a trigger's
    // RAISE, a value of the wrong kind or too big) wrote nothing, as a server's refusal.
    if (code == SQLITE_CONSTRAINT || code == SQLITE_MISMATCH || code == SQLITE_TOOBIG ||
        code == SQLITE_RANGE || code == SQLITE_ERROR)
      throw ServerError(shown);
    throw platform::Error(shown);
  }

  std::shared_ptr<SqliteLink> link_;
  Waits& waits_;
  sqlite3_stmt* stmt_ = nullptr;
  std::vector<std::string> utf8_;  // per parameter
};

class SqlDriver : public Driver {
 public:
  explicit SqlDriver(QString target) : target_(std::move(target)) {}
  ~SqlDriver() override { close(); }

  void open() override {
    if (db_.isValid() && db_.isOpen()) return;
    if (!QFileInfo(target_).isFile())
      throw platform::Error(
          QStringLiteral("找不到資料庫檔案 %1：請在「參數設定」中檢查「資料庫」的檔案名稱。")
              .arg(QDir::toNativeSeparators(target_)));
    static std::atomic<int> counter{0};
    name_ = QStringLiteral("dataconv-%1").arg(++counter);
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    if (!db_.isValid()) {
      drop();
      throw platform::Error(QStringLiteral("The SQLite database driver is not installed"));
    }
    db_.setDatabaseName(target_);
    if (!db_.open()) {
      const QString text = errorText(db_.lastError());
      drop();
      throw platform::Error(text);
    }
    waits_.resetCancel();
    const QVariant h = db_.driver()->handle();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
      if (sqlite3* handle = *static_cast<sqlite3* const*>(h.constData())) {
        sqlite3_busy_handler(handle, &Waits::busy, &waits_);
        link_ = std::make_shared<SqliteLink>();
        link_->handle = handle;
      }
  }

  void setCommandTimeout(int seconds) override { waits_.setTimeout(seconds); }
  void cancel() override { waits_.cancel(); }
  ServerRules rules() const override { return ServerRules::sqlite(); }

  void close() override {
    if (link_) {
      while (!link_->statements.empty()) (*link_->statements.begin())->finalize();
      link_.reset();
    }
    if (!name_.isEmpty()) {
      db_.close();
      drop();
    }
  }

  bool isOpen() const override { return db_.isValid() && db_.isOpen(); }

  QStringList tableNames() override {
    QStringList names;
    for (const QString& n : db_.tables(QSql::Tables) + db_.tables(QSql::Views))
      if (!n.startsWith(QStringLiteral("sqlite_"))) names << n;
    return names;
  }

  ResultSet select(const QString& sql) override {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    runQuery(q, waits_, sql);
    ResultSet rs;
    const QSqlRecord rec = q.record();
    sqlite3_stmt* stmt = nullptr;
    const QVariant h = q.result()->handle();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3_stmt*") == 0)
      stmt = *static_cast<sqlite3_stmt* const*>(h.constData());
    for (int i = 0; i < rec.count(); ++i) {
      const char* decl = stmt ? sqlite3_column_decltype(stmt, i) : nullptr;
      rs.columns.push_back(sqliteColumn(rec.field(i), decl ? QString::fromUtf8(decl) : QString()));
    }
    const int n = rec.count();
    TextPool pool{size_t(n)};
    while (q.next())
      for (int i = 0; i < n; ++i)
        pool.share(size_t(i), rs.cells.emplace_back(
                                  ValueText::normalize(q.value(i), rs.columns[size_t(i)].type)));
    if (q.lastError().isValid()) {
      const QString text = errorText(q.lastError());
      q.finish();
      throw platform::Error(text);
    }
    q.finish();
    return rs;
  }

  qint64 execute(const QString& sql) override {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    runQuery(q, waits_, sql);
    const qint64 rows = q.numRowsAffected();
    q.finish();
    return rows;
  }

  std::unique_ptr<Statement> prepare(const QString& sql,
                                     const std::vector<FieldType>& types) override {
    if (link_) return std::make_unique<SqliteStatement>(link_, waits_, sql);
    return std::make_unique<SqlStatement>(db_, waits_, sql, types);
  }

  QStringList primaryKey(const QString& table) override {
    QStringList names;
    const QSqlIndex index = db_.primaryIndex(table);
    for (int i = 0; i < index.count(); ++i) names << index.fieldName(i);
    return names;
  }

  std::vector<ColumnDefault> columnDefaults(const QString& table) override {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    runQuery(q, waits_, QStringLiteral("PRAGMA table_info(%1)").arg(quoteName(table)));
    std::vector<ColumnDefault> out;
    while (q.next()) {
      ColumnDefault d;
      d.column = q.value(1).toString();
      if (const QVariant v = q.value(4); !v.isNull()) d.text = v.toString();
      out.push_back(d);
    }
    q.finish();
    return out;
  }

  void moveToThread(QThread* thread) override {
    if (db_.isValid() && db_.driver()) db_.driver()->moveToThread(thread);
  }

 private:
  void drop() {
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
    name_.clear();
  }

  QString target_;
  QString name_;
  QSqlDatabase db_;
  Waits waits_;
  std::shared_ptr<SqliteLink> link_;
};

}  // namespace

ResultSet Driver::select(const QString&, const std::vector<QVariant>&,
                         const std::vector<FieldType>&) {
  throw platform::Error(QStringLiteral("This provider cannot run a batch with parameters"));
}

void Driver::create() {
  throw platform::Error(QStringLiteral("This provider cannot create a database"));
}

QString Driver::quoteName(const QString& name) const {
  QString quoted = name;
  quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return u'"' + quoted + u'"';
}

std::unique_ptr<Driver> makeSqliteDriver(const QString& path) {
  return std::make_unique<SqlDriver>(path);
}

}  // namespace db
