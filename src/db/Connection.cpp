#include "db/Connection.h"

#include "Driver.h"
#include "db/ConnectionString.h"

#include <platform/Error.h>

#include <QMutex>
#include <QThread>

namespace db {

namespace {

// Seconds FreeTDS waits for a server before giving up, unless the text says otherwise.
constexpr int kDefaultLoginTimeout = 15;

// "伺服器「host」上的資料庫「name」", for the text of a failed login.
QString targetText(const QString& host, const QString& database) {
  return QStringLiteral("伺服器「%1」上的資料庫「%2」").arg(host, database);
}

// The same from an ODBC connection text's own keys.
QString odbcTarget(const QString& text) {
  const ConnectionString cs = ConnectionString::parse(text);
  QString host = cs.value(QStringLiteral("Server"));
  if (host.isEmpty()) host = cs.value(QStringLiteral("Servername"));
  const QString port = cs.value(QStringLiteral("Port"));
  if (!port.isEmpty()) host += u',' + port;
  QString database = cs.value(QStringLiteral("Database"));
  if (host.isEmpty() && database.isEmpty()) return QString();
  return targetText(host, database);
}

}  // namespace

std::unique_ptr<Driver> makeDriver(const QString& text) {
  const ConnectionString cs = ConnectionString::parse(text);
  if (!cs.contains(QStringLiteral("Provider")))
    return makeOdbcDriver(text, kDefaultLoginTimeout, odbcTarget(text));
  const QString provider = cs.value(QStringLiteral("Provider")).trimmed().toUpper();
  const QString source = cs.value(QStringLiteral("Data Source"));
  if (provider.startsWith(QStringLiteral("SQLOLEDB")) ||
      provider.startsWith(QStringLiteral("SQLNCLI")) ||
      provider.startsWith(QStringLiteral("MSOLEDBSQL"))) {
    bool ok = false;
    int timeout = cs.value(QStringLiteral("Connect Timeout")).toInt(&ok);
    if (!ok || timeout <= 0) timeout = kDefaultLoginTimeout;
    return makeOdbcDriver(ConnectionString::toFreeTds(cs), timeout,
                          targetText(source, cs.value(QStringLiteral("Initial Catalog"))));
  }
  // A workbook is reached as Office's own provider reaches one: Extended Properties
  // "Excel 12.0 Xml".
  if (provider.startsWith(QStringLiteral("MICROSOFT.ACE.OLEDB")) &&
      cs.value(QStringLiteral("Extended Properties"))
          .contains(QLatin1String("Excel"), Qt::CaseInsensitive))
    return makeXlsxDriver(source);
  if (provider.startsWith(QStringLiteral("MICROSOFT.JET.OLEDB")) ||
      provider.startsWith(QStringLiteral("MICROSOFT.ACE.OLEDB")))
    return makeJetDriver(source);
  if (provider == QStringLiteral("SQLITE")) return makeSqliteDriver(source);
  if (provider.startsWith(QStringLiteral("MSDASQL"))) {
    const QString odbc = cs.value(QStringLiteral("Extended Properties"));
    return makeOdbcDriver(odbc, kDefaultLoginTimeout, odbcTarget(odbc));
  }
  throw platform::Error(
      QStringLiteral(
          "不認得 Config.ini 中的資料庫提供者「%1」：請把 [MSSQL] 的 Provider 改回 SQLOLEDB.1。\n"
          "Provider cannot be found. It may not be properly installed.")
          .arg(cs.value(QStringLiteral("Provider"))));
}

Connection::Connection(QObject* parent) : QObject(parent) {}

Connection::~Connection() {
  close();
}

namespace {

// Guards the driver pointer against cancel() from another thread while open() or
// close() replace it.
QMutex& driverLock() {
  static QMutex lock;
  return lock;
}

}  // namespace

QString Connection::timeoutMessage(int seconds) {
  return QStringLiteral("資料庫在 %1 秒內沒有回應：可能有其他使用者正在使用這個資料表，請稍後再試")
      .arg(seconds);
}

QString Connection::noAnswerMessage(int seconds) {
  return QStringLiteral("無法登入資料庫伺服器：伺服器已接受連線，但在 %1 秒內沒有回應")
      .arg(seconds);
}

QString Connection::cancelledMessage() {
  return QStringLiteral("資料庫作業已取消");
}

void Connection::setCommandTimeout(int seconds) {
  commandTimeout_ = seconds < 0 ? 0 : seconds;
  if (driver_) driver_->setCommandTimeout(commandTimeout_);
}

void Connection::cancel() {
  QMutexLocker locker(&driverLock());
  if (driver_) driver_->cancel();
}

void Connection::open() {
  if (driver_ && driver_->isOpen()) return;
  std::unique_ptr<Driver> d = makeDriver(connectionString_);
  d->setCommandTimeout(commandTimeout_);
  d->open();
  QMutexLocker locker(&driverLock());
  driver_ = std::move(d);
}

void Connection::createDatabase() {
  makeDriver(connectionString_)->create();
}

void Connection::close() {
  emit aboutToClose();
  std::unique_ptr<Driver> old;
  {
    QMutexLocker locker(&driverLock());
    old = std::move(driver_);
  }
  if (old) old->close();
}

bool Connection::isConnected() const {
  return driver_ && driver_->isOpen();
}

Driver& Connection::driver() {
  if (!isConnected()) throw platform::Error(QStringLiteral("Connection is not open"));
  return *driver_;
}

QStringList Connection::tableNames() {
  open();
  return driver().tableNames();
}

ResultSet Connection::select(const QString& sql) {
  return driver().select(sql);
}

ResultSet Connection::select(const QString& sql, const std::vector<QVariant>& values,
                             const std::vector<FieldType>& types) {
  return driver().select(sql, values, types);
}

qint64 Connection::execute(const QString& sql) {
  return driver().execute(sql);
}

std::unique_ptr<Statement> Connection::prepare(const QString& sql,
                                               const std::vector<FieldType>& types) {
  return driver().prepare(sql, types);
}

QStringList Connection::primaryKey(const QString& table) {
  return driver().primaryKey(table);
}

std::vector<ColumnDefault> Connection::columnDefaults(const QString& table) {
  return driver().columnDefaults(table);
}

QString Connection::quoteName(const QString& name) const {
  if (driver_) return driver_->quoteName(name);
  QString quoted = name;
  quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return u'"' + quoted + u'"';
}

ServerRules Connection::rules() const {
  return driver_ ? driver_->rules() : ServerRules();
}

void Connection::handOverTo(QThread* thread) {
  if (driver_) driver_->moveToThread(thread);
  moveToThread(thread);
}

void Connection::takeOver(Connection& other) {
  if (&other == this) return;
  close();
  emit other.aboutToClose();
  QMutexLocker locker(&driverLock());
  driver_ = std::move(other.driver_);
  connectionString_ = other.connectionString_;
  commandTimeout_ = other.commandTimeout_;
}

}  // namespace db
