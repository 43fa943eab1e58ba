// A journal's entry: what posting one row does to a POS table, in the text form values travel in:
// the row's key, and for each column the text before and after (no text: NULL). An update lists the
// columns whose value changes; an append lists every column the row is given (the key among them);
// a delete lists every column of the row as it was.
#pragma once

#include <db/FieldType.h>

#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

namespace journal {

struct RowChange {
  enum class Action { Update, Append, Delete };
  // Values in their canonical form (see db::ValueText); NULL is an invalid QVariant.
  struct Cell {
    QString column;
    db::FieldType type = db::ftString;
    QVariant before;
    QVariant after;
    // The value was added on the POS (after - before is the amount), not written: an
    // undo takes back the amount, keeping what others added or took since.
    bool added = false;
    // An appended row's column the import left to the table's default: the value a new
    // row gets there. Kept so that an undo sees when someone fills it in later.
    bool defaulted = false;
  };

  QString table;
  QString keyColumn;
  QString key;
  Action action = Action::Update;
  std::vector<Cell> cells;
  // Read from a journal: the post failed in a way that leaves it unknown whether it
  // reached the POS (a timeout, a lost link, a count not reported).
  bool uncertain = false;
};

// The text a value is shown as, the same whatever the regional settings: none for NULL;
// numbers with a '.' (floats in the fewest digits that read back exactly), "True" or
// "False", dates and times as ISO 8601 with milliseconds when there are any, bytes as
// Base64, text as it is.
std::optional<QString> valueText(const QVariant& value, db::FieldType type);
// The canonical value such a text stands for.
QVariant textValue(const std::optional<QString>& text, db::FieldType type);

// Whether the dataset would write the two canonical values as different.
bool sameValue(const QVariant& a, const QVariant& b);

}  // namespace journal
