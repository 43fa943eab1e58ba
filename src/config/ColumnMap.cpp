#include "config/ColumnMap.h"

#include <platform/IniFile.h>
#include <platform/ProgramFolder.h>

#include <optional>

namespace config {
namespace {

const QString kTotal = QStringLiteral("Total");
const QString kCol = QStringLiteral("Col");
const QString kPKey = QStringLiteral("PKey");
const QString kField = QStringLiteral("Field");
const QString kDisplay = QStringLiteral("Display");

// An entry that is absent reads differently from one holding empty text only in
// whether the pair list goes on; the marker cannot be a value, which never holds a
// line break.
const QString kAbsent = QStringLiteral("\n");

QString numberedKey(const char* prefix, int number) {
  return QString::asprintf("%s%.2d", prefix, number);
}

}  // namespace

QString ColumnMap::pathOf(const QString& table) {
  return platform::programFolder() + table + QStringLiteral(".ini");
}

QString ColumnMap::nameKey(int number) {
  return numberedKey("Name", number);
}

QString ColumnMap::labelKey(int number) {
  return numberedKey("Label", number);
}

ColumnMap ColumnMap::read(const QString& path) {
  const platform::IniSnapshot file = platform::IniFile(path).snapshot();
  ColumnMap map;
  map.count_ = file.readInteger(kTotal, kCol, 0);
  map.keyField_ = file.readString(kPKey, kField, QString());
  map.keyDisplay_ = file.readString(kPKey, kDisplay, QString());
  for (int i = 1; i <= map.count_; ++i) {
    QString field = file.readString(kField, nameKey(i), kAbsent);
    const bool end = field == kAbsent;
    if (end) field.clear();
    map.pairs_.push_back({field, file.readString(kDisplay, labelKey(i), QString())});
    if (end) break;
  }
  return map;
}

void ColumnMap::write(const QString& path) const {
  std::vector<platform::IniEntry> entries;
  entries.reserve(3 + 2 * pairs_.size());
  entries.push_back({kTotal, kCol, QString::number(count_)});
  entries.push_back({kPKey, kField, keyField_});
  entries.push_back({kPKey, kDisplay, keyDisplay_});
  for (size_t i = 0; i < pairs_.size(); ++i) {
    entries.push_back({kField, nameKey(int(i) + 1), pairs_[i].field});
    entries.push_back({kDisplay, labelKey(int(i) + 1), pairs_[i].display});
  }
  // Private to its owner, as the exchange file beside it; an existing file keeps its mode.
  platform::IniFile file(path);
  file.setCreateMode(0600);
  file.writeStrings(entries);
}

void ColumnMap::setKey(const QString& field, const QString& display) {
  keyField_ = field;
  keyDisplay_ = display;
}

void ColumnMap::addPair(const QString& field, const QString& display) {
  pairs_.push_back({field, display});
  count_ = int(pairs_.size());
}

}  // namespace config
