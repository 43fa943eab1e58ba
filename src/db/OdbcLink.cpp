#include "OdbcLink.h"

#include "db/Connection.h"
#include "db/ServerError.h"
#include "db/ValueText.h"

#include <platform/Error.h>

#include <sys/socket.h>
#include <unistd.h>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTime>
#include <climits>
#include <cstring>
#include <map>
#include <vector>

namespace db::odbc {

namespace {

// The program's text for a failed login leads; the driver's follows.
QString loginHint(const QString& state, const QString& text) {
  const QString lower = text.toLower();
  if (state == u"28000" || lower.contains(u"login failed") ||
      lower.contains(u"password authentication"))
    return QStringLiteral("登入帳號與密碼");
  if (lower.contains(u"database") &&
      (lower.contains(u"cannot open") || lower.contains(u"does not exist") ||
       lower.contains(u"not exist") || lower.contains(u"unknown")))
    return QStringLiteral("資料庫名稱");
  if (state.startsWith(u"08"))
    return QStringLiteral("伺服器位址與連接埠（伺服器是否開著、連接埠是否正確）");
  return QStringLiteral("登入帳號與密碼、伺服器位址與連接埠，以及資料庫名稱");
}

struct Diagnostic {
  QString state;
  QString text;  // every record's message once, in order
};

Diagnostic diagnose(SQLSMALLINT handleType, SQLHANDLE handle) {
  Diagnostic d;
  QStringList seen;
  for (SQLSMALLINT i = 1; i <= 20; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[1024];
    SQLSMALLINT length = 0;
    const SQLRETURN r = SQLGetDiagRecW(handleType, handle, i, state, &native, message,
                                       SQLSMALLINT(std::size(message)), &length);
    if (!SQL_SUCCEEDED(r)) break;
    if (d.state.isEmpty())
      d.state = QString::fromUtf16(reinterpret_cast<const char16_t*>(state), 5);
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(message),
                           std::min<qsizetype>(length, qsizetype(std::size(message)) - 1))
            .trimmed();
    if (!text.isEmpty() && !seen.contains(text)) seen << text;
  }
  d.text = seen.join(u' ');
  if (d.text.isEmpty()) d.text = QStringLiteral("Unknown database error");
  return d;
}

// The connected TCP sockets the process holds, by descriptor and inode: the link's
// own is the one that appears while it connects.
std::map<int, QString> tcpSockets() {
  std::map<int, QString> out;
  const QDir fds(QStringLiteral("/proc/self/fd"));
  for (const QString& name : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
    bool ok = false;
    const int fd = name.toInt(&ok);
    if (!ok) continue;
    const QString target = QFileInfo(fds.filePath(name)).symLinkTarget();
    if (!target.contains(QLatin1String("socket:["))) continue;
    int domain = 0;
    socklen_t size = sizeof domain;
    if (getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &size) != 0) continue;
    if (domain != AF_INET && domain != AF_INET6) continue;
    sockaddr_storage peer{};
    socklen_t peerSize = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) continue;
    out.emplace(fd, target);
  }
  return out;
}

int newSocket(const std::map<int, QString>& before, const std::map<int, QString>& after) {
  int found = -1;
  for (const auto& [fd, inode] : after) {
    const auto it = before.find(fd);
    if (it != before.end() && it->second == inode) continue;
    if (found >= 0) return -1;  // another thread connected too: cannot tell which
    found = fd;
  }
  return found;
}

}  // namespace

void dateRangeOf(ColumnInfo& c) {
  if (basicKind(c.type) != BasicKind::DateTime) return;
  const QString& t = c.typeName;
  if (t == u"datetime") {
    c.dateMin = ValueText::naive(QDate(1753, 1, 1));
    c.dateMax = ValueText::naive(QDate(9999, 12, 31), QTime(23, 59, 59, 997));
  } else if (t == u"smalldatetime") {
    c.dateMin = ValueText::naive(QDate(1900, 1, 1));
    c.dateMax = ValueText::naive(QDate(2079, 6, 6), QTime(23, 59));
  }
}

// ---- parameters

void Param::setNull(FieldType type) {
  indicator = SQL_NULL_DATA;
  columnSize = 1;
  digits = 0;
  switch (basicKind(type)) {
    case BasicKind::Whole:
      cType = SQL_C_SBIGINT;
      sqlType = type == ftLargeint ? SQL_BIGINT : SQL_INTEGER;
      break;
    case BasicKind::Floating:
      cType = SQL_C_DOUBLE;
      sqlType = SQL_DOUBLE;
      columnSize = 15;
      break;
    case BasicKind::Boolean:
      cType = SQL_C_BIT;
      sqlType = SQL_BIT;
      break;
    case BasicKind::DateTime:
      cType = SQL_C_TYPE_TIMESTAMP;
      sqlType = SQL_TYPE_TIMESTAMP;
      columnSize = 23;
      digits = 3;
      break;
    case BasicKind::Binary:
      cType = SQL_C_BINARY;
      sqlType = SQL_VARBINARY;
      break;
    default:
      cType = SQL_C_WCHAR;
      sqlType = SQL_WVARCHAR;
      break;
  }
}

void Param::set(const QVariant& v, FieldType type) {
  if (isNullValue(v)) {
    setNull(type);
    return;
  }
  digits = 0;
  switch (typeIdOf(v)) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort: {
      const qint64 n = v.toLongLong();
      if (type != ftLargeint && n >= INT_MIN && n <= INT_MAX) {
        cType = SQL_C_SLONG;
        sqlType = SQL_INTEGER;
        columnSize = 10;
        fixed_.whole32 = SQLINTEGER(n);
        indicator = sizeof(SQLINTEGER);
      } else {
        cType = SQL_C_SBIGINT;
        sqlType = SQL_BIGINT;
        columnSize = 19;
        fixed_.whole = n;
        indicator = sizeof(SQLBIGINT);
      }
      return;
    }
    case QMetaType::Double:
    case QMetaType::Float:
      cType = SQL_C_DOUBLE;
      sqlType = SQL_DOUBLE;
      columnSize = 15;
      fixed_.floating = v.toDouble();
      indicator = sizeof(double);
      return;
    case QMetaType::Bool:
      cType = SQL_C_BIT;
      sqlType = SQL_BIT;
      columnSize = 1;
      fixed_.bit = v.toBool() ? 1 : 0;
      indicator = 1;
      return;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime: {
      QDateTime dt;
      if (typeIdOf(v) == QMetaType::QDate)
        dt = ValueText::naive(v.toDate());
      else if (typeIdOf(v) == QMetaType::QTime)
        dt = ValueText::naive(QDate(1899, 12, 30), v.toTime());
      else
        dt = v.toDateTime();
      if (!dt.isValid()) {
        setNull(type);
        return;
      }
      const QDate d = dt.date();
      const QTime t = dt.time();
      cType = SQL_C_TYPE_TIMESTAMP;
      sqlType = SQL_TYPE_TIMESTAMP;
      columnSize = 23;
      digits = 3;
      fixed_.stamp = SQL_TIMESTAMP_STRUCT{SQLSMALLINT(d.year()),           SQLUSMALLINT(d.month()),
                                          SQLUSMALLINT(d.day()),           SQLUSMALLINT(t.hour()),
                                          SQLUSMALLINT(t.minute()),        SQLUSMALLINT(t.second()),
                                          SQLUINTEGER(t.msec()) * 1000000u};
      indicator = sizeof(SQL_TIMESTAMP_STRUCT);
      return;
    }
    case QMetaType::QByteArray:
      bytes_ = v.toByteArray();
      cType = SQL_C_BINARY;
      sqlType = bytes_.size() > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY;
      columnSize = SQLULEN(std::max<qsizetype>(bytes_.size(), 1));
      indicator = SQLLEN(bytes_.size());
      return;
    default:
      text_ = v.toString();
      cType = SQL_C_WCHAR;
      // One declared size for every text up to the longest a Unicode column holds,
      // so that the driver need not prepare the statement anew for each length.
      if (text_.size() > 4000) {
        sqlType = SQL_WLONGVARCHAR;
        columnSize = SQLULEN(text_.size());
      } else {
        sqlType = SQL_WVARCHAR;
        columnSize = 4000;
      }
      indicator = SQLLEN(text_.size() * qsizetype(sizeof(SQLWCHAR)));
      return;
  }
}

const char* Param::data() const {
  if (indicator == SQL_NULL_DATA) return nullptr;
  switch (cType) {
    case SQL_C_WCHAR:
      return reinterpret_cast<const char*>(text_.utf16());
    case SQL_C_BINARY:
      return bytes_.constData();
    default:
      return reinterpret_cast<const char*>(&fixed_);
  }
}

SQLLEN Param::bufferLength() const {
  return indicator == SQL_NULL_DATA ? 0 : indicator;
}

// ---- watchdog

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> locked(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Watchdog::arm(int seconds) {
  if (seconds <= 0 || socket_ < 0) return;
  std::lock_guard<std::mutex> locked(lock_);
  armed_ = true;
  fired_ = false;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds + kTimeoutGrace);
  if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
  wake_.notify_one();
}

bool Watchdog::disarm() {
  std::lock_guard<std::mutex> locked(lock_);
  armed_ = false;
  const bool fired = fired_;
  fired_ = false;
  return fired;
}

void Watchdog::shutDown() {
  std::lock_guard<std::mutex> locked(lock_);
  if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
}

void Watchdog::loop() {
  std::unique_lock<std::mutex> locked(lock_);
  while (!stop_) {
    if (!armed_) {
      wake_.wait(locked);
      continue;
    }
    const auto deadline = deadline_;
    wake_.wait_until(locked, deadline);
    if (armed_ && deadline_ == deadline && std::chrono::steady_clock::now() >= deadline) {
      fired_ = true;
      armed_ = false;
      if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
    }
  }
}

// ---- link

struct Link::Handles {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  bool connected = false;
  ~Handles() {
    if (connected) SQLDisconnect(dbc);
    if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

Link::Link() = default;

Link::~Link() {
  disconnect();
}

void Link::connect(const QString& odbcText, int loginTimeout, const QString& target) {
  auto h = std::make_shared<Handles>();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h->env)))
    throw platform::Error(QStringLiteral("The ODBC driver manager cannot be used"));
  SQLSetEnvAttr(h->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, h->env, &h->dbc)))
    throw platform::Error(QStringLiteral("The ODBC driver manager cannot be used"));
  if (loginTimeout > 0)
    SQLSetConnectAttr(h->dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(SQLULEN(loginTimeout)), 0);

  struct Attempt {
    std::shared_ptr<Handles> handles;
    QString text;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false, abandoned = false;
    SQLRETURN result = SQL_ERROR;
    int socket = -1;
  };
  auto attempt = std::make_shared<Attempt>();
  attempt->handles = h;
  attempt->text = odbcText;
  auto run = [](Attempt& a) {
    const auto before = tcpSockets();
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN r = SQLDriverConnectW(
        a.handles->dbc, nullptr,
        const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(a.text.utf16())), SQL_NTS, out,
        SQLSMALLINT(std::size(out)), &outLength, SQL_DRIVER_NOPROMPT);
    const int socket = SQL_SUCCEEDED(r) ? newSocket(before, tcpSockets()) : -1;
    std::lock_guard<std::mutex> locked(a.lock);
    a.result = r;
    a.socket = socket;
    a.handles->connected = SQL_SUCCEEDED(r);
    a.done = true;
    a.finished.notify_all();
  };
  if (loginTimeout <= 0) {
    run(*attempt);
  } else {
    // FreeTDS keeps waiting for a server that accepted the connection and never
    // answers, whatever its timeouts say. The login runs on a thread of its own and is
    // given up, left to end by itself, when it has not finished well after the login
    // timeout (twice it, as FreeTDS tries a second protocol version on failure).
    std::thread([attempt, run] { run(*attempt); }).detach();
    std::unique_lock<std::mutex> locked(attempt->lock);
    const auto limit = std::chrono::seconds(2 * loginTimeout + 2);
    if (!attempt->finished.wait_for(locked, limit, [&] { return attempt->done; })) {
      attempt->abandoned = true;  // the handles go with the attempt when it ends
      throw platform::Error(Connection::noAnswerMessage(int(limit.count())));
    }
  }
  if (!SQL_SUCCEEDED(attempt->result)) {
    const Diagnostic d = diagnose(SQL_HANDLE_DBC, h->dbc);
    if (target.isEmpty()) throw platform::Error(d.text);
    throw platform::Error(QStringLiteral("無法連線到%1：請在「參數設定」中檢查%2。\n%3")
                              .arg(target, loginHint(d.state, d.text), d.text));
  }
  handles_ = h;
  watchdog_.setSocket(attempt->socket);
  cancelled_ = false;
  dead_ = false;
  connected_ = true;
  codePage_ = readCodePage();
}

// SQL Server keeps varchar columns in the code page of the database's collation; the
// sizes of such columns count its bytes. Its collation also says how it compares
// texts. A session with NOCOUNT on (a DBA may give it to every session through the
// server's "user options") reports no row counts, and the program relies on them: its
// own sessions always run with NOCOUNT off.
int Link::readCodePage() {
  SQLWCHAR name[64] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(handles_->dbc, SQL_DBMS_NAME, name, sizeof name, &length)))
    return 0;
  const QString dbms = QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                          std::min<qsizetype>(length / 2, 63));
  if (!dbms.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive)) return 0;
  sqlServer_ = true;
  rules_ = ServerRules::sqlServer(QString());
  auto run = [this](const QString& sql, SQLHSTMT stmt) {
    call(
        stmt,
        [&] {
          return SQLExecDirectW(
              stmt, const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(sql.utf16())), SQL_NTS);
        },
        true);
  };
  {
    SQLHSTMT stmt = newStatement();
    StatementGuard guard(*this, stmt);
    run(QStringLiteral("SET NOCOUNT OFF"), stmt);
  }
  try {
    SQLHSTMT stmt = newStatement();
    StatementGuard guard(*this, stmt);
    run(QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(DB_NAME(), 'Collation') AS nvarchar(128)), "
                       "CAST(COLLATIONPROPERTY(CAST(DATABASEPROPERTYEX(DB_NAME(), 'Collation') AS "
                       "nvarchar(128)), 'CodePage') AS int)"),
        stmt);
    if (callFetch(stmt, [&] { return SQLFetch(stmt); }) == SQL_NO_DATA) return 0;
    rules_ = ServerRules::sqlServer(readText(stmt, 1).toString());
    return readValue(stmt, 2, SQL_C_SBIGINT, sizeof(SQLBIGINT)).toInt();
  } catch (const platform::Error&) {
    return 0;  // sizes are then checked by the code page the program itself uses
  }
}

void Link::disconnect() {
  connected_ = false;
  watchdog_.setSocket(-1);
  handles_.reset();
}

void Link::cancel() {
  cancelled_ = true;
  std::lock_guard<std::mutex> locked(runningLock_);
  if (running_) {
    SQLCancel(running_);
    // A server that does not act on a cancel while its statement runs would keep
    // the call waiting; the link is given up anyway.
    watchdog_.shutDown();
  }
}

SQLHSTMT Link::newStatement() {
  if (!alive()) throw platform::Error(QStringLiteral("Connection is not open"));
  SQLHSTMT stmt = nullptr;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, handles_->dbc, &stmt)))
    fail(SQL_HANDLE_DBC, handles_->dbc);
  return stmt;
}

void Link::freeStatement(SQLHSTMT stmt) {
  // The connection's handle frees its statements with it.
  if (stmt && handles_) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

void Link::begin(SQLHSTMT stmt, bool timed, bool setTimeout) {
  if (cancelled_) throw platform::Error(Connection::cancelledMessage());
  if (!alive()) throw platform::Error(QStringLiteral("Connection is not open"));
  if (timed && setTimeout)
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(timeout_)),
                   0);
  {
    // cancel() raises its flag before it looks for the running call: a cancel that
    // came after the check above is seen here, or it finds this call running.
    std::lock_guard<std::mutex> locked(runningLock_);
    if (cancelled_) throw platform::Error(Connection::cancelledMessage());
    running_ = stmt;
  }
  if (timed) watchdog_.arm(timeout_);
}

void Link::end(SQLHSTMT stmt, SQLRETURN r) {
  const bool fired = watchdog_.disarm();
  {
    std::lock_guard<std::mutex> locked(runningLock_);
    running_ = nullptr;
  }
  if (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO || r == SQL_NO_DATA) return;
  fail(SQL_HANDLE_STMT, stmt, fired);
}

void Link::fail(SQLSMALLINT handleType, SQLHANDLE handle, bool timedOut) {
  const Diagnostic d = diagnose(handleType, handle);
  if (handleType == SQL_HANDLE_STMT) SQLFreeStmt(handle, SQL_CLOSE);
  SQLUINTEGER deadFlag = SQL_CD_FALSE;
  if (handles_ &&
      SQL_SUCCEEDED(
          SQLGetConnectAttr(handles_->dbc, SQL_ATTR_CONNECTION_DEAD, &deadFlag, 0, nullptr)) &&
      deadFlag == SQL_CD_TRUE)
    dead_ = true;
  if (cancelled_) {
    dead_ = true;
    throw platform::Error(Connection::cancelledMessage());
  }
  if (timedOut) dead_ = true;
  // HYT00/HYT01: the driver's own timeout (FreeTDS gives the link up with it);
  // 57014: PostgreSQL's statement cancelled at its timeout.
  if (timedOut || d.state == u"HYT00" || d.state == u"HYT01" || d.state == u"57014") {
    if (d.state != u"57014") dead_ = true;
    throw platform::Error(Connection::timeoutMessage(timeout_));
  }
  if (d.state == u"08S01" || d.state == u"08003" || dead_) {
    dead_ = true;
    throw platform::Error(
        QStringLiteral(
            "與資料庫伺服器的連線已中斷，請按「停止資料庫」再按「啟動資料庫」重新連線。\n%1")
            .arg(d.text));
  }
  if (handleType == SQL_HANDLE_STMT) throw ServerError(d.text);
  throw platform::Error(d.text);
}

QVariant decode(SQLSMALLINT cType, const char* data, SQLLEN length) {
  if (length == SQL_NULL_DATA) return QVariant();
  switch (cType) {
    case SQL_C_SBIGINT: {
      SQLBIGINT v;
      std::memcpy(&v, data, sizeof v);
      return QVariant(qint64(v));
    }
    case SQL_C_DOUBLE: {
      double v;
      std::memcpy(&v, data, sizeof v);
      return QVariant(v);
    }
    case SQL_C_BIT:
      return QVariant(*data != 0);
    case SQL_C_TYPE_DATE: {
      SQL_DATE_STRUCT d;
      std::memcpy(&d, data, sizeof d);
      return ValueText::naive(QDate(d.year, d.month, d.day));
    }
    case SQL_C_TYPE_TIME: {
      SQL_TIME_STRUCT t;
      std::memcpy(&t, data, sizeof t);
      return ValueText::naive(QDate(1899, 12, 30), QTime(t.hour, t.minute, t.second));
    }
    case SQL_C_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT t;
      std::memcpy(&t, data, sizeof t);
      return ValueText::naive(QDate(t.year, t.month, t.day),
                              QTime(t.hour, t.minute, t.second, int(t.fraction / 1000000)));
    }
    case SQL_C_BINARY:
      return QVariant(QByteArray(data, qsizetype(length)));
    default:
      return QVariant(QString::fromUtf16(reinterpret_cast<const char16_t*>(data),
                                         qsizetype(length / SQLLEN(sizeof(SQLWCHAR)))));
  }
}

QVariant Link::readValue(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLLEN width) {
  if (cType != SQL_C_WCHAR && cType != SQL_C_BINARY) {
    alignas(8) char buffer[64] = {};
    SQLLEN length = 0;
    const SQLRETURN r = callFetch(stmt, [&] {
      return SQLGetData(stmt, column, cType, buffer, std::min<SQLLEN>(width, 64), &length);
    });
    if (!SQL_SUCCEEDED(r)) fail(SQL_HANDLE_STMT, stmt);
    return decode(cType, buffer, length);
  }
  // In pieces: each piece but the last fills the buffer (less a terminating zero for
  // text); the bytes are joined first and decoded once.
  QByteArray joined;
  char buffer[8192];
  const SQLLEN terminator = cType == SQL_C_WCHAR ? SQLLEN(sizeof(SQLWCHAR)) : 0;
  for (;;) {
    SQLLEN length = 0;
    // A long value may come over the network piece by piece: under the timeout too.
    const SQLRETURN r = callFetch(
        stmt, [&] { return SQLGetData(stmt, column, cType, buffer, sizeof buffer, &length); });
    if (r == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(r)) fail(SQL_HANDLE_STMT, stmt);
    if (length == SQL_NULL_DATA) return QVariant();
    const SQLLEN room = SQLLEN(sizeof buffer) - terminator;
    const SQLLEN got = (length == SQL_NO_TOTAL || length > room) ? room : length;
    joined.append(buffer, qsizetype(got));
    if (r == SQL_SUCCESS) break;
  }
  if (cType == SQL_C_BINARY) return QVariant(joined);
  return QVariant(QString::fromUtf16(reinterpret_cast<const char16_t*>(joined.constData()),
                                     joined.size() / qsizetype(sizeof(SQLWCHAR))));
}

}  // namespace db::odbc
