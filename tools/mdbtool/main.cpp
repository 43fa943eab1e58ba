// mdbtool: looks into Access 2000-2003 (.mdb) files without Access.
//   mdbtool tables FILE
//   mdbtool schema FILE [TABLE]
//   mdbtool export [-H] [-d SEP] FILE TABLE
//   mdbtool dump FILE [TABLE]
//   mdbtool create FILE
//   mdbtool load FILE TABLE CSV [--columns "NAME TYPE, ..."]
// Exit status: 0 success, 1 the file could not be read, 2 wrong usage.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "CsvLoad.h"
#include "Output.h"
#include "jet/Database.h"
#include "jet/Error.h"

namespace {

const char* const kUsage =
    "usage: mdbtool tables FILE\n"
    "       mdbtool schema FILE [TABLE]\n"
    "       mdbtool export [-H] [-d SEP] FILE TABLE\n"
    "       mdbtool dump FILE [TABLE]\n"
    "       mdbtool create FILE\n"
    "       mdbtool load FILE TABLE CSV [--columns \"NAME TYPE, ...\"]\n"
    "  tables  the user tables, one per line\n"
    "  schema  CREATE TABLE statements and indexes (Access SQL)\n"
    "  export  one table as CSV on standard output (-H: no header row,\n"
    "          -d SEP: a one-character field separator instead of ',')\n"
    "  dump    every user table (or one) as JSON on standard output\n"
    "  create  a new, empty database\n"
    "  load    append the rows of a UTF-8 CSV file (header row of column names) to a\n"
    "          table, creating the file and the table when missing; TYPE is integer,\n"
    "          double, currency, datetime, char(n), memo, LOGICAL or longtext\n";

int usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "mdbtool: " << problem << "\n";
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usage("");
  if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
    std::cout << kUsage;
    return 0;
  }
  const std::string command = args[0];
  mdbtool::CsvOptions csv;
  std::vector<std::string> operands;
  std::string columnSpec;
  bool haveColumns = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (command == "export" && a == "-H") {
      csv.header = false;
    } else if (command == "export" && a == "-d") {
      if (i + 1 >= args.size() || args[i + 1].size() != 1) {
        return usage("-d needs a one-character separator");
      }
      csv.delimiter = args[++i][0];
    } else if (command == "load" && a == "--columns") {
      if (i + 1 >= args.size()) return usage("--columns needs a column list");
      columnSpec = args[++i];
      haveColumns = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + a);
    } else {
      operands.push_back(a);
    }
  }

  try {
    if (command == "tables") {
      if (operands.size() != 1) return usage("tables needs FILE");
      const jet::Database db = jet::Database::open(operands[0]);
      for (const std::string& name : db.tableNames()) std::cout << name << "\n";
    } else if (command == "schema") {
      if (operands.empty() || operands.size() > 2) return usage("schema needs FILE [TABLE]");
      const jet::Database db = jet::Database::open(operands[0]);
      mdbtool::printSchema(db, operands.size() == 2 ? &operands[1] : nullptr, std::cout);
    } else if (command == "export") {
      if (operands.size() != 2) return usage("export needs FILE TABLE");
      const jet::Database db = jet::Database::open(operands[0]);
      mdbtool::exportCsv(db, operands[1], csv, std::cout);
    } else if (command == "dump") {
      if (operands.empty() || operands.size() > 2) return usage("dump needs FILE [TABLE]");
      const jet::Database db = jet::Database::open(operands[0]);
      mdbtool::dumpJson(db, operands.size() == 2 ? &operands[1] : nullptr, std::cout);
    } else if (command == "create") {
      if (operands.size() != 1) return usage("create needs FILE");
      jet::DatabaseWriter::create(operands[0]);
    } else if (command == "load") {
      if (operands.size() != 3) return usage("load needs FILE TABLE CSV");
      std::vector<jet::NewColumn> columns;
      if (haveColumns) columns = mdbtool::parseColumns(columnSpec);
      const std::size_t rows =
          mdbtool::loadCsv(operands[0], operands[1], operands[2], haveColumns ? &columns : nullptr);
      std::cout << rows << " rows loaded into " << operands[1] << "\n";
    } else {
      return usage("unknown command " + command);
    }
    std::cout.flush();
    if (!std::cout) {
      std::cerr << "mdbtool: cannot write the output\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "mdbtool: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
