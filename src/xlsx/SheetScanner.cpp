#include "SheetScanner.h"

#include <QXmlStreamReader>
#include <algorithm>

#include "Package.h"
#include "ReadErrors.h"
#include "SharedStrings.h"
#include "Styles.h"
#include "ValueText.h"
#include "XmlText.h"

namespace xlsx {
namespace {

// What a <c> element holds, as written.
struct RawCell {
  int column = 0;
  QStringView style;
  QStringView type;
  QString value;  // <v>, its storage serving again from cell to cell
  bool hasValue = false;
  QString inlineText;  // <is>
  bool hasInline = false;
  bool emptyTextFormula = false;
};

class RowScan {
 public:
  RowScan(const QString& path, const QString& sheetName, const SharedStrings& strings,
          const Styles& styles, bool date1904)
      : path_(path),
        sheetName_(sheetName),
        strings_(strings),
        styles_(styles),
        date1904_(date1904) {}

  void scan(QXmlStreamReader& xml, const std::function<void(const Row&)>& onRow);

 private:
  [[noreturn]] void badCell(const QString& what) const {
    failDamaged(path_, QStringLiteral("工作表「%1」%2").arg(sheetName_, what));
  }
  void readRowNumber(QStringView r);
  // Reads the <c> the reader stands on into raw_; false when the XML failed.
  bool readCell(QXmlStreamReader& xml);
  Cell typed(RawCell& raw) const;
  void putInColumnOrder();

  const QString& path_;
  const QString& sheetName_;
  const SharedStrings& strings_;
  const Styles& styles_;
  bool date1904_;
  Row row_;
  int lastRow_ = 0;
  int lastColumn_ = -1;
  QXmlStreamAttributes attributes_;  // the current cell's, which raw_'s views point into
  RawCell raw_;
};

void RowScan::scan(QXmlStreamReader& xml, const std::function<void(const Row&)>& onRow) {
  while (xml.readNextStartElement()) {
    if (xml.name() != u"row") {
      xml.skipCurrentElement();
      continue;
    }
    readRowNumber(xml.attributes().value(QLatin1StringView("r")));
    row_.cells.clear();
    lastColumn_ = -1;
    bool ordered = true;
    while (xml.readNextStartElement()) {
      if (xml.name() != u"c") {
        xml.skipCurrentElement();
        continue;
      }
      if (!readCell(xml)) return;
      Cell cell = typed(raw_);
      if (cell.isEmpty()) continue;
      cell.column = raw_.column;
      if (!row_.cells.empty() && row_.cells.back().column >= cell.column) ordered = false;
      row_.cells.push_back(std::move(cell));
    }
    if (xml.hasError()) return;
    if (!ordered) putInColumnOrder();
    if (!row_.cells.empty()) onRow(row_);
  }
}

void RowScan::readRowNumber(QStringView r) {
  if (r.isEmpty()) {
    row_.number = lastRow_ + 1;
  } else {
    const std::optional<qint64> number = parseWhole(r);
    if (!number || *number < 1 || *number > kMaxRows)
      badCell(QStringLiteral("的列號「%1」不正確").arg(r));
    row_.number = int(*number);
  }
  if (row_.number > kMaxRows) badCell(QStringLiteral("超過 %1 列").arg(kMaxRows));
  lastRow_ = row_.number;
}

bool RowScan::readCell(QXmlStreamReader& xml) {
  RawCell& raw = raw_;
  QStringView ref;
  raw.style = {};
  raw.type = {};
  // The reader's own attributes go when it moves on to the cell's values.
  attributes_ = xml.attributes();
  for (const QXmlStreamAttribute& a : attributes_) {
    const QStringView name = a.name();
    if (name == u"r")
      ref = a.value();
    else if (name == u"s")
      raw.style = a.value();
    else if (name == u"t")
      raw.type = a.value();
  }
  int column = lastColumn_ + 1;
  if (!ref.isEmpty()) {
    column = columnOfReference(ref);
    if (column < 0) badCell(QStringLiteral("的儲存格位置「%1」不正確").arg(ref));
  }
  if (column >= kMaxColumns) badCell(QStringLiteral("的儲存格超過 %1 欄").arg(kMaxColumns));
  lastColumn_ = column;
  raw.column = column;

  raw.hasValue = false;
  raw.hasInline = false;
  raw.emptyTextFormula = false;
  raw.inlineText.clear();
  raw.value.resize(0);
  while (xml.readNextStartElement()) {
    const QStringView name = xml.name();
    if (name == u"v") {
      readTextInto(xml, raw.value);
      raw.hasValue = true;
    } else if (name == u"is") {
      raw.inlineText = readStringItem(xml);
      raw.hasInline = true;
    } else if (name == u"f" && !raw.hasValue) {
      // The formula, whose last result <v> holds; only its text ="" is read: a
      // program that saves formulas without their results leaves the empty text
      // the export wrote that way with nothing else.
      raw.emptyTextFormula =
          xml.readElementText(QXmlStreamReader::SkipChildElements) == QLatin1String("\"\"");
    } else {
      xml.skipCurrentElement();
    }
  }
  return !xml.hasError();
}

Cell RowScan::typed(RawCell& raw) const {
  QStringView type = raw.type;
  bool hasValue = raw.hasValue;
  const QString& value = raw.value;
  // No result, or an empty one under no type (openpyxl writes <v></v>).
  if (raw.emptyTextFormula && !raw.hasInline && value.isEmpty() &&
      (type.isEmpty() || type == u"n" || type == u"str")) {
    hasValue = true;
    type = u"str";
  }

  Cell cell;
  if (type.isEmpty() || type == u"n") {
    if (hasValue) {
      if (const std::optional<double> number = parseNumber(value)) {
        cell.kind = Cell::Kind::Number;
        cell.number = *number;
        if (!raw.style.isEmpty()) {
          const std::optional<qint64> xf = parseWhole(raw.style);
          cell.dateFormatted = xf && styles_.showsDate(*xf);
        }
      } else if (!value.trimmed().isEmpty()) {
        // Not a number after all: kept as the text it is, for the caller to name.
        cell.kind = Cell::Kind::Text;
        cell.text = value;
      }
    } else if (raw.hasInline) {  // an inline text whose type was left out
      cell.kind = Cell::Kind::Text;
      cell.text = std::move(raw.inlineText);
    }
  } else if (type == u"s") {
    // An empty index (<v/>, as some exporters write an empty cell) is no reference.
    if (hasValue && !value.trimmed().isEmpty()) {
      const std::optional<qint64> i = parseWhole(value);
      if (!i || *i < 0 || *i >= strings_.size())
        badCell(QStringLiteral("的儲存格 %1%2 指向不存在的共用文字「%3」")
                    .arg(Workbook::columnName(raw.column))
                    .arg(row_.number)
                    .arg(value));
      cell.kind = Cell::Kind::Text;
      cell.text = strings_.at(*i);
    }
  } else if (type == u"inlineStr") {
    if (raw.hasInline || hasValue) {
      cell.kind = Cell::Kind::Text;
      cell.text = raw.hasInline ? std::move(raw.inlineText) : decodeEscapes(value);
    }
  } else if (type == u"str") {
    if (hasValue) {
      cell.kind = Cell::Kind::Text;
      cell.text = decodeEscapes(value);
    }
  } else if (type == u"b") {
    if (hasValue) {
      cell.kind = Cell::Kind::Boolean;
      cell.boolean = parseBoolean(value);
    }
  } else if (type == u"e") {
    if (hasValue) {
      cell.kind = Cell::Kind::Error;
      cell.text = value.trimmed();
    }
  } else if (type == u"d") {
    if (hasValue) {
      if (const std::optional<double> serial = serialOfIsoText(value, date1904_)) {
        cell.kind = Cell::Kind::Number;
        cell.number = *serial;
        cell.dateFormatted = true;
      } else if (!value.trimmed().isEmpty()) {
        cell.kind = Cell::Kind::Text;
        cell.text = value;
      }
    }
  } else if (hasValue || raw.hasInline) {
    badCell(QStringLiteral("的儲存格 %1%2 有不明的類型「%3」")
                .arg(Workbook::columnName(raw.column))
                .arg(row_.number)
                .arg(type));
  }
  return cell;
}

// Cells written out of column order, or one column twice: by column, the last written
// of a column standing.
void RowScan::putInColumnOrder() {
  std::vector<Cell>& cells = row_.cells;
  std::stable_sort(cells.begin(), cells.end(),
                   [](const Cell& a, const Cell& b) { return a.column < b.column; });
  std::vector<Cell> kept;
  kept.reserve(cells.size());
  for (size_t i = 0; i < cells.size(); ++i)
    if (i + 1 == cells.size() || cells[i + 1].column != cells[i].column)
      kept.push_back(std::move(cells[i]));
  cells = std::move(kept);
}

}  // namespace

void SheetScanner::scan(const QString& sheetName, const QString& part,
                        const std::function<void(const Row&)>& onRow) const {
  // A sheet the workbook's relationships lead nowhere has no part of its own to read.
  if (part.isEmpty())
    failDamaged(package_.path(), QStringLiteral("找不到工作表「%1」的內容").arg(sheetName));
  const zip_int64_t index = package_.locate(part);
  if (index < 0)
    failDamaged(package_.path(),
                QStringLiteral("找不到工作表「%1」的內容 %2").arg(sheetName, part));
  package_.readPart(index, part, [&](QXmlStreamReader& xml) {
    if (!xml.isStartElement()) return;
    bool found = false;
    while (!found && xml.readNextStartElement()) {
      if (xml.name() == u"sheetData")
        found = true;
      else
        xml.skipCurrentElement();
    }
    if (!found) return;
    RowScan(package_.path(), sheetName, strings_, styles_, date1904_).scan(xml, onRow);
  });
}

}  // namespace xlsx
