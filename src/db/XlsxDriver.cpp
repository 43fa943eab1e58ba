// An Excel workbook read as the import reads an Access file: "select * from [Item]"
// gives the sheet of that name (or, without one, the first sheet), its first row with a
// value naming the columns and every row after it that holds a value. Cells come as
// the texts the import converts by the POS column's type (see SheetCellText), empty
// cells as NULL.
#include "Driver.h"
#include "SheetCellText.h"

#include <platform/Error.h>
#include <platform/Handoff.h>
#include <xlsx/XlsxReader.h>

#include <QRegularExpression>
#include <algorithm>
#include <optional>
#include <span>
#include <thread>

namespace db {
namespace {

// Rows as the reader hands them over, their cells in one vector.
struct RowBatch {
  struct Row {
    int number;  // the sheet's
    size_t end;  // of its cells in `cells`
  };
  std::vector<Row> rows;
  std::vector<xlsx::Cell> cells;

  // Emptied for the next rows, its storage kept.
  void clear() {
    rows.clear();
    cells.clear();
  }
};
constexpr size_t kBatchRows = 256;
constexpr size_t kBatches = 8;

// The column of the header row's last cell that names a column, -1 for none.
int lastHeadingOf(const xlsx::Row& header, bool date1904) {
  int last = -1;
  for (const xlsx::Cell& cell : header.cells) {
    bool null = false;
    if (!sheetCellText(cell, date1904, null).trimmed().isEmpty())
      last = std::max(last, cell.column);
  }
  return last;
}

class XlsxDriver : public Driver {
 public:
  explicit XlsxDriver(const QString& path) : path_(path) {}

  void open() override { book_ = std::make_unique<xlsx::Workbook>(path_); }
  void close() override { book_.reset(); }
  bool isOpen() const override { return book_ != nullptr; }
  QStringList tableNames() override { return workbook().sheetNames(); }

  ResultSet select(const QString& sql) override {
    static const QRegularExpression re(
        QStringLiteral(
            R"(^\s*select\s+\*\s+from\s+(\[(?:[^\]]|\]\])+\]|[^\s\[\]\(\),;]+)\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(sql);
    if (!m.hasMatch())
      throw platform::Error(QStringLiteral("Unsupported statement for a workbook: %1").arg(sql));
    QString sheet = m.captured(1);
    if (sheet.startsWith(u'['))
      sheet = sheet.mid(1, sheet.size() - 2).replace(QStringLiteral("]]"), QStringLiteral("]"));
    if (sheet.endsWith(u'$')) sheet.chop(1);  // the sheet as OLE DB names it: [Item$]
    const xlsx::Workbook& book = workbook();
    const bool date1904 = book.date1904();
    // The sheet named like the table, else the first.
    QString chosen;
    for (const QString& name : book.sheetNames())
      if (name.compare(sheet, Qt::CaseInsensitive) == 0) chosen = name;
    ResultSet rs;
    std::vector<int> columnOf;  // sheet column -> result column, -1: no header
    bool header = true;
    const auto take = [&](int number, std::span<xlsx::Cell> cells) {
      if (header) {
        bool any = false;
        for (const xlsx::Cell& c : cells) any = any || !c.isEmpty();
        if (!any) return;
        header = false;
        for (const xlsx::Cell& cell : cells) {
          bool null = false;
          const QString name = sheetCellText(cell, date1904, null).trimmed();
          if (name.isEmpty()) continue;
          if (size_t(cell.column) >= columnOf.size()) columnOf.resize(size_t(cell.column) + 1, -1);
          columnOf[size_t(cell.column)] = int(rs.columns.size());
          ColumnInfo c;
          c.name = name;
          c.type = ftMemo;
          c.sourceColumn = xlsx::Workbook::columnName(cell.column);
          c.serialDates = date1904 ? 1904 : 1900;
          rs.columns.push_back(c);
        }
        return;
      }
      rs.sourceRows.push_back(number);
      // The cells come by column and the headings were numbered by column, so the row's
      // values are added in order, each made once where it belongs.
      size_t filled = 0;
      for (xlsx::Cell& cell : cells) {
        if (size_t(cell.column) >= columnOf.size() || columnOf[size_t(cell.column)] < 0) continue;
        const size_t at = size_t(columnOf[size_t(cell.column)]);
        if (at < filled) continue;  // not so for cells in column order, as the scanner gives
        for (; filled < at; ++filled) rs.cells.emplace_back();
        bool null = false;
        // The batch is this thread's to empty: a text moves on without a copy.
        QString text = cell.kind == xlsx::Cell::Kind::Text ? std::move(cell.text)
                                                           : sheetCellText(cell, date1904, null);
        if (null)
          rs.cells.emplace_back();
        else
          rs.cells.emplace_back(std::move(text));
        ++filled;
      }
      for (; filled < rs.columns.size(); ++filled) rs.cells.emplace_back();
    };

    // The sheet is unzipped and parsed on a thread of its own while this one turns the
    // cells into texts: on two cores the parsing, most of the work, hides the rest. The
    // batches go back and forth between the two, so that neither a row nor a batch costs
    // an allocation once the first have been filled.
    struct Stopped {};
    platform::Handoff<RowBatch> filled(kBatches);
    platform::Handoff<RowBatch> spare(kBatches);
    for (size_t i = 0; i < kBatches; ++i) spare.push(RowBatch{});
    std::thread reader([&] {
      try {
        std::optional<RowBatch> batch = spare.pop();
        if (!batch) throw Stopped{};
        // Only the cells under a heading travel: a row's values past the last heading
        // are read by nobody, and a sheet may hold one far out on every row.
        std::optional<int> lastHeading;
        book.forEachRow(chosen, [&](const xlsx::Row& row) {
          if (!lastHeading) {
            if (std::all_of(row.cells.begin(), row.cells.end(),
                            [](const xlsx::Cell& c) { return c.isEmpty(); }))
              return;
            lastHeading = lastHeadingOf(row, date1904);
            batch->cells.insert(batch->cells.end(), row.cells.begin(), row.cells.end());
          } else {
            for (const xlsx::Cell& c : row.cells)
              if (c.column <= *lastHeading) batch->cells.push_back(c);
          }
          batch->rows.push_back({row.number, batch->cells.size()});
          if (batch->rows.size() == kBatchRows) {
            if (!filled.push(std::move(*batch))) throw Stopped{};
            batch = spare.pop();
            if (!batch) throw Stopped{};
            batch->clear();
          }
        });
        if (!batch->rows.empty()) filled.push(std::move(*batch));
        filled.close();
      } catch (const Stopped&) {
      } catch (...) {
        filled.fail(std::current_exception());
      }
    });
    struct Join {
      platform::Handoff<RowBatch>& filled;
      platform::Handoff<RowBatch>& spare;
      std::thread& reader;
      ~Join() {
        filled.stop();
        spare.close();
        reader.join();
      }
    } join{filled, spare, reader};
    while (std::optional<RowBatch> batch = filled.pop()) {
      size_t begin = 0;
      for (const auto& [number, end] : batch->rows) {
        take(number, std::span<xlsx::Cell>(batch->cells).subspan(begin, end - begin));
        begin = end;
      }
      spare.push(std::move(*batch));
    }
    return rs;
  }

  qint64 execute(const QString&) override { refuse(); }
  std::unique_ptr<Statement> prepare(const QString&, const std::vector<FieldType>&) override {
    refuse();
  }
  QStringList primaryKey(const QString&) override { return {}; }

 private:
  const xlsx::Workbook& workbook() {
    if (!book_) open();
    return *book_;
  }
  [[noreturn]] void refuse() const {
    throw platform::Error(QStringLiteral("A workbook is read only: %1").arg(path_));
  }

  QString path_;
  std::unique_ptr<xlsx::Workbook> book_;
};

}  // namespace

QDateTime spreadsheetDate(double serial, int dateSystem) {
  return xlsx::Workbook::dateOf(serial, dateSystem == 1904);
}

std::unique_ptr<Driver> makeXlsxDriver(const QString& path) {
  return std::make_unique<XlsxDriver>(path);
}

}  // namespace db
