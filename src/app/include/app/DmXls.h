// The Excel data module: a Jet connection, a query and nothing that drives them. It is
// created at start-up with the other modules and lives until the program ends.
#pragma once

#include <db/Connection.h>
#include <db/DataSource.h>
#include <db/Dataset.h>

#include <QObject>

namespace app {

class TDmExcel : public QObject {
  Q_OBJECT
 public:
  explicit TDmExcel(QObject* parent = nullptr);

  db::Connection adocnXls;
  db::Dataset qryExcel;
  db::DataSource dsExcel;
};

}  // namespace app
