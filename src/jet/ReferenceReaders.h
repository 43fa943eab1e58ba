// Test helpers: run the reference readers (mdbtools, the Node.js reader through
// compare-mdb.py) on a written file and report what they object to.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace jet::testing {

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string shellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline CommandResult runCommand(const std::string& command) {
  char errPath[] = "/tmp/dataconv-stderr-XXXXXX";
  const int fd = ::mkstemp(errPath);
  if (fd >= 0) ::close(fd);
  CommandResult r;
  FILE* p = ::popen((command + " 2>" + errPath).c_str(), "r");
  if (!p) return r;
  std::array<char, 65536> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream e(errPath);
  r.err.assign(std::istreambuf_iterator<char>(e), {});
  ::unlink(errPath);
  return r;
}

inline std::string nodeReaderDir() {
  const char* env = std::getenv("MDB_READER_DIR");
  return env && *env ? env : std::string(DATACONV_SOURCE_DIR) + "/build/mdb-reader";
}

// mdbtools' complaints about a file: listing, schema, export of every user table, and
// row counts that differ from the rows exported (`countMayLagBy`: a count that many short
// or less is accepted, as a writer stopped before its row count write leaves it; true
// stands for one). Empty when all is well.
inline std::string mdbtoolsProblems(const std::string& path, long countMayLagBy = 0) {
  static const char* const kFailures[] = {"doesn't match",
                                          "Invalid page buffer",
                                          "Invalid data location",
                                          "incorrect memo length",
                                          "Unhandled memo field",
                                          "Unhandled ole field",
                                          "Couldn't",
                                          "Error"};
  std::string problems;
  auto check = [&](const std::string& what, const CommandResult& r) {
    if (r.status != 0) problems += what + ": exit status " + std::to_string(r.status) + "\n";
    for (const char* f : kFailures)
      if (r.err.find(f) != std::string::npos) problems += what + ": " + r.err + "\n";
  };
  const CommandResult tables = runCommand("mdb-tables -1 " + shellQuoted(path));
  check("mdb-tables", tables);
  check("mdb-schema", runCommand("mdb-schema " + shellQuoted(path)));
  std::istringstream names(tables.out);
  std::string table;
  while (std::getline(names, table)) {
    if (table.empty()) continue;
    const CommandResult rows =
        runCommand("mdb-export -H " + shellQuoted(path) + " " + shellQuoted(table) +
                   " | python3 -c 'import csv,sys; csv.field_size_limit(1<<30); "
                   "print(sum(1 for _ in csv.reader(sys.stdin)))'");
    check("mdb-export " + table, rows);
    const CommandResult count =
        runCommand("mdb-count " + shellQuoted(path) + " " + shellQuoted(table));
    const long exported = std::atol(rows.out.c_str()), counted = std::atol(count.out.c_str());
    if (exported != counted && !(counted < exported && exported - counted <= countMayLagBy))
      problems +=
          "table " + table + ": mdb-count " + count.out + " but " + rows.out + " rows exported\n";
  }
  return problems;
}

// compare-mdb.py: mdbtools and the Node.js reader agree on every table, row and value.
inline std::string readersDisagree(const std::string& path) {
  const CommandResult r =
      runCommand("MDB_READER_DIR=" + shellQuoted(nodeReaderDir()) + " python3 " +
                 shellQuoted(std::string(DATACONV_SHARED_DIR) + "/tools/compare-mdb.py") + " " +
                 shellQuoted(path));
  return r.status == 0 ? std::string() : r.out + r.err;
}

// Splits RFC 4180 CSV (LF after each row, as mdb-export and mdbtool write it) into
// rows of fields.
inline std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool inQuotes = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inQuotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        inQuotes = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      inQuotes = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\n') {
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
    } else {
      field += c;
    }
  }
  return rows;
}

// The rows of a table as mdb-export prints them (header left out), parsed as CSV.
inline std::vector<std::vector<std::string>> mdbExport(const std::string& path,
                                                       const std::string& table) {
  return parseCsv(runCommand("mdb-export -H -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' -b hex " +
                             shellQuoted(path) + " " + shellQuoted(table))
                      .out);
}

}  // namespace jet::testing
