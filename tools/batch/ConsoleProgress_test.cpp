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
  EXPECT_EQ(ConsoleProgress::duration(0), "0 s");
  EXPECT_EQ(ConsoleProgress::duration(59), "59 s");
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
  EXPECT_TRUE(text.startsWith("\rItem  0 / 3 rows")) << text.toStdString();
  EXPECT_EQ(text.count(u'\n'), 1);
  EXPECT_TRUE(text.endsWith("\n"));
  EXPECT_TRUE(text.contains("\rItem  3 rows in ")) << text.toStdString();
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
  EXPECT_TRUE(text.startsWith("Classify  stopped after 2 of 5 rows\nSupplier  0 rows in 0 s\n"))
      << text.toStdString();
}

}  // namespace
