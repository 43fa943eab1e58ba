#include "import/DmMdb.h"

namespace dataimport {

TDmAccess::TDmAccess(QObject* parent)
    : QObject(parent),
      qryAccess(QStringLiteral("qryAccess")),
      dsAccess(QStringLiteral("dsAccess"), &qryAccess) {
  setObjectName(QStringLiteral("DmAccess"));
  adocnMdb.setObjectName(QStringLiteral("adocnMdb"));
  adocnMdb.setLoginPrompt(false);
  qryAccess.setConnection(&adocnMdb);
}

}  // namespace dataimport
