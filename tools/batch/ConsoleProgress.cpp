#include "ConsoleProgress.h"

namespace batch {

namespace {

// A live line is redrawn at most this often, however fast the rows go.
constexpr qint64 kRedrawMs = 100;

// The word the window's tab uses for the table, with the name --tables takes.
QString tableTitle(const QString& table) {
  static const struct {
    const char* name;
    const char* title;
  } titles[] = {{"Classify", "分類資料"},
                {"Item", "商品資料"},
                {"Supplier", "廠商資料"},
                {"Customer", "會員資料"}};
  for (const auto& t : titles)
    if (table == QLatin1String(t.name))
      return QString::fromUtf8(t.title) + QStringLiteral(" ") + table;
  return table;
}

}  // namespace

ConsoleProgress::ConsoleProgress(std::FILE* out, bool live) : out_(out), live_(live) {}

QString ConsoleProgress::duration(qint64 seconds) {
  if (seconds < 60) return QStringLiteral("%1 秒").arg(seconds);
  const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  if (h == 0) return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2:%3")
      .arg(h)
      .arg(m, 2, 10, QLatin1Char('0'))
      .arg(s, 2, 10, QLatin1Char('0'));
}

void ConsoleProgress::print(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), out_);
  std::fflush(out_);
}

void ConsoleProgress::begin(const QString& table) {
  if (lineOpen_) fail();
  table_ = tableTitle(table);
  done_ = total_ = 0;
  lastDraw_ = -1;
  clock_.start();
}

void ConsoleProgress::start(int total) {
  total_ = total;
  done_ = 0;
  clock_.start();
  if (live_) drawLine();
}

void ConsoleProgress::step(int done, int total) {
  done_ = done;
  total_ = total;
  if (live_ && (lastDraw_ < 0 || clock_.elapsed() - lastDraw_ >= kRedrawMs)) drawLine();
}

void ConsoleProgress::drawLine() {
  lastDraw_ = clock_.elapsed();
  const double seconds = lastDraw_ / 1000.0;
  QString line = QStringLiteral("%1  %2 / %3 列").arg(table_).arg(done_).arg(total_);
  if (done_ > 0 && seconds > 0) {
    const double rate = done_ / seconds;
    line += QStringLiteral("  每秒 %1 列  還要 %2")
                .arg(rate, 0, 'f', 0)
                .arg(duration(qint64((total_ - done_) / rate + 0.5)));
  }
  // Carriage return to rewrite the line, erase what a longer line left behind.
  print(QStringLiteral("\r") + line + QStringLiteral("\x1b[K"));
  lineOpen_ = true;
}

void ConsoleProgress::finish() {
  done_ = total_;
  const qint64 ms = clock_.elapsed();
  QString line =
      QStringLiteral("%1  %2 列，費時 %3").arg(table_).arg(total_).arg(duration(ms / 1000));
  if (ms > 0 && total_ > 0)
    line += QStringLiteral("，每秒 %1 列").arg(total_ * 1000.0 / ms, 0, 'f', 0);
  print((live_ ? QStringLiteral("\r") : QString()) + line +
        (live_ ? QStringLiteral("\x1b[K\n") : QStringLiteral("\n")));
  lineOpen_ = false;
}

void ConsoleProgress::fail() {
  const QString line =
      QStringLiteral("%1  做完 %2 列（共 %3 列）後停止").arg(table_).arg(done_).arg(total_);
  print((live_ ? QStringLiteral("\r") : QString()) + line +
        (live_ ? QStringLiteral("\x1b[K\n") : QStringLiteral("\n")));
  lineOpen_ = false;
}

}  // namespace batch
