// The Access source module: the connection to one Access file and the query that reads
// one of its tables. It lives as long as the program; the import driver points it at
// each table it imports and leaves it on the last one.
#pragma once

#include <db/Connection.h>
#include <db/DataSource.h>
#include <db/Dataset.h>

#include <QObject>

namespace dataimport {

class TDmAccess : public QObject {
  Q_OBJECT
 public:
  explicit TDmAccess(QObject* parent = nullptr);

  // Declared first: destroyed after the query that uses it.
  db::Connection adocnMdb;
  db::Dataset qryAccess;
  db::DataSource dsAccess;

  // The connection text for an Access file, or for an Excel workbook (.xlsx).
  static QString connectionString(const QString& path);

  // Disconnects, connects to `path` (without a login, locking nobody out), and opens
  // qryAccess on `sql` with every row read. A missing or unreadable file, or a file
  // without the table, throws the layer's error.
  void openTable(const QString& path, const QString& sql);
};

}  // namespace dataimport
