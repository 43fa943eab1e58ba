#include "posdb/DmMdf.h"

#include <config/ConfigKeys.h>
#include <config/Configs.h>
#include <db/ConnectionString.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>

#include <QDir>
#include <QThread>
#include <algorithm>

namespace posdb {

namespace {

enum Kind { Text, Fixed, Integer, Smallint, Float, Boolean, DateTime };

struct Decl {
  const char* name;
  Kind kind;
  int size;
  const char* label;
  const char* format;
};

db::FieldDef toDef(const Decl& d) {
  db::FieldDef f;
  f.name = QString::fromUtf8(d.name);
  f.label = QString::fromUtf8(d.label);
  f.displayFormat = QString::fromUtf8(d.format);
  switch (d.kind) {
    case Text:
      f.type = db::ftString;
      f.size = d.size ? d.size : 20;
      break;
    case Fixed:
      f.type = db::ftString;
      f.size = d.size;
      f.fixedChar = true;
      break;
    case Integer:
      f.type = db::ftInteger;
      break;
    case Smallint:
      f.type = db::ftSmallint;
      break;
    case Float:
      f.type = db::ftFloat;
      break;
    case Boolean:
      f.type = db::ftBoolean;
      break;
    case DateTime:
      f.type = db::ftDateTime;
      break;
  }
  return f;
}

const Decl kClassify[] = {
    {"ClsNo", Text, 3, "小分類編號", ""},
    {"ClsName", Text, 40, "小分類名稱", ""},
    {"Flag", Boolean, 0, "", ""},
    {"Void", Fixed, 1, "", ""},
};

const Decl kSupplier[] = {
    {"FactNo", Text, 4, "廠商代號", ""},
    {"FactName", Text, 40, "廠商名稱", ""},
    {"Addr", Text, 40, "廠商地址", ""},
    {"Responser", Text, 10, "負責人", ""},
    {"TelNo1", Text, 17, "電話1", ""},
    {"TelNo2", Text, 17, "電話2", ""},
    {"TelNo3", Text, 17, "電話3", ""},
    {"OrderTel", Text, 17, "訂貨電話", ""},
    {"FaxNo", Text, 12, "傳真電話", ""},
    {"TradeDate", DateTime, 0, "建檔日", ""},
    {"BusNo", Text, 8, "統一編號", ""},
    {"InvCd", Text, 10, "發票區分", ""},
    {"InTerm", Text, 12, "採購週期", ""},
    {"Purchase", Text, 12, "採購方式", ""},
    {"PayCyc", Text, 12, "期票週期", ""},
    {"PayMth", Text, 30, "結帳方式", ""},
    {"DisRate", Float, 0, "給予折扣", ""},
    {"TaxCd", Text, 10, "稅區分", ""},
    {"TradeCd", Text, 20, "交易方式", ""},
    {"Contact", Text, 10, "聯絡人", ""},
    {"Account", Text, 16, "帳號", ""},
    {"Bank", Text, 10, "付款行名", ""},
    {"Branch", Text, 10, "分行名稱", ""},
    {"LastUpdate", DateTime, 0, "最近編輯日期", ""},
    {"Void", Fixed, 1, "", ""},
    {"Notes", Text, 60, "備註", ""},
};

// FactName (8th) is the lookup into qrySupplier, added separately.
const Decl kItemBefore[] = {
    {"ItemNo", Text, 8, "管理貨號", ""},     {"ItemMark", Text, 13, "國際碼", ""},
    {"SelfCode", Text, 13, "自訂碼", ""},    {"PtName", Text, 40, "品名", ""},
    {"PtSpec", Text, 50, "規格", ""},        {"PayType", Text, 1, "是否為健保用藥", ""},
    {"SupplierNo", Text, 4, "應商代號", ""},
};
const Decl kItemAfter[] = {
    {"ValidDays", Text, 1, "有效期", ""},
    {"ImTax", Text, 10, "稅別", ""},
    {"ImUpDate", DateTime, 0, "建檔日期", "yyyy/mm/dd"},
    {"UniPrice", Float, 0, "最新進價", "#,#0.00"},
    {"GUnit", Text, 4, "大單位", ""},
    {"MUnit", Text, 4, "中單位", ""},
    {"SUnit", Text, 4, "單位", ""},
    {"GtoM", Integer, 0, "大轉中關係", ""},
    {"MtoS", Integer, 0, "中轉小關係", ""},
    {"Gift", Float, 0, "買幾贈一制", ""},
    {"Percent", Float, 0, "藥師獎勵制", ""},
    {"RegSafeQty", Smallint, 0, "安全庫存", ""},
    {"EmgSafeQty", Smallint, 0, "最低訂貨量", ""},
    {"Flags", Text, 10, "是否為管制用藥", ""},
    {"StkQty", Integer, 0, "庫存量", "#,#0"},
    {"ChkQty", Integer, 0, "盤點數", "#,#0"},
    {"ShelfNo", Text, 3, "貨架", ""},
    {"TempShelf", Text, 3, "", ""},
    {"AvgCost", Float, 0, "平均成本", "#,#0.00"},
    {"Code", Text, 6, "許可證字號", ""},
    {"Special", Smallint, 0, "產品分類", ""},
    {"OldCode", Text, 13, "保留", ""},
    {"HeaPrice", Float, 0, "", ""},
    {"HealthCode", Text, 12, "", ""},
    {"Price", Float, 0, "售價", "#,#0.00"},
    {"MemPrice", Float, 0, "會員價格", "#,#0.00"},
    {"VipPrice", Float, 0, "VIP價格", "#,#0.00"},
    {"MTDate", DateTime, 0, "修改日期", ""},
    {"ItemCnt", Smallint, 0, "商品數量", ""},
    {"Qty1", Smallint, 0, "數量1", ""},
    {"No1", Text, 8, "管理貨號1", ""},
    {"Qty2", Smallint, 0, "數量2", ""},
    {"No2", Text, 8, "管理貨號2", ""},
    {"Qty3", Smallint, 0, "數量3", ""},
    {"No3", Text, 8, "管理貨號3", ""},
    {"Void", Fixed, 1, "", ""},
    {"Notes", Text, 60, "備註", ""},
};

const Decl kCustomer[] = {
    {"CustNo", Text, 8, "顧客編號", ""},       {"Name", Text, 20, "姓名", ""},
    {"IdNo", Text, 10, "身分證字號", ""},      {"Sex", Text, 6, "性別", ""},
    {"TelNo", Text, 17, "電話1", ""},          {"TelNo2", Text, 17, "電話2", ""},
    {"Address", Text, 50, "地址", ""},         {"Birthday", DateTime, 0, "出生日期", ""},
    {"Height", Float, 0, "身高", ""},          {"Weight", Float, 0, "體重", ""},
    {"PressureL", Float, 0, "血壓(低值)", ""}, {"PressureH", Float, 0, "血壓(高值)", ""},
    {"Sense", Text, 60, "會員特性", ""},       {"ChkDate", DateTime, 0, "建檔日期", ""},
    {"SickCd1", Text, 2, "先天病代號1", ""},   {"SickCd2", Text, 2, "先天病代號2", ""},
    {"SickCd3", Text, 2, "先天病代號3", ""},   {"DisCount", Text, 16, "會員等級", ""},
    {"VipCount", Integer, 0, "累積金額", ""},  {"DateB", DateTime, 0, "起效日", ""},
    {"DateE", DateTime, 0, "截止日", ""},      {"DebtTtl", Float, 0, "欠款總額", ""},
    {"Notes", Text, 60, "備註", ""},           {"EMail", Text, 60, "", ""},
};

template <size_t N>
void declare(db::Dataset& query, const Decl (&decls)[N]) {
  for (const Decl& d : decls) {
    db::FieldDef f = toDef(d);
    if (f.name == QLatin1String("IdNo")) f.editMask = QStringLiteral(">l999999999;0; ");
    query.addField(f);
  }
}

struct Table {
  const char* name;
  const char* key;
  const char* sql;
};

const Table kTables[] = {
    {"Classify", "ClsNo", "select * from Classify"},
    {"Supplier", "FactNo", "select * from Supplier"},
    {"Item", "ItemNo", "select * from Item"},
    {"Customer", "CustNo", "select * from Customer\n "},
};

}  // namespace

PosSettings PosSettings::fromConfig() {
  const config::TConfig& c = config::Config();
  PosSettings s;
  s.host = c.read(config::keys::Host);
  s.database = c.read(config::keys::Database);
  s.user = c.read(config::keys::User);
  s.password = c.read(config::keys::Password);
  s.provider = c.read(config::keys::Provider).trimmed();
  s.commandTimeout = std::max(0, c.read(config::keys::CommandTimeout));
  return s;
}

void FetchCancel::cancel() {
  QMutexLocker locker(&lock_);
  cancelled_ = true;
  if (connection_) connection_->cancel();
}

bool FetchCancel::cancelled() const {
  QMutexLocker locker(&lock_);
  return cancelled_;
}

void FetchCancel::attach(db::Connection* connection) {
  QMutexLocker locker(&lock_);
  if (cancelled_) throw platform::Error(db::Connection::cancelledMessage());
  connection_ = connection;
}

FetchCancel::Stage FetchCancel::stage() const {
  QMutexLocker locker(&lock_);
  return stage_;
}

void FetchCancel::reached(const QString& table, int index, qint64 rows) {
  QMutexLocker locker(&lock_);
  stage_ = {true, table, index, rows};
}

void FetchCancel::detach() {
  QMutexLocker locker(&lock_);
  connection_ = nullptr;
}

TDmMSSQL::TDmMSSQL(QObject* parent)
    : QObject(parent),
      cnKAROS(this),
      qryClassify(QStringLiteral("qryClassify"), this),
      qrySupplier(QStringLiteral("qrySupplier"), this),
      qryItem(QStringLiteral("qryItem"), this),
      qryCustomer(QStringLiteral("qryCustomer"), this),
      dsClassify(QStringLiteral("dsClassify"), &qryClassify, this),
      dsSupplier(QStringLiteral("dsSupplier"), &qrySupplier, this),
      dsItem(QStringLiteral("dsItem"), &qryItem, this),
      dsCustomer(QStringLiteral("dsCustomer"), &qryCustomer, this) {
  setObjectName(QStringLiteral("DmMSSQL"));
  cnKAROS.setObjectName(QStringLiteral("cnKAROS"));
  cnKAROS.setLoginPrompt(false);
  cnKAROS.setKeepConnection(false);
  db::Dataset* queries[] = {&qryClassify, &qrySupplier, &qryItem, &qryCustomer};
  for (size_t i = 0; i < 4; ++i) {
    queries[i]->setConnection(&cnKAROS);
    queries[i]->setSql(QString::fromUtf8(kTables[i].sql));
    queries[i]->setKeyFields({QString::fromUtf8(kTables[i].key)});
    queries[i]->setCacheSize(1000);
  }
  declare(qryClassify, kClassify);
  declare(qrySupplier, kSupplier);
  declare(qryItem, kItemBefore);
  db::FieldDef factName = toDef({"FactName", Text, 40, "廠商名稱", ""});
  factName.lookup = true;
  factName.lookupDataset = &qrySupplier;
  factName.keyFields = QStringLiteral("SupplierNo");
  factName.lookupKeyFields = QStringLiteral("FactNo");
  factName.lookupResultField = QStringLiteral("FactName");
  qryItem.addField(factName);
  declare(qryItem, kItemAfter);
  declare(qryCustomer, kCustomer);
}

TDmMSSQL::~TDmMSSQL() {
  cnKAROS.close();
}

QString TDmMSSQL::connectionString(const PosSettings& s) {
  using db::ConnectionString;
  if (s.provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0) {
    const QString path =
        QDir::isAbsolutePath(s.database) ? s.database : platform::programFolder() + s.database;
    return QStringLiteral("Provider=SQLite;Data Source=") + ConnectionString::quoteOleDb(path);
  }
  const QString provider = s.provider.isEmpty() ? QStringLiteral("SQLOLEDB.1") : s.provider;
  return QStringLiteral("Provider=") + ConnectionString::quoteOleDb(provider) +
         QStringLiteral(";Password=") + ConnectionString::quoteOleDb(s.password) +
         QStringLiteral(";Persist Security Info=True;User ID=") +
         ConnectionString::quoteOleDb(s.user) + QStringLiteral(";Initial Catalog=") +
         ConnectionString::quoteOleDb(s.database) + QStringLiteral(";Data Source=") +
         ConnectionString::quoteOleDb(s.host);
}

void TDmMSSQL::start() {
  const PosSettings settings = PosSettings::fromConfig();
  stop();
  adopt(fetch(settings, nullptr));
}

void TDmMSSQL::startWith(const QString& text) {
  // Whatever an earlier start left open goes first, also when this one cannot connect.
  stop();
  adopt(fetchWith(text, nullptr));
}

void TDmMSSQL::stop() {
  cnKAROS.close();
  cnKAROS.setConnectionString(QString());
}

PosSnapshot TDmMSSQL::fetch(const PosSettings& settings, QThread* target, FetchCancel* cancel) {
  return fetchWith(connectionString(settings), target, settings.commandTimeout, cancel);
}

PosSnapshot TDmMSSQL::fetchWith(const QString& text, QThread* target, int commandTimeout,
                                FetchCancel* cancel) {
  PosSnapshot snap;
  snap.connection = std::make_unique<db::Connection>();
  snap.connection->setConnectionString(text);
  snap.connection->setCommandTimeout(commandTimeout);
  snap.connection->open();
  if (cancel) cancel->attach(snap.connection.get());
  try {
    qint64 rows = 0;
    for (; snap.fetched < 4; ++snap.fetched) {
      if (cancel)
        cancel->reached(QString::fromUtf8(kTables[snap.fetched].name), snap.fetched, rows);
      snap.results[size_t(snap.fetched)] =
          snap.connection->select(QString::fromUtf8(kTables[snap.fetched].sql));
      rows += snap.results[size_t(snap.fetched)].rowCount();
    }
  } catch (...) {
    snap.failure = std::current_exception();
  }
  if (cancel) cancel->detach();
  if (target) snap.connection->handOverTo(target);
  return snap;
}

void TDmMSSQL::adopt(PosSnapshot snap) {
  stop();
  cnKAROS.takeOver(*snap.connection);
  db::Dataset* queries[] = {&qryClassify, &qrySupplier, &qryItem, &qryCustomer};
  for (int i = 0; i < 4; ++i) {
    if (i == snap.fetched && snap.failure) std::rethrow_exception(snap.failure);
    queries[i]->open(std::move(snap.results[size_t(i)]));
    queries[i]->setSort(QString::fromUtf8(kTables[i].key));
  }
}

void TDmMSSQL::refresh(const QString& table) {
  db::Dataset* queries[] = {&qryClassify, &qrySupplier, &qryItem, &qryCustomer};
  for (size_t i = 0; i < 4; ++i) {
    if (table.compare(QString::fromUtf8(kTables[i].name), Qt::CaseInsensitive) != 0) continue;
    db::ResultSet rows = cnKAROS.select(QString::fromUtf8(kTables[i].sql));
    queries[i]->open(std::move(rows));
    queries[i]->setSort(QString::fromUtf8(kTables[i].key));
  }
}

db::Dataset* TDmMSSQL::queryOf(const QString& table) {
  db::Dataset* queries[] = {&qryClassify, &qrySupplier, &qryItem, &qryCustomer};
  for (size_t i = 0; i < 4; ++i)
    if (table.compare(QString::fromUtf8(kTables[i].name), Qt::CaseInsensitive) == 0)
      return queries[i];
  return nullptr;
}

QString TDmMSSQL::keyOf(const QString& table) {
  for (const Table& t : kTables)
    if (table.compare(QString::fromUtf8(t.name), Qt::CaseInsensitive) == 0)
      return QString::fromUtf8(t.key);
  return QString();
}

}  // namespace posdb
