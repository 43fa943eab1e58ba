#include "ConsoleProgress.h"

#include <gtest/gtest.h>

#include <cstdio>

using batch::ConsoleProgress;

namespace {

QString outputOf(std::FILE* file) {
  std::rewind(file);
  QByteArray bytes;
  char buf[256];
  while (const size_t n = std::fread(buf, 1, sizeof buf, file)) bytes.append(buf, qsizetype(n));
  return QString::fromLocal8Bit(bytes);
}

TEST(ConsoleProgress, DurationsReadAsSecondsMinutesOrHours) {
  EXPECT_EQ(ConsoleProgress::duration(0), "0 秒");
  EXPECT_EQ(ConsoleProgress::duration(59), "59 秒");
  EXPECT_EQ(ConsoleProgress::duration(60), "1:00");
  EXPECT_EQ(ConsoleProgress::duration(185), "3:05");
  EXPECT_EQ(ConsoleProgress::duration(3729), "1:02:09");
}

TEST(ConsoleProgress, LiveLineIsRewrittenInPlaceAndEndedOnce) {
  std::FILE* file = std::tmpfile();
  ConsoleProgress progress(file, true);
  progress.begin("Item");
  progress.start(3);
  for (int i = 1; i <= 3; ++i) progress.step(i, 3);
  progress.finish();
  const QString text = outputOf(file);
  std::fclose(file);
  EXPECT_TRUE(text.startsWith("\r商品資料 Item  0 / 3 列")) << text.toStdString();
  EXPECT_EQ(text.count(u'\n'), 1);
  EXPECT_TRUE(text.endsWith("\n"));
  EXPECT_TRUE(text.contains("\r商品資料 Item  3 列，費時 ")) << text.toStdString();
}

TEST(ConsoleProgress, FailureEndsTheLineWithTheRowsDone) {
  std::FILE* file = std::tmpfile();
  ConsoleProgress progress(file, false);
  progress.begin("Classify");
  progress.start(5);
  progress.step(1, 5);
  progress.step(2, 5);
  progress.fail();
  progress.begin("Supplier");
  progress.start(0);
  progress.finish();
  const QString text = outputOf(file);
  std::fclose(file);
  EXPECT_TRUE(text.startsWith(
      "分類資料 Classify  做完 2 列（共 5 列）後停止\n廠商資料 Supplier  0 列，費時 0 秒\n"))
      << text.toStdString();
}

}  // namespace
