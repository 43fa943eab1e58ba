// The POS data module: the connection cnKAROS and the four declared POS queries with
// their data sources, and the start and stop of the POS connection.
//
// Threading contract. start() and stop() run on the thread that owns the module (the
// user-interface thread) and block while the server is reached. To keep the window
// responsive, split the start:
//   1. on the UI thread:  dm.stop();  const PosSettings s = PosSettings::fromConfig();
//   2. on a worker thread: PosSnapshot snap = TDmMSSQL::fetch(s, uiThread);
//      (opens a connection of its own and runs the four statements; touches neither
//      the module nor any GUI object; throws platform::Error with the driver's text)
//   3. back on the UI thread: dm.adopt(std::move(snap));
//      (takes over the connection, opens and sorts the four queries on the fetched
//      rows, checking the declared fields; throws the open check's texts)
// While 2 runs the module stays stopped; do not call start(), adopt() or stop()
// concurrently with it.
#pragma once

#include <config/ConfigKeys.h>
#include <db/Connection.h>
#include <db/DataSource.h>
#include <db/Dataset.h>
#include <db/ResultSet.h>

#include <QMutex>
#include <QObject>
#include <QString>
#include <array>
#include <exception>
#include <memory>

class QThread;

namespace posdb {

// The connection values of section MSSQL of Config.ini, with the defaults of
// config/ConfigKeys.h.
struct PosSettings {
  QString host = QString::fromUtf8(config::keys::Host.def);
  QString database = QString::fromUtf8(config::keys::Database.def);
  QString user = QString::fromUtf8(config::keys::User.def);
  QString password = QString::fromUtf8(config::keys::Password.def);
  // "SQLOLEDB.1" (SQL Server) or "SQLite" (database names a file, relative paths
  // taken from the program folder).
  QString provider = QString::fromUtf8(config::keys::Provider.def);
  // Seconds a POS statement may wait before it fails; 0: no limit.
  int commandTimeout = config::keys::CommandTimeout.def;

  // Reads the configuration afresh (config::Config() must exist).
  static PosSettings fromConfig();
};

// The four statements' rows in the order Classify, Supplier, Item, Customer, fetched
// with a connection of their own. A statement that fails ends the fetch: its error is
// kept in `failure` and raised by adopt() when it comes to that table, so that the
// tables before it are opened and checked first, as a start that opens them one by
// one reports.
struct PosSnapshot {
  std::unique_ptr<db::Connection> connection;
  std::array<db::ResultSet, 4> results;
  int fetched = 0;
  std::exception_ptr failure;
};

// Lets another thread abandon a fetch: cancel() makes the statement it runs fail at
// once, and the fetch stops before its next step (a login under way is not
// interrupted; it ends by its own timeout). Thread-safe.
class FetchCancel {
 public:
  void cancel();
  bool cancelled() const;

  // How far the fetch has come, for a window to show: not connected yet, or reading
  // `table` (the POS table's name), the `index`th of four, with `rows` rows of the tables
  // before it read.
  struct Stage {
    bool connected = false;
    QString table;
    int index = 0;
    qint64 rows = 0;
  };
  Stage stage() const;

 private:
  friend class TDmMSSQL;
  // Throws the cancel text when cancelled already.
  void attach(db::Connection* connection);
  void detach();
  void reached(const QString& table, int index, qint64 rows);

  mutable QMutex lock_;
  Stage stage_;
  db::Connection* connection_ = nullptr;
  bool cancelled_ = false;
};

class TDmMSSQL : public QObject {
  Q_OBJECT

 public:
  explicit TDmMSSQL(QObject* parent = nullptr);
  ~TDmMSSQL() override;

  // Declared first: destroyed after the queries that use it.
  db::Connection cnKAROS;
  db::Dataset qryClassify;
  db::Dataset qrySupplier;
  db::Dataset qryItem;
  db::Dataset qryCustomer;
  db::DataSource dsClassify;
  db::DataSource dsSupplier;
  db::DataSource dsItem;
  db::DataSource dsCustomer;

  // The connection text for the settings. SQL Server:
  // "Provider=SQLOLEDB.1;Password=..;Persist Security Info=True;User ID=..;
  //  Initial Catalog=..;Data Source=host", each value quoted when it holds ';', '=',
  // quotes or outer blanks so that it cannot change the meaning of the text.
  static QString connectionString(const PosSettings& settings);

  // Reads Config.ini, closes the connection (and every query), connects, opens the
  // four queries in the order Classify, Supplier, Item, Customer and sorts each on its
  // key. Any failure propagates; a new start first closes what a failed one left.
  // The same path as the split start below: fetch, then adopt.
  void start();
  // The same with a connection text given directly (tests, other engines).
  void startWith(const QString& connectionString);
  // Closes the connection and with it the queries; empties the connection text.
  void stop();

  // The split start (see the contract above). `target` is the thread that will use
  // the connection (the module's thread).
  // `cancel`, when given, lets another thread abandon the fetch.
  static PosSnapshot fetch(const PosSettings& settings, QThread* target,
                           FetchCancel* cancel = nullptr);
  static PosSnapshot fetchWith(const QString& connectionString, QThread* target,
                               int commandTimeout = config::keys::CommandTimeout.def,
                               FetchCancel* cancel = nullptr);
  void adopt(PosSnapshot snapshot);

  // Reads the table's query again from the POS (sorted on its key, as the start does),
  // so that what is written from it is what the POS holds now: the tills and the back
  // office keep changing rows after the start. Views of the query follow.
  void refresh(const QString& table);
  // The query of a POS table by its name ("Classify", "Item", ...), nullptr if none.
  db::Dataset* queryOf(const QString& table);
  // The key column of a POS table ("ClsNo", "ItemNo", "FactNo", "CustNo").
  static QString keyOf(const QString& table);
};

}  // namespace posdb
