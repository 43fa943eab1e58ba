// Spreadsheet programs keep a float with 15 significant digits when they save a
// workbook: LibreOffice Calc writes 715.7238000000001 back as 715.7238. A workbook the
// operator only opened and saved must bring back no edit.
#pragma once

#include <db/FieldType.h>

#include <QVariant>

namespace dataimport {

// Whether `fromFile`, the value a file cell gives a column of type `type`, is `kept` (the
// POS's value, or the value exported) as such a save leaves it: both floats, equal when
// rounded to 15 significant digits. Never for another kind of column, where only the
// same value is the same.
bool resavedAlike(db::FieldType type, const QVariant& fromFile, const QVariant& kept);

}  // namespace dataimport
