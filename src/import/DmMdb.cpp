#include "import/DmMdb.h"

#include <db/ConnectionString.h>

namespace dataimport {

TDmAccess::TDmAccess(QObject* parent)
    : QObject(parent),
      adocnMdb(this),
      qryAccess(QStringLiteral("qryAccess"), this),
      dsAccess(QStringLiteral("dsAccess"), &qryAccess, this) {
  setObjectName(QStringLiteral("DmAccess"));
  adocnMdb.setObjectName(QStringLiteral("adocnMdb"));
  adocnMdb.setLoginPrompt(false);
  qryAccess.setConnection(&adocnMdb);
  qryAccess.setCacheSize(100);
}

QString TDmAccess::connectionString(const QString& path) {
  // A folder holding ';' or '=' must not change the meaning of the text: the path is
  // quoted then, and stands as it is otherwise.
  if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
    return QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=") +
           db::ConnectionString::quoteOleDb(path) +
           QStringLiteral(";Extended Properties=\"Excel 12.0 Xml;HDR=YES\"");
  return QStringLiteral(
             "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;"
             "Data Source=") +
         db::ConnectionString::quoteOleDb(path);
}

void TDmAccess::openTable(const QString& path, const QString& sql) {
  adocnMdb.close();
  adocnMdb.setConnectionString(connectionString(path));
  adocnMdb.open();
  qryAccess.close();
  qryAccess.setSql(sql);
  qryAccess.open();
}

}  // namespace dataimport
