#include "SheetScanner.h"

#include <algorithm>
#include <string>
#include <vector>

#include "Package.h"
#include "PartParser.h"
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
  // As written, in UTF-8; this storage and the others' serve again from cell to cell.
  std::string style;
  std::string type;
  std::string value;  // <v>
  bool hasValue = false;
  QString inlineText;  // <is>
  bool hasInline = false;
  bool emptyTextFormula = false;
};

// The sheet's elements as the parser hands them out: the rows of the root's first
// <sheetData>, the cells of each row, and of each cell its value, inline text and
// formula. Everything else is passed over with all it holds.
class RowScan : public PartParser::Handler {
 public:
  RowScan(PartParser& parser, const QString& path, const QString& sheetName,
          const SharedStrings& strings, const Styles& styles, bool date1904,
          const std::function<void(const Row&)>& onRow)
      : parser_(parser),
        path_(path),
        sheetName_(sheetName),
        strings_(strings),
        styles_(styles),
        date1904_(date1904),
        onRow_(onRow) {}

  void startElement(std::string_view name, const Attributes& attributes) override;
  void endElement() override;
  void characters(std::string_view text) override;

 private:
  enum class At : char { Root, SheetData, Row, Cell, Value, Formula, Inline, InItem, Skipped };

  [[noreturn]] void badCell(const QString& what) const {
    failDamaged(path_, QStringLiteral("工作表「%1」%2").arg(sheetName_, what));
  }
  void beginRow(const Attributes& attributes);
  void endRow();
  void beginCell(const Attributes& attributes);
  void endCell();
  Cell typed(RawCell& raw) const;
  void putInColumnOrder();

  PartParser& parser_;
  const QString& path_;
  const QString& sheetName_;
  const SharedStrings& strings_;
  const Styles& styles_;
  bool date1904_;
  const std::function<void(const Row&)>& onRow_;
  std::vector<At> open_;  // the elements open, innermost last
  Row row_;
  bool ordered_ = true;
  int lastRow_ = 0;
  int lastColumn_ = -1;
  RawCell raw_;
  std::string formula_;  // <f> as written
  StringItemText item_;
};

void RowScan::startElement(std::string_view name, const Attributes& attributes) {
  At at = At::Skipped;
  if (open_.empty()) {
    at = At::Root;
  } else {
    switch (open_.back()) {
      case At::Root:
        if (name == "sheetData") at = At::SheetData;
        break;
      case At::SheetData:
        if (name == "row") {
          at = At::Row;
          beginRow(attributes);
        }
        break;
      case At::Row:
        if (name == "c") {
          at = At::Cell;
          beginCell(attributes);
        }
        break;
      case At::Cell:
        if (name == "v") {
          at = At::Value;
          raw_.value.clear();
        } else if (name == "is") {
          at = At::Inline;
          item_.begin();
        } else if (name == "f" && !raw_.hasValue) {
          at = At::Formula;
          formula_.clear();
        }
        break;
      case At::Inline:
      case At::InItem:
        at = At::InItem;
        item_.startElement(name);
        break;
      default:
        break;
    }
  }
  open_.push_back(at);
}

void RowScan::endElement() {
  const At at = open_.back();
  open_.pop_back();
  switch (at) {
    case At::SheetData:
      parser_.stop();  // the first sheetData holds the rows; nothing after it counts
      break;
    case At::Row:
      endRow();
      break;
    case At::Cell:
      endCell();
      break;
    case At::Value:
      raw_.hasValue = true;
      break;
    case At::Formula:
      // The formula, whose last result <v> holds; only its text ="" is read: a program
      // that saves formulas without their results leaves the empty text the export
      // wrote that way with nothing else.
      raw_.emptyTextFormula = formula_ == "\"\"";
      break;
    case At::Inline:
      raw_.inlineText = item_.text();
      raw_.hasInline = true;
      break;
    case At::InItem:
      item_.endElement();
      break;
    default:
      break;
  }
}

void RowScan::characters(std::string_view text) {
  switch (open_.back()) {
    case At::Value:
      raw_.value.append(text);
      break;
    case At::Formula:
      formula_.append(text);
      break;
    case At::InItem:
      item_.characters(text);
      break;
    default:
      break;
  }
}

void RowScan::beginRow(const Attributes& attributes) {
  const std::optional<std::string_view> r = attributes.find("r", false);
  if (!r || r->empty()) {
    row_.number = lastRow_ + 1;
  } else {
    const ShortText text(*r);
    const std::optional<qint64> number = parseWhole(text.view());
    if (!number || *number < 1 || *number > kMaxRows)
      badCell(QStringLiteral("的列號「%1」不正確").arg(text.view()));
    row_.number = int(*number);
  }
  if (row_.number > kMaxRows) badCell(QStringLiteral("超過 %1 列").arg(kMaxRows));
  lastRow_ = row_.number;
  row_.cells.clear();
  lastColumn_ = -1;
  ordered_ = true;
}

void RowScan::endRow() {
  if (!ordered_) putInColumnOrder();
  if (!row_.cells.empty()) onRow_(row_);
}

void RowScan::beginCell(const Attributes& attributes) {
  RawCell& raw = raw_;
  std::string_view ref;
  std::string_view style;
  std::string_view type;
  for (int i = 0; i < attributes.size(); ++i) {
    const std::string_view name = attributes.name(i);
    if (name == "r")
      ref = attributes.value(i);
    else if (name == "s")
      style = attributes.value(i);
    else if (name == "t")
      type = attributes.value(i);
  }
  raw.style.assign(style);
  raw.type.assign(type);
  int column = lastColumn_ + 1;
  if (!ref.empty()) {
    column = columnOfReference(ref);
    if (column < 0) badCell(QStringLiteral("的儲存格位置「%1」不正確").arg(QString::fromUtf8(ref)));
  }
  if (column >= kMaxColumns) badCell(QStringLiteral("的儲存格超過 %1 欄").arg(kMaxColumns));
  lastColumn_ = column;
  raw.column = column;

  raw.hasValue = false;
  raw.hasInline = false;
  raw.emptyTextFormula = false;
  raw.inlineText.clear();
  raw.value.clear();
}

void RowScan::endCell() {
  Cell cell = typed(raw_);
  if (cell.isEmpty()) return;
  cell.column = raw_.column;
  if (!row_.cells.empty() && row_.cells.back().column >= cell.column) ordered_ = false;
  row_.cells.push_back(std::move(cell));
}

Cell RowScan::typed(RawCell& raw) const {
  // The type and the value are read as written, in UTF-8: nearly every value is a
  // number or an index in ASCII, which needs no text of its own.
  std::string_view type = raw.type;
  bool hasValue = raw.hasValue;
  const std::string_view value = raw.value;
  const auto valueText = [&] { return QString::fromUtf8(value); };
  // No result, or an empty one under no type (openpyxl writes <v></v>).
  if (raw.emptyTextFormula && !raw.hasInline && value.empty() &&
      (type.empty() || type == "n" || type == "str")) {
    hasValue = true;
    type = "str";
  }

  Cell cell;
  if (type.empty() || type == "n") {
    if (hasValue) {
      if (const std::optional<double> number = parseNumber(value)) {
        cell.kind = Cell::Kind::Number;
        cell.number = *number;
        if (!raw.style.empty()) {
          const std::optional<qint64> xf = parseWhole(std::string_view(raw.style));
          cell.dateFormatted = xf && styles_.showsDate(*xf);
        }
      } else if (!isBlank(value)) {
        // Not a number after all: kept as the text it is, for the caller to name.
        cell.kind = Cell::Kind::Text;
        cell.text = valueText();
      }
    } else if (raw.hasInline) {  // an inline text whose type was left out
      cell.kind = Cell::Kind::Text;
      cell.text = std::move(raw.inlineText);
    }
  } else if (type == "s") {
    // An empty index (<v/>, as some exporters write an empty cell) is no reference.
    if (hasValue && !isBlank(value)) {
      const std::optional<qint64> i = parseWhole(value);
      if (!i || *i < 0 || *i >= strings_.size())
        badCell(QStringLiteral("的儲存格 %1%2 指向不存在的共用文字「%3」")
                    .arg(Workbook::columnName(raw.column))
                    .arg(row_.number)
                    .arg(valueText()));
      cell.kind = Cell::Kind::Text;
      cell.text = strings_.at(*i);
    }
  } else if (type == "inlineStr") {
    if (raw.hasInline || hasValue) {
      cell.kind = Cell::Kind::Text;
      cell.text = raw.hasInline ? std::move(raw.inlineText) : decodeEscapes(valueText());
    }
  } else if (type == "str") {
    if (hasValue) {
      cell.kind = Cell::Kind::Text;
      cell.text = decodeEscapes(valueText());
    }
  } else if (type == "b") {
    if (hasValue) {
      cell.kind = Cell::Kind::Boolean;
      cell.boolean = parseBoolean(ShortText(value).view());
    }
  } else if (type == "e") {
    if (hasValue) {
      cell.kind = Cell::Kind::Error;
      cell.text = valueText().trimmed();
    }
  } else if (type == "d") {
    if (hasValue) {
      const ShortText text(value);
      if (const std::optional<double> serial = serialOfIsoText(text.view(), date1904_)) {
        cell.kind = Cell::Kind::Number;
        cell.number = *serial;
        cell.dateFormatted = true;
      } else if (!isBlank(value)) {
        cell.kind = Cell::Kind::Text;
        cell.text = valueText();
      }
    }
  } else if (hasValue || raw.hasInline) {
    badCell(QStringLiteral("的儲存格 %1%2 有不明的類型「%3」")
                .arg(Workbook::columnName(raw.column))
                .arg(row_.number)
                .arg(QString::fromUtf8(type)));
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
  PartParser parser(package_, index, part);
  RowScan scan(parser, package_.path(), sheetName, strings_, styles_, date1904_, onRow);
  parser.parse(scan);
}

}  // namespace xlsx
