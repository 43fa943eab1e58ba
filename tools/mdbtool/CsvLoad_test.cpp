// mdbtool create and load: files made from CSV read back identically through mdbtool,
// mdbtools and the Node.js reader; a bad value stops the load at its line.
#include "CsvLoad.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "jet/Database.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
};

Result run(const std::string& command) {
  Result r;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string q(const std::string& s) {
  return "'" + s + "'";
}

class LoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dataconv-load-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string& name) { return (dir_ / name).string(); }
  std::string csv(const std::string& name, const std::string& text) {
    std::ofstream(file(name), std::ios::binary) << text;
    return file(name);
  }
  Result mdbtool(const std::string& args) { return run(std::string(MDBTOOL_PATH) + " " + args); }
  fs::path dir_;
};

const char* const kColumns =
    "品名 char(10), Qty integer, Price double, Cost currency, [When] datetime, Ok LOGICAL, "
    "Notes memo, Long longtext";

TEST_F(LoadTest, CreatesFileAndTableAndEveryReaderAgrees) {
  const std::string db = file("Item.mdb");
  const std::string data =
      csv("item.csv",
          "品名,Qty,Price,Cost,When,Ok,Notes,Long\r\n"
          "阿斯匹靈,3,1.5,2.25,2024-01-31 08:30:00,True,\"a, \"\"quoted\"\"\nline\",x\r\n"
          "  sp  ,,,,,,,\r\n"
          "\"\",-5,1e3,-0.0001,2024-02-29,false,\"\",\r\n");
  Result r = mdbtool("load " + q(db) + " Item " + q(data) + " --columns " + q(kColumns));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "3 rows loaded into Item\n");
  r = mdbtool("export " + q(db) + " Item");
  EXPECT_EQ(
      r.out,
      "品名,Qty,Price,Cost,When,Ok,Notes,Long\n"
      "\"阿斯匹靈\",3,1.5,2.2500,\"2024-01-31 08:30:00\",1,\"a, \"\"quoted\"\"\nline\",\"x\"\n"
      "\"  sp  \",,,,,0,,\n"
      "\"\",-5,1000,-0.0001,\"2024-02-29 00:00:00\",0,\"\",\n");
  // The table exists now: a second load appends, columns matched by the header.
  r = mdbtool("load " + q(db) + " item " + q(csv("more.csv", "Qty,品名\n7,more\n")));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(jet::Database::open(db).table("Item").rowCount, 4u);
  const std::string compare =
      "MDB_READER_DIR=" +
      q(getenv("MDB_READER_DIR") ? getenv("MDB_READER_DIR")
                                 : DATACONV_SOURCE_DIR "/build/mdb-reader") +
      " python3 " + q(DATACONV_SHARED_DIR "/tools/compare-mdb.py") + " " + q(db);
  r = run(compare);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(run("mdb-tables -1 " + q(db)).out, "Item\n");
}

TEST_F(LoadTest, ABadValueStopsTheLoadAtItsLineAndKeepsTheRowsBefore) {
  const std::string db = file("Bad.mdb");
  const std::string data = csv("bad.csv",
                               "品名,Qty,When\n"
                               "one,1,2024-01-01\n"
                               "\"two\nlines\",2,2024-01-02\n"
                               "three,3,2024-02-30\n"
                               "four,4,2024-01-04\n");
  Result r = mdbtool("load " + q(db) + " T " + q(data) + " --columns " + q(kColumns));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "mdbtool: " + data + " line 5: column \"When\": \"2024-02-30\" is not a valid date\n");
  EXPECT_EQ(jet::Database::open(db).table("T").rowCount, 2u);

  const auto failsWith = [&](const std::string& text, const std::string& message) {
    Result f = mdbtool("load " + q(db) + " T " + q(csv("f.csv", text)));
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.out.find(message), std::string::npos) << f.out;
  };
  failsWith("品名\n12345678901\n",
            "line 2: table \"T\", column \"品名\": the text has 11 characters");
  failsWith("Qty\n2147483648\n", "line 2: table \"T\", column \"Qty\": 2147483648 is out of range");
  failsWith("Qty\n1.5\n", "line 2: column \"Qty\": \"1.5\" is not a whole number");
  failsWith("Ok\nyes\n", "is not a Boolean");
  failsWith("Cost\n1.00001\n", "more than 4 decimals");
  failsWith("Qty,Nope\n1,2\n", "has no column \"Nope\"");
  failsWith("Qty,Price\n1\n", "line 2: 1 fields, the header has 2");
  failsWith("品名\n\"open\n", "unterminated quoted field");
  EXPECT_EQ(jet::Database::open(db).table("T").rowCount, 2u);

  r = mdbtool("load " + q(file("New.mdb")) + " T " + q(data));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("give its --columns"), std::string::npos);
  r = mdbtool("load " + q(db) + " T2 " + q(data) + " --columns " + q("A float"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("unknown type"), std::string::npos);
}

TEST_F(LoadTest, CreateMakesAnEmptyDatabase) {
  const std::string db = file("Empty.mdb");
  EXPECT_EQ(mdbtool("create " + q(db)).status, 0);
  EXPECT_TRUE(jet::Database::open(db).tableNames().empty());
  EXPECT_EQ(mdbtool("create " + q(db)).status, 1);  // never overwrites
}

TEST(ParseColumns, ReadsTheTypesOfTheCreateStatement) {
  const auto c = mdbtool::parseColumns("A integer, [B C] CHAR(12),D Logical, E longtext");
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0].type, jet::ColumnType::Long);
  EXPECT_EQ(c[1].name, "B C");
  EXPECT_EQ(c[1].maxChars, 12);
  EXPECT_EQ(c[2].type, jet::ColumnType::Boolean);
  EXPECT_EQ(c[3].type, jet::ColumnType::Memo);
  EXPECT_THROW(mdbtool::parseColumns("A char(256)"), std::runtime_error);
  EXPECT_THROW(mdbtool::parseColumns("A"), std::runtime_error);
  EXPECT_THROW(mdbtool::parseColumns("A integer,"), std::runtime_error);
}

}  // namespace
