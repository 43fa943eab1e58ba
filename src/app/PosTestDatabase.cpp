#include "PosTestDatabase.h"

#include <db/Connection.h>

#include <QStringList>
#include <vector>

namespace app::test {
namespace {

struct Column {
  const char* name;
  const char* type;  // B: boolean, D: date and time, otherwise the SQL type
};

struct Table {
  const char* name;
  std::vector<Column> columns;
  std::vector<std::vector<const char*>> rows;  // values of the first columns; NULL after
};

const std::vector<Table>& tables() {
  static const std::vector<Table> all = {
      {"Classify",
       {{"ClsNo", "varchar(3)"}, {"ClsName", "varchar(40)"}, {"Flag", "B"}, {"Void", "char(1)"}},
       {{"'B02'", "'感冒用藥'"}, {"'A01'", "'保健食品'"}, {"'C03'", "'醫療器材'"}}},
      {"Supplier",
       {{"FactNo", "varchar(4)"},     {"FactName", "varchar(40)"}, {"Addr", "varchar(40)"},
        {"Responser", "varchar(10)"}, {"TelNo1", "varchar(17)"},   {"TelNo2", "varchar(17)"},
        {"TelNo3", "varchar(17)"},    {"OrderTel", "varchar(17)"}, {"FaxNo", "varchar(12)"},
        {"TradeDate", "D"},           {"BusNo", "varchar(8)"},     {"InvCd", "varchar(10)"},
        {"InTerm", "varchar(12)"},    {"Purchase", "varchar(12)"}, {"PayCyc", "varchar(12)"},
        {"PayMth", "varchar(30)"},    {"DisRate", "float"},        {"TaxCd", "varchar(10)"},
        {"TradeCd", "varchar(20)"},   {"Contact", "varchar(10)"},  {"Account", "varchar(16)"},
        {"Bank", "varchar(10)"},      {"Branch", "varchar(10)"},   {"LastUpdate", "D"},
        {"Void", "char(1)"},          {"Notes", "varchar(60)"}},
       {{"'S002'", "'台灣藥品'"}, {"'S001'", "'健康批發'"}}},
      {"Item",
       {{"ItemNo", "varchar(8)"},
        {"ItemMark", "varchar(13)"},
        {"SelfCode", "varchar(13)"},
        {"PtName", "varchar(40)"},
        {"PtSpec", "varchar(50)"},
        {"SupplierNo", "varchar(4)"},
        {"PayType", "varchar(1)"},
        {"ValidDays", "varchar(1)"},
        {"ImTax", "varchar(10)"},
        {"ImUpDate", "D"},
        {"UniPrice", "float"},
        {"GUnit", "varchar(4)"},
        {"MUnit", "varchar(4)"},
        {"SUnit", "varchar(4)"},
        {"GtoM", "int"},
        {"MtoS", "int"},
        {"Gift", "float"},
        {"Percent", "float"},
        {"RegSafeQty", "smallint"},
        {"EmgSafeQty", "smallint"},
        {"Flags", "varchar(10)"},
        {"StkQty", "int"},
        {"ChkQty", "int"},
        {"ShelfNo", "varchar(3)"},
        {"TempShelf", "varchar(3)"},
        {"AvgCost", "float"},
        {"Code", "varchar(6)"},
        {"Special", "smallint"},
        {"OldCode", "varchar(13)"},
        {"HeaPrice", "float"},
        {"HealthCode", "varchar(12)"},
        {"Price", "float"},
        {"MemPrice", "float"},
        {"VipPrice", "float"},
        {"MTDate", "D"},
        {"ItemCnt", "smallint"},
        {"Qty1", "smallint"},
        {"No1", "varchar(8)"},
        {"Qty2", "smallint"},
        {"No2", "varchar(8)"},
        {"Qty3", "smallint"},
        {"No3", "varchar(8)"},
        {"Void", "char(1)"},
        {"Notes", "varchar(60)"}},
       {{"'20000027'", "'4710000000027'", "NULL", "'維他命C'", "'100錠'", "'S001'"},
        {"'10000018'", "'4710000000018'", "NULL", "'口罩'", "'50入'", "'S009'"},
        {"'30000036'", "NULL", "NULL", "'感冒糖漿'", "'120ml'", "'S002'"}}},
      {"Customer",
       {{"CustNo", "varchar(8)"},
        {"Name", "varchar(20)"},
        {"IdNo", "varchar(10)"},
        {"Sex", "varchar(6)"},
        {"TelNo", "varchar(17)"},
        {"TelNo2", "varchar(17)"},
        {"Address", "varchar(50)"},
        {"Birthday", "D"},
        {"Height", "float"},
        {"Weight", "float"},
        {"PressureL", "float"},
        {"PressureH", "float"},
        {"Sense", "varchar(60)"},
        {"ChkDate", "D"},
        {"SickCd1", "varchar(2)"},
        {"SickCd2", "varchar(2)"},
        {"SickCd3", "varchar(2)"},
        {"DisCount", "varchar(16)"},
        {"VipCount", "int"},
        {"DateB", "D"},
        {"DateE", "D"},
        {"DebtTtl", "float"},
        {"Notes", "varchar(60)"},
        {"EMail", "varchar(60)"}},
       {{"'M0000002'", "'王小明'"}, {"'M0000001'", "'陳美麗'"}}},
  };
  return all;
}

}  // namespace

void createPosTables(db::Connection& connection, SqlDialect dialect, const QString& skipTables,
                     const ColumnAdjust& adjust) {
  const QStringList skip = skipTables.split(u',', Qt::SkipEmptyParts);
  for (const Table& t : tables()) {
    const QString table = QString::fromUtf8(t.name);
    connection.execute("drop table if exists " + table);
    if (skip.contains(table)) continue;
    QStringList columns;
    QStringList names;
    for (const Column& c : t.columns) {
      QString type = QString::fromUtf8(c.type);
      if (type == u"B") type = dialect == SqlDialect::PostgreSQL ? "boolean" : "bit";
      if (type == u"D") type = dialect == SqlDialect::PostgreSQL ? "timestamp" : "datetime";
      if (adjust) type = adjust(table, QString::fromUtf8(c.name), type);
      if (type.isEmpty()) continue;
      // SQL Server reserves some of the names (Percent); quoted there, they keep their case.
      const QString name = dialect == SqlDialect::SqlServer ? '[' + QString::fromUtf8(c.name) + ']'
                                                            : QString::fromUtf8(c.name);
      columns << name + ' ' + type;
      names << name;
    }
    connection.execute("create table " + table + " (" + columns.join(", ") + ")");
    for (const auto& row : t.rows) {
      QStringList values;
      for (const char* v : row) values << QString::fromUtf8(v);
      connection.execute("insert into " + table + " (" + names.mid(0, values.size()).join(", ") +
                         ") values (" + values.join(", ") + ")");
    }
  }
}

}  // namespace app::test
