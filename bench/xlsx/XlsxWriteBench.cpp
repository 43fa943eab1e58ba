// Writes an Item-like table (23 columns: texts with Chinese names and keys with leading
// zeros, prices, average costs that need all 17 digits, counts, dates, a flag) to a
// workbook and prints the rows per second, the commit (closing, flushing, renaming)
// included, against the floor of the same cells handed to the library straight. The rows
// are made before the clock starts; 4,096 of them are used in turn.
#include <platform/Error.h>
#include <xlsx/XlsxWriter.h>

#include <sys/resource.h>
#include <xlsxwriter.h>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using xlsx::Column;
using xlsx::ColumnKind;

std::vector<Column> itemColumns() {
  const auto text = [](const char* h) { return Column{QString::fromUtf8(h), ColumnKind::Text}; };
  return {text("管理貨號"),
          text("國際碼"),
          text("自訂碼"),
          text("品名"),
          text("規格"),
          text("是否為健保用藥"),
          text("應商代號"),
          text("稅別"),
          {QStringLiteral("建檔日期"), ColumnKind::DateTime, true},
          {QStringLiteral("最新進價"), ColumnKind::Float},
          text("大單位"),
          text("單位"),
          {QStringLiteral("大轉中關係"), ColumnKind::Whole},
          {QStringLiteral("庫存量"), ColumnKind::Whole},
          text("貨架"),
          {QStringLiteral("平均成本"), ColumnKind::Float},
          {QStringLiteral("售價"), ColumnKind::Float},
          {QStringLiteral("會員價格"), ColumnKind::Float},
          {QStringLiteral("VIP價格"), ColumnKind::Float},
          {QStringLiteral("修改日期"), ColumnKind::DateTime},
          text("許可證字號"),
          text("備註"),
          {QStringLiteral("停用"), ColumnKind::Boolean}};
}

std::vector<QVariant> itemRow(int n, QRandomGenerator& random) {
  static const QString kNames[] = {QStringLiteral("維他命Ｃ發泡錠"), QStringLiteral("綜合感冒糖漿"),
                                   QStringLiteral("兒童益生菌粉"), QStringLiteral("葡萄糖胺錠")};
  const double price = double(random.bounded(10, 3000)) + (random.bounded(2) ? 0.5 : 0.0);
  const QDate made = QDate(2015, 1, 1).addDays(random.bounded(3000));
  return {QStringLiteral("%1").arg(n, 8, 10, QLatin1Char('0')),
          QStringLiteral("471%1").arg(random.bounded(1000000000), 10, 10, QLatin1Char('0')),
          QStringLiteral("S%1").arg(n),
          kNames[n % 4] + QString::number(n % 97),
          QStringLiteral("%1錠/盒").arg(random.bounded(10, 120)),
          QStringLiteral("N"),
          QStringLiteral("%1").arg(random.bounded(1000), 4, 10, QLatin1Char('0')),
          QStringLiteral("應稅"),
          QDateTime(made, QTime(0, 0)),
          price * 0.7,
          QStringLiteral("盒"),
          QStringLiteral("錠"),
          qint64(random.bounded(1, 24)),
          qint64(random.bounded(-5, 500)),
          QStringLiteral("A%1").arg(n % 50, 2, 10, QLatin1Char('0')),
          price * 0.7 * double(random.bounded(1, 9)) / 3.0,  // an average: often 17 digits
          price,
          price * 0.95,
          price * 0.9,
          QDateTime(made.addDays(random.bounded(400)),
                    QTime::fromMSecsSinceStartOfDay(random.bounded(86400) * 1000)),
          n % 3 ? QString() : QStringLiteral("衛署藥製字第%1號").arg(random.bounded(100000)),
          n % 5 ? QString("") : QStringLiteral("停售"),
          n % 17 == 0};
}

// Wall-clock and processor seconds (user and system) since it was made: the machine may
// be shared, and the processor time is what the writer itself costs.
struct Clock {
  QElapsedTimer wall;
  double cpu0 = cpu();
  Clock() { wall.start(); }
  static double cpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  }
  double wallSeconds() const { return double(wall.nsecsElapsed()) / 1e9; }
  double cpuSeconds() const { return cpu() - cpu0; }
};

void report(const char* what, int rows, const Clock& clock, const QString& path) {
  std::printf("%-8s %d rows: %.3f s, %.0f rows/s (processor %.3f s, %.0f rows/s), %.1f MB\n", what,
              rows, clock.wallSeconds(), rows / clock.wallSeconds(), clock.cpuSeconds(),
              rows / clock.cpuSeconds(), double(QFileInfo(path).size()) / (1 << 20));
}

// The floor: the same cells handed to the library straight, already in UTF-8 and serial
// numbers, with the same formats, in constant memory; no checks, no temporary name.
void libraryFloor(const std::vector<std::vector<QVariant>>& made, int rows, const QString& path) {
  struct Cell {
    int type = 0;  // 0 none, 1 text, 2 number, 3 boolean, 4 date
    std::string text;
    double number = 0;
  };
  std::vector<std::vector<Cell>> cells;
  for (const auto& row : made) {
    auto& out = cells.emplace_back();
    for (const QVariant& v : row) {
      Cell c;
      switch (v.metaType().id()) {
        case QMetaType::QString:
          c = {1, v.toString().toStdString()};
          break;
        case QMetaType::Bool:
          c = {3, {}, double(v.toBool())};
          break;
        case QMetaType::QDateTime: {
          const QDateTime t = v.toDateTime();
          c = {4,
               {},
               double(QDate(1899, 12, 30).daysTo(t.date()) * 86400000 +
                      t.time().msecsSinceStartOfDay()) /
                   86400000.0};
          break;
        }
        default:
          c = {2, {}, v.toDouble()};
      }
      out.push_back(c);
    }
  }
  const QByteArray file = QFile::encodeName(path);
  QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.tmpdir = folder.data();
  lxw_workbook* book = workbook_new_opt(file.constData(), &options);
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Item");
  lxw_format* text = workbook_add_format(book);
  format_set_num_format(text, "@");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy/mm/dd hh:mm:ss");
  for (int n = 0; n < rows; ++n) {
    const auto& row = cells[size_t(n) % cells.size()];
    for (lxw_col_t col = 0; col < row.size(); ++col) {
      const Cell& c = row[col];
      if (c.type == 1 && c.text.empty())
        worksheet_write_formula_str(sheet, lxw_row_t(n + 1), col, "=\"\"", text, "");
      else if (c.type == 1)
        worksheet_write_string(sheet, lxw_row_t(n + 1), col, c.text.c_str(), text);
      else if (c.type == 2)
        worksheet_write_number(sheet, lxw_row_t(n + 1), col, c.number, nullptr);
      else if (c.type == 3)
        worksheet_write_boolean(sheet, lxw_row_t(n + 1), col, int(c.number), nullptr);
      else if (c.type == 4)
        worksheet_write_number(sheet, lxw_row_t(n + 1), col, c.number, date);
    }
  }
  workbook_close(book);
}

}  // namespace

int main(int argc, char** argv) {
  int rows = 100000;
  QString keep;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--rows") && i + 1 < argc) {
      rows = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) {
      keep = QString::fromLocal8Bit(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--rows N] [--keep FILE]\n", argv[0]);
      return 2;
    }
  }
  QRandomGenerator random(20240229);
  std::vector<std::vector<QVariant>> made;
  for (int n = 0; n < 4096; ++n) made.push_back(itemRow(n, random));

  QTemporaryDir dir;
  const QString path = keep.isEmpty() ? dir.filePath(QStringLiteral("Item.xlsx")) : keep;
  {
    const Clock clock;
    try {
      xlsx::SheetWriter writer(path, QStringLiteral("Item"), itemColumns());
      for (int n = 0; n < rows; ++n) writer.addRow(made[size_t(n) % made.size()]);
      writer.commit();
    } catch (const platform::Error& e) {
      std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
      return 1;
    }
    report("writer", rows, clock, path);
  }
  const QString floorPath = dir.filePath(QStringLiteral("floor.xlsx"));
  const Clock clock;
  libraryFloor(made, rows, floorPath);
  report("library", rows, clock, floorPath);
  return 0;
}
