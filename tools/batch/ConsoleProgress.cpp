#include "ConsoleProgress.h"

namespace batch {

namespace {

// A live line is redrawn at most this often, however fast the rows go.
constexpr qint64 kRedrawMs = 100;

}  // namespace

ConsoleProgress::ConsoleProgress(std::FILE* out, bool live) : out_(out), live_(live) {}

QString ConsoleProgress::duration(qint64 seconds) {
  if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
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
  table_ = table;
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
  QString line = QStringLiteral("%1  %2 / %3 rows").arg(table_).arg(done_).arg(total_);
  if (done_ > 0 && seconds > 0) {
    const double rate = done_ / seconds;
    line += QStringLiteral("  %1 rows/s  %2 left")
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
      QStringLiteral("%1  %2 rows in %3").arg(table_).arg(total_).arg(duration(ms / 1000));
  if (ms > 0 && total_ > 0)
    line += QStringLiteral(", %1 rows/s").arg(total_ * 1000.0 / ms, 0, 'f', 0);
  print((live_ ? QStringLiteral("\r") : QString()) + line +
        (live_ ? QStringLiteral("\x1b[K\n") : QStringLiteral("\n")));
  lineOpen_ = false;
}

void ConsoleProgress::fail() {
  const QString line =
      QStringLiteral("%1  stopped after %2 of %3 rows").arg(table_).arg(done_).arg(total_);
  print((live_ ? QStringLiteral("\r") : QString()) + line +
        (live_ ? QStringLiteral("\x1b[K\n") : QStringLiteral("\n")));
  lineOpen_ = false;
}

}  // namespace batch
