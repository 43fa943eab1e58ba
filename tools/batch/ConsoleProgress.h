// Progress of the batch command on standard error. On a terminal one line is rewritten
// in place while a table runs (table, rows done / total, rows per second, time left);
// otherwise, as in a log file, each table gets one line when it ends.
#pragma once

#include <platform/Progress.h>

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

namespace batch {

class ConsoleProgress final : public platform::Progress {
 public:
  // `live`: whether `out` is a terminal.
  ConsoleProgress(std::FILE* out, bool live);

  // The table whose rows follow, by its name ("Item"); the line shows the window's
  // word for it too ("商品資料 Item").
  void begin(const QString& table);
  // The table ended by a failure (no finish()): ends its line, so that the error
  // printed next stands on a line of its own.
  void fail();

  void start(int total) override;
  void step(int done, int total) override;
  void finish() override;

  // "12 秒", "3:05", "1:02:09".
  static QString duration(qint64 seconds);

 private:
  void print(const QString& text);
  void drawLine();

  std::FILE* out_;
  bool live_;
  QString table_;
  QElapsedTimer clock_;
  qint64 lastDraw_ = -1;
  int done_ = 0;
  int total_ = 0;
  bool lineOpen_ = false;  // a live line waits for its end
};

}  // namespace batch
