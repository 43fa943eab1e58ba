// What the operator reads when a text does not convert to its column's type: what the
// column takes, with an example in the form the program reads.
#include "db/ValueText.h"

namespace db {

QString ValueText::notAValue(const QString& text, FieldType type) {
  const char* what = "";
  const char* takes = "";
  switch (basicKind(type)) {
    case BasicKind::Whole:
      what = "整數", takes = "整數（例如 12）";
      break;
    case BasicKind::Floating:
      what = "數字", takes = "數字（例如 12.5）";
      break;
    case BasicKind::Boolean:
      what = "是非值", takes = " 1（是）或 0（否）";
      break;
    case BasicKind::DateTime:
      if (type == ftDate)
        what = "日期", takes = "日期（例如 2026/01/31）";
      else if (type == ftTime)
        what = "時間", takes = "時間（例如 13:45）";
      else
        what = "日期時間", takes = "日期與時間（例如 2026/01/31 13:45）";
      break;
    default:
      return QStringLiteral("「%1」無法存入這個欄位").arg(text);
  }
  return QStringLiteral("「%1」不是%2：這個欄位只能填%3")
      .arg(text, QString::fromUtf8(what), QString::fromUtf8(takes));
}

}  // namespace db
