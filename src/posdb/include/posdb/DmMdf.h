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

#include <db/Connection.h>
#include <db/DataSource.h>
#include <db/Dataset.h>
#include <db/ResultSet.h>

#include <QObject>
#include <QString>
#include <memory>

class QThread;

namespace posdb {

// The connection values of section MSSQL of Config.ini.
struct PosSettings {
  QString host = QStringLiteral("127.0.0.1");
  QString database = QStringLiteral("KAROS");
  QString user = QStringLiteral("sa");
  QString password = QStringLiteral("kora");
  // "SQLOLEDB.1" (SQL Server) or "SQLite" (database names a file, relative paths
  // taken from the program folder).
  QString provider = QStringLiteral("SQLOLEDB.1");

  // Reads the configuration afresh (config::Config() must exist).
  static PosSettings fromConfig();
};

// The four statements' rows, fetched with a connection of their own.
struct PosSnapshot {
  std::unique_ptr<db::Connection> connection;
  db::ResultSet classify;
  db::ResultSet supplier;
  db::ResultSet item;
  db::ResultSet customer;
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
  void start();
  // The same with a connection text given directly (tests, other engines).
  void startWith(const QString& connectionString);
  // Closes the connection and with it the queries; empties the connection text.
  void stop();

  // The split start (see the contract above). `target` is the thread that will use
  // the connection (the module's thread).
  static PosSnapshot fetch(const PosSettings& settings, QThread* target);
  static PosSnapshot fetchWith(const QString& connectionString, QThread* target);
  void adopt(PosSnapshot snapshot);

  // The query of a POS table by its name ("Classify", "Item", ...), nullptr if none.
  db::Dataset* queryOf(const QString& table);
  // The key column of a POS table ("ClsNo", "ItemNo", "FactNo", "CustNo").
  static QString keyOf(const QString& table);

 private:
  void sortAll(db::Dataset& query, const QString& key);
};

}  // namespace posdb
