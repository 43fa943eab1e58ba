#include "xlsx/XlsxWriter.h"

#include <platform/EditorLock.h>
#include <platform/Error.h>
#include <platform/Handoff.h>

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

namespace xlsx {
namespace {

constexpr qint64 kMsPerDay = 86400000;
// The largest whole number a cell keeps through every spreadsheet program: LibreOffice
// Calc saves numbers with 15 significant digits (1234567890123456 comes back as
// 1234567890123460), and a whole number read back other than exported is an edit.
constexpr qint64 kLargestExactWhole = 999'999'999'999'999;
// No column is made wider than this to fit its label or its texts.
constexpr int kWidest = 60;
// Rows handed to the library's thread at a time, and batches that may wait for it.
constexpr size_t kBatchRows = 256;
constexpr size_t kBatchesQueued = 4;

// A number cell whose digits are put in after the library wrote it (see copyWithDigits).
struct FullDigits {
  using Text = std::array<char, 32>;  // NUL-terminated
  lxw_row_t row = 0;
  lxw_col_t col = 0;
  Text digits{};
};

QString writeError(const QString& path, const QString& reason) {
  return QStringLiteral("無法寫入檔案 %1：%2").arg(path, reason);
}

QString reasonOf(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return QStringLiteral("磁碟空間不足");
    case EACCES:
    case EPERM:
    case EROFS:
      return QStringLiteral("這個資料夾是唯讀的，或沒有寫入的權限");
    case EBUSY:
    case ETXTBSY:
      return QStringLiteral("檔案正由其他程式使用中，請先關閉後再試");
    case EFBIG:
      return QStringLiteral("檔案超過系統允許的大小");
    case ENOMEM:
      return QStringLiteral("記憶體不足");
    case EIO:
      return QStringLiteral("磁碟讀寫錯誤");
    default:
      return QString::fromLocal8Bit(std::strerror(error));
  }
}

// Write errors that surface late (a flush, the library's own files) often come without
// a usable errno; a folder left with almost no room says what happened.
int likelyCause(int error, const QByteArray& folder) {
  if (error == ENOSPC || error == EDQUOT) return error;
  struct statvfs fs {};
  if (::statvfs(folder.constData(), &fs) == 0 && fs.f_bavail * fs.f_frsize < (1u << 20))
    return ENOSPC;
  return error != 0 ? error : EIO;
}

QString libraryReason(lxw_error error) {
  if (error == LXW_ERROR_MEMORY_MALLOC_FAILED) return reasonOf(ENOMEM);
  return QString::fromUtf8(lxw_strerror(error));
}

// Why the file cannot be replaced now that a spreadsheet program holds it, or an empty
// string.
QString heldReason(const QString& target) {
  const QString lock = platform::editorLockOf(target);
  if (lock.isEmpty()) return QString();
  return QStringLiteral("檔案正由其他程式開啟，請先關閉後再試（若沒有程式開著它，請刪除 %1）")
      .arg(lock);
}

// East Asian wide and full-width characters take two columns of a cell.
bool isWide(char16_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6);
}

// Width of `text` in character columns, counted up to `cap`. A character outside the
// basic plane is a surrogate pair and counts as two, as it shows.
int displayWidth(const QString& text, int cap) {
  int width = 0;
  for (const QChar c : text) {
    width += isWide(c.unicode()) ? 2 : 1;
    if (width >= cap) return cap;
  }
  return width;
}

int narrowestFor(const Column& column) {
  switch (column.kind) {
    case ColumnKind::Text:
      return 8;
    case ColumnKind::Whole:
      return 10;
    case ColumnKind::Float:
      return 12;
    case ColumnKind::Boolean:
      return 7;
    case ColumnKind::DateTime:
      return column.dateOnly ? 11 : 20;
  }
  return 8;
}

bool isHex(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The file format writes a character XML cannot hold as "_xHHHH_" (the library does so
// for control characters and carriage returns), so a text that reads like such an escape
// has its underscore escaped ("_x005F_"), as Excel does, to read back as written.
QString withEscapedUnderscores(const QString& text) {
  if (!text.contains(u"_x")) return text;
  QString out;
  out.reserve(text.size() + 6);
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && isHex(text[i + 2]) &&
        isHex(text[i + 3]) && isHex(text[i + 4]) && isHex(text[i + 5]) && text[i + 6] == u'_')
      out += QStringLiteral("_x005F");
    out += text[i];
  }
  return out;
}

// The library prints a number with 16 significant digits, which do not give every
// double back (1123.6979999999999 would read as 1123.698). For such a number, the
// shortest digits that do; empty when the library's own are exact.
FullDigits::Text digitsBeyond16(double x) {
  FullDigits::Text text{};
  char digits[32];
  auto printed = std::to_chars(digits, digits + sizeof digits, x, std::chars_format::general, 16);
  double back = 0;
  std::from_chars(digits, printed.ptr, back);
  if (std::bit_cast<std::uint64_t>(back) == std::bit_cast<std::uint64_t>(x)) return text;
  printed = std::to_chars(text.data(), text.data() + text.size() - 1, x);
  *printed.ptr = 0;
  return text;
}

// Copies the library's rows from `from` to `to`, giving each number cell of `fixes` (in
// the order the library writes cells) the digits it holds in place of the library's.
// False on a read or write error (errno tells), or when a cell is not where expected.
bool copyWithDigits(std::FILE* from, std::FILE* to, const std::vector<FullDigits>& fixes) {
  constexpr size_t kChunk = 1 << 16;
  std::string window;  // read, not yet copied from `at` on
  size_t at = 0;
  bool end = false;
  auto readMore = [&] {
    window.erase(0, at);
    at = 0;
    const size_t kept = window.size();
    window.resize(kept + kChunk);
    const size_t got = std::fread(window.data() + kept, 1, kChunk, from);
    window.resize(kept + got);
    end = got == 0;
    return !std::ferror(from);
  };
  auto copy = [&](size_t until) {
    const bool ok = std::fwrite(window.data() + at, 1, until - at, to) == until - at;
    at = until;
    return ok;
  };
  for (const FullDigits& fix : fixes) {
    char name[LXW_MAX_CELL_NAME_LENGTH];
    lxw_rowcol_to_cell(name, fix.row, fix.col);
    const std::string opening = std::string("<c r=\"") + name + '"';
    for (;;) {
      const size_t cell = window.find(opening, at);
      if (cell == std::string::npos) {
        // Keep what could be the start of the cell's opening.
        if (window.size() - at >= opening.size() && !copy(window.size() - opening.size() + 1))
          return false;
      } else {
        // A number cell: <c r="B2" s="1"><v>1123.698</v></c>
        const size_t tagEnd = window.find('>', cell);
        const size_t value = tagEnd == std::string::npos ? tagEnd : tagEnd + 1;
        const size_t valueEnd = window.find("</v>", cell);
        if (valueEnd != std::string::npos) {
          if (window.compare(value, 3, "<v>") != 0 || valueEnd < value) return false;
          if (!copy(value + 3)) return false;
          const size_t length = std::strlen(fix.digits.data());
          if (std::fwrite(fix.digits.data(), 1, length, to) != length) return false;
          at = valueEnd;
          break;
        }
      }
      if (!readMore() || end) return false;
    }
  }
  for (;;) {
    if (!copy(window.size()) || !readMore()) return false;
    if (end) return true;
  }
}

QString shortestText(double x) {
  char digits[32];
  const auto printed = std::to_chars(digits, digits + sizeof digits, x);
  return QString::fromLatin1(digits, printed.ptr - digits);
}

// The library prints numbers with the C library's printf, which follows the thread's
// locale; a locale with a decimal comma would make them unreadable. Its calls run with
// the C locale in force for this thread.
class CNumbers {
 public:
  CNumbers() : previous_(::uselocale(cLocale())) {}
  ~CNumbers() { ::uselocale(previous_); }
  CNumbers(const CNumbers&) = delete;
  CNumbers& operator=(const CNumbers&) = delete;

 private:
  static locale_t cLocale() {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
  }
  locale_t previous_;
};

void syncFolder(const QByteArray& folder) {
  const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

QString validSheetName(const QString& name) {
  static const QString kForbidden = QStringLiteral("[]:*?/\\");
  QString sheet = name;
  for (QChar& c : sheet)
    if (kForbidden.contains(c)) c = u'_';
  while (sheet.startsWith(u'\'')) sheet.remove(0, 1);
  if (sheet.size() > 31) {
    sheet.truncate(31);
    if (sheet.back().isHighSurrogate()) sheet.chop(1);
  }
  while (sheet.endsWith(u'\'')) sheet.chop(1);
  return sheet.isEmpty() ? QStringLiteral("Sheet1") : sheet;
}

// A cell as the library takes it, made ready on the caller's thread.
struct Prepared {
  enum class Kind : std::uint8_t { None, Text, EmptyText, Number, Boolean };
  Kind kind = Kind::None;
  lxw_format* format = nullptr;
  double number = 0;
  QByteArray text;  // UTF-8; for a number, its full digits where the library's fall short
};

// Rows for the library, a value per column each.
struct Batch {
  lxw_row_t firstRow = 0;
  std::vector<Prepared> cells;
};

struct SheetWriter::Impl {
  QString path;       // as the operator knows it, for the messages
  QString target;     // the file replaced: `path` through any symbolic link
  QByteArray folder;  // of the target; the temporary files go there
  QByteArray temp;    // the workbook until commit(), removed unless committed
  std::vector<Column> columns;
  std::vector<int> widest;  // widest text written per column
  lxw_workbook* book = nullptr;
  lxw_worksheet* sheet = nullptr;
  lxw_format* bold = nullptr;
  lxw_format* text = nullptr;
  std::vector<lxw_format*> cellFormat;  // per column, for its own kind of value
  lxw_row_t row = 1;
  bool committed = false;

  // The library's calls for the rows (formatting numbers, writing its file) run on a
  // thread of their own, beside the caller's reading and converting of the next rows.
  // Only that thread calls the library between start() and finish().
  Batch pending;
  std::optional<platform::Handoff<Batch>> handoff;
  std::thread writer;
  // What the library refused, and where; set by the writer thread before it stops.
  lxw_error refused = LXW_NO_ERROR;
  lxw_row_t errorRow = 0;
  lxw_col_t errorColumn = 0;
  // Number cells the library printed short, in the order it wrote them; the writer
  // thread's until finish().
  std::vector<FullDigits> fullDigits;

  ~Impl() { abandon(); }

  void start() {
    handoff.emplace(kBatchesQueued);
    writer = std::thread([this] { writeBatches(); });
  }

  void writeBatches() {
    const CNumbers numbers;
    const size_t width = columns.size();
    while (std::optional<Batch> batch = handoff->pop()) {
      for (size_t i = 0; i < batch->cells.size(); ++i) {
        const lxw_row_t r = batch->firstRow + lxw_row_t(i / width);
        const auto col = lxw_col_t(i % width);
        if (const lxw_error error = write(r, col, batch->cells[i]); error != LXW_NO_ERROR) {
          refused = error;
          errorRow = r;
          errorColumn = col;
          handoff->stop();
          return;
        }
      }
    }
  }

  lxw_error write(lxw_row_t r, lxw_col_t col, const Prepared& cell) {
    switch (cell.kind) {
      case Prepared::Kind::None:
        return LXW_NO_ERROR;
      case Prepared::Kind::Text:
        return worksheet_write_string(sheet, r, col, cell.text.constData(), cell.format);
      case Prepared::Kind::EmptyText:
        // The library leaves an empty string out, as it does NULL; a formula whose value
        // is the empty text keeps the two apart for a reader and through a spreadsheet
        // program.
        return worksheet_write_formula_str(sheet, r, col, "=\"\"", cell.format, "");
      case Prepared::Kind::Number:
        if (!cell.text.isEmpty()) {
          FullDigits& fix = fullDigits.emplace_back();
          fix.row = r;
          fix.col = col;
          std::memcpy(fix.digits.data(), cell.text.constData(), size_t(cell.text.size()) + 1);
        }
        return worksheet_write_number(sheet, r, col, cell.number, cell.format);
      case Prepared::Kind::Boolean:
        return worksheet_write_boolean(sheet, r, col, cell.number != 0, cell.format);
    }
    return LXW_NO_ERROR;
  }

  // Hands the rows made so far to the writer thread; fails with what the library
  // refused if that thread has stopped.
  void handOver() {
    if (pending.cells.empty()) return;
    const lxw_row_t next = row;
    Batch batch = std::exchange(pending, Batch{});
    pending.firstRow = next;
    pending.cells.reserve(kBatchRows * columns.size());
    if (!handoff->push(std::move(batch))) {
      writer.join();
      failWrite();
    }
  }

  // Waits for the writer thread to write every row handed over.
  void finish() {
    handOver();
    handoff->close();
    writer.join();
    if (refused != LXW_NO_ERROR) failWrite();
  }

  // Gives the number cells the library printed short their full digits: its rows are
  // copied once, from its temporary file to a new one it then takes them from.
  void putFullDigits() {
    if (fullDigits.empty()) return;
    lxw_worksheet_write_single_row(sheet);  // the last row still waits in memory
    std::FILE* from = sheet->optimize_tmpfile;
    errno = 0;
    if (std::fflush(from) != 0 || std::ferror(from)) fail(reasonOf(likelyCause(errno, folder)));
    std::rewind(from);
    std::FILE* to = lxw_tmpfile(folder.data());
    if (!to) fail(reasonOf(likelyCause(errno, folder)));
    errno = 0;
    bool copied = copyWithDigits(from, to, fullDigits);
    copied = copied && std::fflush(to) == 0 && !std::ferror(to);
    const int error = errno;
    std::fclose(from);
    sheet->optimize_tmpfile = sheet->file = to;
    fullDigits = {};
    if (!copied)
      fail(error ? reasonOf(likelyCause(error, folder))
                 : QStringLiteral("the worksheet's numbers could not be completed"));
  }

  [[noreturn]] void failWrite() {
    if (refused == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
      fail(QStringLiteral("第 %1 列「%2」欄的文字超過 Excel 一格所能容納的 32,767 個字")
               .arg(errorRow + 1)
               .arg(columns[errorColumn].header));
    fail(libraryReason(refused));
  }

  // Drops an unfinished workbook. The library does not close the file holding the
  // rows written so far when it frees a workbook that was never closed.
  void discard() {
    if (writer.joinable()) {
      handoff->close();  // what is queued is little, and written to a file dropped anyway
      writer.join();
    }
    if (!book) return;
    if (sheet && sheet->optimize_tmpfile) std::fclose(sheet->optimize_tmpfile);
    lxw_workbook_free(book);
    book = nullptr;
    sheet = nullptr;
  }

  // Drops the workbook and its file: nothing of it stays beside `path`.
  void abandon() {
    discard();
    if (!committed && !temp.isEmpty()) ::unlink(temp.constData());
    temp.clear();
  }

  // A writer that failed is done with: its workbook and file are gone at once.
  [[noreturn]] void fail(const QString& reason) {
    abandon();
    throw platform::Error(writeError(path, reason));
  }

  void check(lxw_error error, lxw_col_t col) {
    if (error == LXW_NO_ERROR) return;
    refused = error;
    errorRow = row;
    errorColumn = col;
    failWrite();
  }

  lxw_format* format(const char* numberFormat) {
    lxw_format* f = workbook_add_format(book);
    format_set_num_format(f, numberFormat);
    return f;
  }

  Prepared& cell(lxw_col_t col) {
    return pending.cells[pending.cells.size() - columns.size() + col];
  }

  void putText(lxw_col_t col, const QString& value, lxw_format* f) {
    if (columns[col].kind == ColumnKind::Text && widest[col] < kWidest)
      widest[col] = std::max(widest[col], displayWidth(value, kWidest));
    Prepared& c = cell(col);
    c.format = f;
    if (value.isEmpty()) {
      c.kind = Prepared::Kind::EmptyText;
      return;
    }
    c.kind = Prepared::Kind::Text;
    c.text = withEscapedUnderscores(value).toUtf8();
  }

  void putNumber(lxw_col_t col, double value) {
    Prepared& c = cell(col);
    c.kind = Prepared::Kind::Number;
    c.format = cellFormat[col];
    c.number = value;
    if (const FullDigits::Text digits = digitsBeyond16(value); digits[0])
      c.text = QByteArray(digits.data());
  }

  // Infinities and NaN have no number cell: they go as their text.
  void putFloat(lxw_col_t col, double value) {
    if (!std::isfinite(value)) {
      putText(col, shortestText(value), text);
      return;
    }
    putNumber(col, value);
  }

  // A longer whole number goes as its text.
  void putWhole(lxw_col_t col, qint64 value) {
    if (value > kLargestExactWhole || value < -kLargestExactWhole)
      putText(col, QString::number(value), text);
    else
      putNumber(col, double(value));
  }

  // Excel's serial numbers count days from 1899-12-30 only from 1900-03-01 on: before,
  // they carry its phantom 1900-02-29, and before 1900 there are none.
  void putDateTime(lxw_col_t col, QDate date, QTime time) {
    if (!date.isValid()) return;
    static const QDate kEpoch(1899, 12, 30);
    static const QDate kFirst(1900, 3, 1);
    static const QDate kLast(9999, 12, 31);
    const int ms = time.isValid() ? time.msecsSinceStartOfDay() : 0;
    if (date < kFirst || date > kLast) {
      putText(col,
              date.toString(u"yyyy-MM-dd") + u' ' +
                  QTime::fromMSecsSinceStartOfDay(ms).toString(ms % 1000 ? u"HH:mm:ss.zzz"
                                                                         : u"HH:mm:ss"),
              text);
      return;
    }
    // One rounding only: the exact count of milliseconds over the day's.
    putNumber(col, double(kEpoch.daysTo(date) * kMsPerDay + ms) / double(kMsPerDay));
  }

  void put(lxw_col_t col, const QVariant& value) {
    switch (value.metaType().id()) {
      case QMetaType::UnknownType:
        return;
      case QMetaType::QString:
        putText(col, value.toString(), cellFormat[col]);
        return;
      case QMetaType::Double:
      case QMetaType::Float:
        putFloat(col, value.toDouble());
        return;
      case QMetaType::LongLong:
      case QMetaType::Int:
      case QMetaType::Long:
      case QMetaType::Short:
      case QMetaType::UInt:
      case QMetaType::ULong:
      case QMetaType::UShort:
      case QMetaType::SChar:
      case QMetaType::UChar:
        putWhole(col, value.toLongLong());
        return;
      case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(kLargestExactWhole))
          putText(col, QString::number(value.toULongLong()), text);
        else
          putWhole(col, value.toLongLong());
        return;
      case QMetaType::Bool: {
        Prepared& c = cell(col);
        c.kind = Prepared::Kind::Boolean;
        c.format = cellFormat[col];
        c.number = value.toBool() ? 1 : 0;
        return;
      }
      case QMetaType::QDateTime: {
        const QDateTime t = value.toDateTime();
        if (t.isValid()) putDateTime(col, t.date(), t.time());
        return;
      }
      case QMetaType::QDate:
        putDateTime(col, value.toDate(), QTime(0, 0));
        return;
      default:
        throw platform::Error(
            QStringLiteral("Column \"%1\" of %2: a value of type %3 cannot be "
                           "written to a workbook")
                .arg(columns[col].header, path, QString::fromLatin1(value.typeName())));
    }
  }
};

SheetWriter::SheetWriter(const QString& path, const QString& sheet, std::vector<Column> columns)
    : d_(std::make_unique<Impl>()) {
  Impl& d = *d_;
  d.path = QFileInfo(path).absoluteFilePath();
  if (columns.empty() || columns.size() > LXW_COL_MAX)
    throw platform::Error(
        QStringLiteral("%1 columns cannot make a worksheet (%2)").arg(columns.size()).arg(d.path));
  const QFileInfo info(d.path);
  d.target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : d.path;
  const QByteArray target = QFile::encodeName(d.target);
  const QString folder = QFileInfo(d.target).absolutePath();
  d.folder = QFile::encodeName(folder);

  struct stat st {};
  const bool exists = ::stat(target.constData(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode))
    throw platform::Error(writeError(d.path, QStringLiteral("這是一個資料夾，不是檔案")));
  if (exists && !S_ISREG(st.st_mode))
    throw platform::Error(writeError(d.path, QStringLiteral("這不是一般的檔案")));
  if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
    throw platform::Error(writeError(d.path, QStringLiteral("檔案是唯讀的")));
  if (!QFileInfo(folder).isDir())
    throw platform::Error(writeError(d.path, QStringLiteral("資料夾 %1 不存在").arg(folder)));
  if (const QString held = heldReason(d.target); !held.isEmpty())
    throw platform::Error(writeError(d.path, held));

  // A hidden name beside the target, so that the rename is atomic. Created here, so that a
  // folder refusing new files is found before any work; it gets the file's mode.
  const QByteArray stem = d.folder + "/." + QFile::encodeName(QFileInfo(d.target).fileName());
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    d.temp = stem + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
    fd = ::open(d.temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int error = errno;
    d.temp.clear();
    throw platform::Error(writeError(d.path, reasonOf(error)));
  }
  if (exists) {
    // Best effort: some file systems refuse modes and owners.
    (void)::fchmod(fd, st.st_mode & 07777);
    if (::geteuid() == 0) (void)::fchown(fd, st.st_uid, st.st_gid);
  } else {
    // A new workbook holds the POS's data (members' ID numbers and phone numbers among
    // them): readable by its owner only, as Config.ini and the journal.
    (void)::fchmod(fd, 0600);
  }
  ::close(fd);

  const CNumbers numbers;
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.tmpdir = d.folder.data();
  d.book = workbook_new_opt(d.temp.constData(), &options);
  if (!d.book) throw platform::Error(writeError(d.path, reasonOf(ENOMEM)));
  errno = 0;
  d.sheet = workbook_add_worksheet(d.book, validSheetName(sheet).toUtf8().constData());
  if (!d.sheet) d.fail(reasonOf(likelyCause(errno, d.folder)));

  d.columns = std::move(columns);
  d.widest.assign(d.columns.size(), 0);
  d.bold = workbook_add_format(d.book);
  format_set_bold(d.bold);
  d.text = d.format("@");
  lxw_format* const whole = d.format("0");
  lxw_format* const dateTime = d.format("yyyy/mm/dd hh:mm:ss");
  lxw_format* const date = d.format("yyyy/mm/dd");
  for (lxw_col_t col = 0; col < d.columns.size(); ++col) {
    const Column& c = d.columns[col];
    switch (c.kind) {
      case ColumnKind::Text:
        d.cellFormat.push_back(d.text);
        break;
      case ColumnKind::Whole:
        d.cellFormat.push_back(whole);
        break;
      case ColumnKind::DateTime:
        d.cellFormat.push_back(c.dateOnly ? date : dateTime);
        break;
      case ColumnKind::Float:
      case ColumnKind::Boolean:
        d.cellFormat.push_back(nullptr);
        break;
    }
    d.check(worksheet_write_string(d.sheet, 0, col, c.header.toUtf8().constData(), d.bold), col);
  }
  worksheet_freeze_panes(d.sheet, 1, 0);
  d.pending.firstRow = d.row;
  d.pending.cells.reserve(kBatchRows * d.columns.size());
  d.start();
}

SheetWriter::~SheetWriter() = default;

void SheetWriter::addRow(const std::vector<QVariant>& values) {
  Impl& d = *d_;
  if (!d.book) throw platform::Error(QStringLiteral("%1 is already closed").arg(d.path));
  if (values.size() != d.columns.size())
    throw platform::Error(QStringLiteral("%1 values for the %2 columns of %3")
                              .arg(values.size())
                              .arg(d.columns.size())
                              .arg(d.path));
  if (d.row >= LXW_ROW_MAX)
    d.fail(QStringLiteral("資料超過 Excel 工作表的上限 %L1 列").arg(LXW_ROW_MAX));
  d.pending.cells.resize(d.pending.cells.size() + d.columns.size());
  try {
    for (lxw_col_t col = 0; col < values.size(); ++col) d.put(col, values[col]);
  } catch (...) {
    d.pending.cells.resize(d.pending.cells.size() - d.columns.size());
    throw;
  }
  ++d.row;
  if (d.pending.cells.size() >= kBatchRows * d.columns.size()) d.handOver();
}

void SheetWriter::commit() {
  Impl& d = *d_;
  if (!d.book) throw platform::Error(QStringLiteral("%1 is already closed").arg(d.path));
  d.finish();
  d.putFullDigits();
  if (const QString held = heldReason(d.target); !held.isEmpty()) d.fail(held);
  const CNumbers numbers;
  for (lxw_col_t col = 0; col < d.columns.size(); ++col) {
    const Column& c = d.columns[col];
    const int width = std::min(
        kWidest,
        std::max({narrowestFor(c), displayWidth(c.header, kWidest) + 2, d.widest[col] + 1}));
    // The column's format is what the operator's new cells there get.
    d.check(worksheet_set_column(d.sheet, col, col, width, d.cellFormat[col]), col);
  }

  // The rows wait in a buffered file of the library's, which does not report write
  // errors on it.
  if (std::FILE* rows = d.sheet->optimize_tmpfile) {
    errno = 0;
    const bool flushed = std::fflush(rows) == 0;
    if (!flushed || std::ferror(rows)) d.fail(reasonOf(likelyCause(errno, d.folder)));
  }
  errno = 0;
  const lxw_error closed = workbook_close(d.book);
  const int closeErrno = errno;
  d.book = nullptr;
  d.sheet = nullptr;
  if (closed == LXW_ERROR_MEMORY_MALLOC_FAILED) d.fail(reasonOf(ENOMEM));
  if (closed != LXW_NO_ERROR) d.fail(reasonOf(likelyCause(closeErrno, d.folder)));

  const int fd = ::open(d.temp.constData(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  const int syncErrno = errno;
  if (fd >= 0) ::close(fd);
  if (!synced) d.fail(reasonOf(likelyCause(syncErrno, d.folder)));
  if (::rename(d.temp.constData(), QFile::encodeName(d.target).constData()) != 0)
    d.fail(reasonOf(errno));
  d.committed = true;
  syncFolder(d.folder);
}

int SheetWriter::rows() const {
  return int(d_->row) - 1;
}

}  // namespace xlsx
