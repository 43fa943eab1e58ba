#include "app/GridColumns.h"

#include <array>
#include <stdexcept>

namespace app {
namespace {

constexpr int D = GridColumn::kDefaultWidth;

const std::array<std::vector<GridColumn>, 4> kColumns = {{
    {{"ClsNo", 100}, {"ClsName", 300}},
    {{"ItemNo", 80},     {"ItemMark", 100},  {"SelfCode", 100}, {"PtName", 250},
     {"PtSpec", 250},    {"SupplierNo", 70}, {"FactName", 250}, {"ValidDays", 80},
     {"ImTax", 60},      {"ImUpDate", D},    {"UniPrice", 64},  {"SUnit", 64},
     {"RegSafeQty", 75}, {"EmgSafeQty", 75}, {"StkQty", 64},    {"ChkQty", 64},
     {"ShelfNo", 60},    {"AvgCost", 90},    {"Price", 90},     {"MemPrice", 90},
     {"VipPrice", 90},   {"MTDate", 80},     {"Notes", 200}},
    {{"FactNo", 70},  {"FactName", 100}, {"Addr", 200},     {"Responser", D},   {"TelNo1", 120},
     {"TelNo2", 120}, {"TelNo3", 120},   {"OrderTel", 120}, {"FaxNo", 120},     {"TradeDate", 90},
     {"BusNo", 64},   {"InvCd", 64},     {"InTerm", 64},    {"Purchase", 64},   {"PayCyc", 64},
     {"PayMth", 64},  {"DisRate", 64},   {"TaxCd", 64},     {"TradeCd", 64},    {"Contact", 64},
     {"Account", 64}, {"Bank", 64},      {"Branch", 64},    {"LastUpdate", 64}, {"Notes", 64}},
    {{"CustNo", 75},
     {"Name", D},
     {"IdNo", 64},
     {"Sex", 64},
     {"TelNo", 64},
     {"TelNo2", 64},
     {"Address", 64},
     {"Birthday", 64},
     {"Height", 64},
     {"Weight", 64},
     {"Sense", 64},
     {"ChkDate", 64},
     {"DisCount", 64},
     {"VipCount", 64},
     {"DateB", 64},
     {"DateE", 64},
     {"DebtTtl", 64},
     {"Notes", 64},
     {"EMail", 64}},
}};

}  // namespace

const std::vector<GridColumn>& gridColumns(int tabIndex) {
  return kColumns.at(tabIndex);
}

}  // namespace app
