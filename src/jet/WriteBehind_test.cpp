// Writes queued to the write-behind thread land in the order given, however many wait,
// and a failed write keeps the writes before it and drops the ones after, reporting
// its error to every later caller.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include "PageFile.h"
#include "TestFiles.h"
#include "WriteBehind.h"
#include "jet/Error.h"

namespace jet {
namespace {

PageBytes filled(std::uint8_t byte) {
  PageBytes page;
  page.fill(byte);
  return page;
}

off_t at(std::uint32_t page) {
  return off_t(page) * off_t(fmt::kPageSize);
}

TEST(WriteBehind, WritesLandInTheirOrderAndTheLastWriteOfAPageWins) {
  testing::ScratchDir dir("behind-order");
  const std::string path = dir.file("w.bin");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  {
    WriteBehind behind(fd, path);
    // Far more writes than the queue holds, pages rewritten many times, single and
    // double ones.
    for (int round = 0; round < 40; ++round)
      for (std::uint32_t p = 0; p < 8; p += 2) {
        const PageBytes a = filled(std::uint8_t(round * 8 + p)), b = filled(std::uint8_t(p + 1));
        behind.write(at(p), a.data(), a.size(), b.data(), b.size());
      }
    behind.drain();
    std::vector<std::uint8_t> bytes = testing::readFile(path);
    ASSERT_EQ(bytes.size(), 8 * fmt::kPageSize);
    for (std::uint32_t p = 0; p < 8; ++p)
      EXPECT_EQ(bytes[p * fmt::kPageSize + 7], p % 2 ? p : std::uint8_t(39 * 8 + p)) << p;
    const PageBytes last = filled(0xEE);
    behind.write(at(3), last.data(), last.size());
  }  // the end waits for what is queued
  EXPECT_EQ(testing::readFile(path)[3 * fmt::kPageSize], 0xEE);
  ::close(fd);
}

TEST(WriteBehind, AFailedWriteKeepsTheWritesBeforeItAndFailsEveryCallAfter) {
  testing::ScratchDir dir("behind-fail");
  const std::string path = dir.file("w.bin");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  // The file may not grow past three pages: the fourth write fails (EFBIG).
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  const auto savedSignal = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 3 * fmt::kPageSize;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  {
    WriteBehind behind(fd, path);
    try {
      for (std::uint32_t p = 0; p < 6; ++p) {
        const PageBytes page = filled(std::uint8_t(0x10 + p));
        behind.write(at(p), page.data(), page.size());
      }
      behind.drain();
    } catch (const Error& e) {
      error = e.what();
    }
    const PageBytes page = filled(1);
    EXPECT_THROW(behind.write(at(0), page.data(), page.size()), Error);
    EXPECT_THROW(behind.drain(), Error);
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, savedSignal);
  ::close(fd);
  EXPECT_EQ(error, path + ": cannot write the file (File too large)");
  const std::vector<std::uint8_t> bytes = testing::readFile(path);
  ASSERT_EQ(bytes.size(), 3 * fmt::kPageSize);  // nothing after the failed write
  for (std::uint32_t p = 0; p < 3; ++p) EXPECT_EQ(bytes[p * fmt::kPageSize], 0x10 + p);
}

TEST(WriteBehind, APageFileReadsWhatItQueuedAndSyncsAfterIt) {
  testing::ScratchDir dir("behind-file");
  const std::string path = dir.file("w.bin");
  testing::writeFile(path, std::vector<std::uint8_t>(fmt::kPageSize, 0));
  PageFile file(path, Mode::ReadWrite);
  file.setWriteBehind(true);
  for (std::uint8_t i = 1; i <= 100; ++i) {
    file.writePage(0, filled(i));
    file.appendPage(filled(std::uint8_t(i + 100)));
    ASSERT_EQ(file.readPage(0)->bytes()[9], i);  // a read waits for the queue
  }
  EXPECT_EQ(file.readPage(100)->bytes()[0], 200);
  file.sync();
  EXPECT_EQ(testing::readFile(path).size(), 101 * fmt::kPageSize);
  file.setWriteBehind(false);
  file.writePage(1, filled(7));  // direct again
  EXPECT_EQ(testing::readFile(path)[fmt::kPageSize], 7);
}

}  // namespace
}  // namespace jet
