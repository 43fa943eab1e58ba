// The Access source module: the connection to one Access file and the query that reads
// one of its tables. The import driver points them at the table it imports.
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

  db::Connection adocnMdb;
  db::Dataset qryAccess;
  db::DataSource dsAccess;
};

}  // namespace dataimport
