#include "app/DmXls.h"

namespace app {

TDmExcel::TDmExcel(QObject* parent)
    : QObject(parent),
      qryExcel(QStringLiteral("qryExcel")),
      dsExcel(QStringLiteral("dsExcel"), &qryExcel) {
  setObjectName(QStringLiteral("DmExcel"));
  adocnXls.setObjectName(QStringLiteral("adocnXls"));
  adocnXls.setConnectionString(
      QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Mode=Share Deny None"));
  adocnXls.setLoginPrompt(false);
  qryExcel.setConnection(&adocnXls);
  qryExcel.setCacheSize(1000);
}

}  // namespace app
