// A connection to one database, given by an OLE DB style connection text:
//   "Provider=SQLOLEDB.1;Password=..;User ID=..;Initial Catalog=..;Data Source=host"
//       SQL Server through unixODBC and FreeTDS (host, host,port or host\instance);
//   "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=file.mdb"   an Access file;
//   "Provider=SQLite;Data Source=file.sqlite"                 an SQLite file;
//   anything without a Provider entry ("Driver={..};Server=..") goes to ODBC as it is.
// Closing a connection closes every dataset opened on it.
#pragma once

#include "db/ResultSet.h"
#include "db/ServerRules.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QThread;

namespace db {

class Driver;
class Statement;

class Connection : public QObject {
  Q_OBJECT

 public:
  explicit Connection(QObject* parent = nullptr);
  ~Connection() override;

  const QString& connectionString() const { return connectionString_; }
  // Takes effect at the next open().
  void setConnectionString(const QString& text) { connectionString_ = text; }

  // Kept for the callers that set them; the layer never prompts and always connects
  // when open() is called.
  bool loginPrompt() const { return false; }
  void setLoginPrompt(bool) {}
  void setKeepConnection(bool keep) { keepConnection_ = keep; }
  bool keepConnection() const { return keepConnection_; }

  // Seconds any statement of this connection may wait for the database (a row locked
  // by another user, a server that stopped answering) before it fails with the text of
  // timeoutMessage(); 0 waits without limit. 30 unless set.
  void setCommandTimeout(int seconds);
  int commandTimeout() const { return commandTimeout_; }
  static QString timeoutMessage(int seconds);

  // Abandons the statement running on this connection on another thread: it fails at
  // once with cancelledMessage(), and so does every later one until the next open().
  // May be called from any thread; does nothing while no link is open.
  void cancel();
  static QString cancelledMessage();
  // A server that accepted the connection and did not answer the login.
  static QString noAnswerMessage(int seconds);

  // Throws platform::Error with the driver's text when the database cannot be
  // reached. Opening an open connection does nothing.
  void open();
  // Creates the empty database that the connection text names, without opening it:
  // an Access file, which must not exist yet. Other providers cannot create one.
  void createDatabase();
  // Closes every dataset open on the connection first (aboutToClose), then the link.
  void close();
  bool isConnected() const;

  // Names of the user tables and views (opening the connection when needed).
  QStringList tableNames();

  // Runs a statement that returns rows and fetches all of them.
  ResultSet select(const QString& sql);
  // Runs a batch of statements with '?' markers on a server that takes them in one call
  // (SQL Server): the first result with columns.
  ResultSet select(const QString& sql, const std::vector<QVariant>& values,
                   const std::vector<FieldType>& types);
  // Runs a statement that returns no rows; the number of rows it touched.
  qint64 execute(const QString& sql);
  // A statement with '?' markers, prepared once, executed many times.
  std::unique_ptr<Statement> prepare(const QString& sql, const std::vector<FieldType>& types);
  // Column names of the table's primary key, empty when unknown.
  QStringList primaryKey(const QString& table);
  // Every column of the table with the default a new row gets; empty when unknown.
  std::vector<ColumnDefault> columnDefaults(const QString& table);
  // Quotes a column name for a statement of this connection.
  QString quoteName(const QString& name) const;
  // How the database compares texts (exactly while no link is open).
  ServerRules rules() const;

  // Hands the open link and this object to `thread`. Must be called on the thread
  // the connection lives in; used to open a connection on a worker thread and use it
  // on the user-interface thread afterwards.
  void handOverTo(QThread* thread);
  // Takes the open link of `other` (closing this one first); `other` is left closed.
  void takeOver(Connection& other);

 signals:
  void aboutToClose();

 private:
  Driver& driver();
  QString connectionString_;
  bool keepConnection_ = false;
  int commandTimeout_ = 30;
  std::unique_ptr<Driver> driver_;
};

}  // namespace db
