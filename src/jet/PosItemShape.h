// Test and benchmark support: a table of the shape of the POS Item table as an export
// writes it (45 columns: texts of many sizes, whole numbers, floats, dates; Chinese
// column labels) and a deterministic row generator for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/DatabaseWriter.h"

namespace jet::testing {

inline std::vector<NewColumn> posItemColumns() {
  const auto text = [](const char* name, int chars) {
    return NewColumn{name, ColumnType::Text, chars};
  };
  const auto number = [](const char* name) { return NewColumn{name, ColumnType::Long, 0}; };
  const auto real = [](const char* name) { return NewColumn{name, ColumnType::Double, 0}; };
  const auto date = [](const char* name) { return NewColumn{name, ColumnType::DateTime, 0}; };
  return {text("管理貨號", 8),  text("國際碼", 13),
          text("自訂碼", 13),   text("品名", 40),
          text("規格", 50),     text("是否為健保用藥", 1),
          text("應商代號", 4),  text("廠商名稱", 40),
          text("有效期", 1),    text("稅別", 10),
          date("建檔日期"),     real("最新進價"),
          text("大單位", 4),    text("中單位", 4),
          text("單位", 4),      number("大轉中關係"),
          number("中轉小關係"), real("買幾贈一制"),
          real("藥師獎勵制"),   number("安全庫存"),
          number("最低訂貨量"), text("是否為管制用藥", 10),
          number("庫存量"),     number("盤點數"),
          text("貨架", 3),      text("TempShelf", 3),
          real("平均成本"),     text("許可證字號", 6),
          number("產品分類"),   text("保留", 13),
          real("HeaPrice"),     text("HealthCode", 12),
          real("售價"),         real("會員價格"),
          real("VIP價格"),      date("修改日期"),
          number("商品數量"),   number("數量1"),
          text("管理貨號1", 8), number("數量2"),
          text("管理貨號2", 8), number("數量3"),
          text("管理貨號3", 8), text("Void", 1),
          text("備註", 60)};
}

// Row `i`: values of realistic size, some NULL, Chinese in the names and units.
inline std::vector<Value> posItemRow(std::uint64_t i) {
  static const char* const kNames[] = {"阿斯匹靈腸溶錠", "維他命C發泡錠", "感冒糖漿", "葡萄糖胺",
                                       "OK繃 (防水)",    "口罩 50入",     "退熱貼"};
  static const char* const kUnits[] = {"盒", "瓶", "包", "條"};
  static const char* const kFactories[] = {"台灣製藥股份有限公司", "永信藥品", "Acme Pharma Co."};
  const auto code = [](std::uint64_t n, int width) {
    std::string s = std::to_string(n);
    return std::string(s.size() < std::size_t(width) ? std::size_t(width) - s.size() : 0, '0') + s;
  };
  const double price = double(i % 100000) / 100.0 + 0.5;
  const auto orNull = [&](bool present, Value v) { return present ? v : Value(); };
  std::vector<Value> r;
  r.reserve(45);
  r.push_back(Value::text(code(i, 8)));
  r.push_back(Value::text("471" + code(i * 7919 % 10000000000ULL, 10)));
  r.push_back(orNull(i % 3 != 0, Value::text("S" + code(i, 6))));
  r.push_back(Value::text(std::string(kNames[i % 7]) + " " + std::to_string(i % 500) + "mg"));
  r.push_back(orNull(i % 4 != 0, Value::text("每" + std::string(kUnits[i % 4]) +
                                             std::to_string(10 + i % 90) + "粒")));
  r.push_back(Value::text(i % 2 ? "Y" : "N"));
  r.push_back(Value::text(code(i % 300, 4)));
  r.push_back(Value::text(kFactories[i % 3]));
  r.push_back(Value::text("1"));
  r.push_back(Value::text(i % 5 ? "應稅" : "免稅"));
  r.push_back(Value::dateTime({40000.0 + double(i % 5000)}));
  r.push_back(Value::real(price));
  r.push_back(Value::text("箱"));
  r.push_back(Value::text("盒"));
  r.push_back(Value::text(kUnits[i % 4]));
  r.push_back(Value::integer(std::int64_t(12 + i % 12)));
  r.push_back(Value::integer(std::int64_t(10 + i % 5)));
  r.push_back(Value::real(double(i % 10)));
  r.push_back(Value::real(double(i % 7) / 10.0));
  r.push_back(Value::integer(std::int64_t(i % 100)));
  r.push_back(Value::integer(std::int64_t(i % 20)));
  r.push_back(orNull(i % 6 == 0, Value::text("管制")));
  r.push_back(Value::integer(std::int64_t(i % 1000) - 100));
  r.push_back(Value::integer(std::int64_t(i % 997)));
  r.push_back(Value::text("A" + code(i % 99, 2)));
  r.push_back(Value());
  r.push_back(Value::real(price * 0.73));
  r.push_back(orNull(i % 2 == 0, Value::text(code(i % 999999, 6))));
  r.push_back(Value::integer(std::int64_t(i % 30)));
  r.push_back(Value());
  r.push_back(orNull(i % 3 == 0, Value::real(price * 0.9)));
  r.push_back(orNull(i % 3 == 0, Value::text("AC" + code(i, 10))));
  r.push_back(Value::real(price * 1.3));
  r.push_back(Value::real(price * 1.2));
  r.push_back(Value::real(price * 1.1));
  r.push_back(Value::dateTime({45000.0 + double(i % 700) + double(i % 86400) / 86400.0}));
  r.push_back(Value::integer(std::int64_t(i % 3)));
  r.push_back(orNull(i % 10 == 0, Value::integer(1)));
  r.push_back(orNull(i % 10 == 0, Value::text(code(i + 1, 8))));
  r.push_back(Value());
  r.push_back(Value());
  r.push_back(Value());
  r.push_back(Value());
  r.push_back(Value::text(i % 50 ? " " : "V"));
  r.push_back(orNull(i % 8 == 0, Value::text("備註：請冷藏保存，避免陽光直射。")));
  return r;
}

}  // namespace jet::testing
