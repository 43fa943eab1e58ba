// The four POS tables the program moves, in the order the import and the export walk
// them: each with its name (which names its files too, see exchangeFile), the main
// window's page that shows it and its switch in Config.ini. The import's and the export's own table
// lists are made from this one, entry by entry, so that they cannot differ in tables or order.
#pragma once

#include <config/ConfigKeys.h>

#include <QString>
#include <array>
#include <cstddef>
#include <stdexcept>

namespace config {

enum class PosTable { Classify, Item, Supplier, Customer };

struct PosTableInfo {
  PosTable table;
  const char* name;     // the POS table, the Access table and the column map file's name
  int tab;              // page index of the main window's PageControl
  FlagSetting enabled;  // section "Export Import", keyed by the table's name
};

namespace detail {
constexpr PosTableInfo posTableInfo(PosTable table, const char* name, int tab) {
  return {table, name, tab, {keys::SectionExportImport, name, false}};
}
}  // namespace detail

inline constexpr std::array<PosTableInfo, 4> kPosTables = {{
    detail::posTableInfo(PosTable::Classify, "Classify", 0),
    detail::posTableInfo(PosTable::Item, "Item", 1),
    detail::posTableInfo(PosTable::Supplier, "Supplier", 2),
    detail::posTableInfo(PosTable::Customer, "Customer", 3),
}};

constexpr const PosTableInfo& posTable(PosTable table) {
  for (const PosTableInfo& t : kPosTables)
    if (t.table == table) return t;
  throw std::invalid_argument("not a POS table");  // in a constant expression: no build
}

// A layer's own list of the tables: `entry` maps each table of kPosTables, in order, to
// that layer's entry.
template <class Entry>
constexpr auto mapPosTables(Entry (*entry)(const PosTableInfo&)) {
  std::array<Entry, kPosTables.size()> entries{};
  for (std::size_t i = 0; i < kPosTables.size(); ++i) entries[i] = entry(kPosTables[i]);
  return entries;
}

// The table as the operator knows it, the word of its tab in the main window; every
// report and window names the table by it.
constexpr const char* tableWord(PosTable table) {
  switch (table) {
    case PosTable::Classify:
      return "分類資料";
    case PosTable::Item:
      return "商品資料";
    case PosTable::Supplier:
      return "廠商資料";
    case PosTable::Customer:
      return "會員資料";
  }
  return "";
}

// The POS table named `name` (any case); null when it is none of the four.
inline const PosTableInfo* posTableNamed(const QString& name) {
  for (const PosTableInfo& t : kPosTables)
    if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0) return &t;
  return nullptr;
}

// The word of the POS table named `name`; the name itself when it is none of the four.
inline QString tableWordOf(const QString& name) {
  const PosTableInfo* t = posTableNamed(name);
  return t ? QString::fromUtf8(tableWord(t->table)) : name;
}

namespace keys {

// The tables that take part in import and export; the key is the table's name.
inline constexpr FlagSetting ExportClassify = posTable(PosTable::Classify).enabled;
inline constexpr FlagSetting ExportItem = posTable(PosTable::Item).enabled;
inline constexpr FlagSetting ExportSupplier = posTable(PosTable::Supplier).enabled;
inline constexpr FlagSetting ExportCustomer = posTable(PosTable::Customer).enabled;

}  // namespace keys
}  // namespace config
