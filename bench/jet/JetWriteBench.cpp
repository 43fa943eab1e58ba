// Write and export speed of the Access engine on a table of the POS Item shape.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "PosItemShape.h"
#include "jet/DatabaseWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// Best of `runs` wall-clock times of a shell command.
double timeCommand(const std::string& command, int runs) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
      std::cerr << "failed: " << command << "\n";
      return -1;
    }
    best = std::min(best, seconds(start));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t rows = 100000;
  std::string out = (std::filesystem::temp_directory_path() / "bench_jet_write.mdb").string();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--rows") rows = std::strtoull(argv[i + 1], nullptr, 10);
    if (a == "--out") out = argv[i + 1];
  }
  std::filesystem::remove(out);

  // Rows are generated ahead so that only the engine is timed.
  std::vector<std::vector<jet::Value>> data;
  data.reserve(rows);
  for (std::uint64_t i = 0; i < rows; ++i) data.push_back(jet::testing::posItemRow(i));

  const auto start = Clock::now();
  jet::DatabaseWriter::create(out);
  jet::DatabaseWriter db = jet::DatabaseWriter::open(out);
  db.createTable("Item", jet::testing::posItemColumns());
  jet::TableAppender appender = db.appender("Item");
  for (const auto& row : data) appender.append(row);
  appender.flush();
  const double writeSeconds = seconds(start);

  const auto size = std::filesystem::file_size(out);
  std::printf("rows appended:        %llu (45 columns, POS Item shape)\n",
              static_cast<unsigned long long>(rows));
  std::printf("write time:           %.3f s (create, table, rows, one fsync at the end)\n",
              writeSeconds);
  std::printf("rows per second:      %.0f\n", double(rows) / writeSeconds);
  std::printf("file size:            %llu bytes (%.1f MiB, %.0f bytes per row)\n",
              static_cast<unsigned long long>(size), double(size) / 1048576.0,
              double(size) / double(rows));
#ifdef MDBTOOL_PATH
  const std::string quoted = "'" + out + "'";
  const double ours =
      timeCommand(std::string(MDBTOOL_PATH) + " export " + quoted + " Item >/dev/null", 3);
  const double theirs = timeCommand("mdb-export " + quoted + " Item >/dev/null", 3);
  std::printf("mdbtool export:       %.3f s (best of 3)\n", ours);
  std::printf("mdb-export:           %.3f s (best of 3)\n", theirs);
  if (ours > 0 && theirs > 0) std::printf("export speed-up:      %.2fx\n", theirs / ours);
#endif
  return 0;
}
