// mdbtool against the reference readers: for every fixture, the JSON dump must agree
// with the stored mdbtools export and the stored and live mdb-reader dump, and the CSV
// export with the stored mdb-export CSV.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ReferenceReaders.h"
#include "jet/Database.h"
#include "jet/DatabaseWriter.h"

namespace {

const std::string kShared = DATACONV_SHARED_DIR;
const std::string kFixtures = kShared + "/fixtures/jet4/";
const std::string kExpected = kFixtures + "expected";

const char* const kFiles[] = {"adox_jet4.mdb",
                              "compIndexTestV2000.mdb",
                              "delColTestV2000.mdb",
                              "delTestV2000.mdb",
                              "empty.mdb",
                              "empty2003.mdb",
                              "fixedNumericTestV2000.mdb",
                              "fixedTextTestV2000.mdb",
                              "indexTestV2000.mdb",
                              "overflowTestV2000.mdb",
                              "test2V2000.mdb",
                              "testUnicodeCompV2003.mdb",
                              "testV2003.mdb"};

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Outcome {
  int status = -1;
  std::string out;
};

// Runs a shell command, capturing standard output (standard error to `errFile`).
Outcome run(const std::string& command, const std::string& errFile = "/dev/null") {
  Outcome r;
  FILE* p = ::popen((command + " 2>" + quote(errFile)).c_str(), "r");
  if (!p) return r;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string mdbReaderDir() {
  const char* env = std::getenv("MDB_READER_DIR");
  return env && *env ? env : std::string(DATACONV_SOURCE_DIR) + "/build/mdb-reader";
}

class Scratch {
 public:
  Scratch() {
    dir_ =
        std::filesystem::temp_directory_path() / ("dataconv-mdbtool-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string file(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

const std::string kTool = MDBTOOL_PATH;

class Fixture : public ::testing::TestWithParam<const char*> {
 protected:
  std::string mdb() const { return kFixtures + GetParam(); }
  std::string dump() {
    const std::string path = scratch_.file(std::string(GetParam()) + ".json");
    const Outcome r = run(quote(kTool) + " dump " + quote(mdb()) + " > " + quote(path));
    EXPECT_EQ(r.status, 0);
    return path;
  }
  std::string compare(const std::string& options) {
    const std::string log = scratch_.file("compare.log");
    const Outcome r = run("python3 " + quote(kShared + "/tools/compare-mdb.py") + " " +
                              quote(mdb()) + " " + options + " 2>&1",
                          log);
    return r.status == 0 ? "" : "exit " + std::to_string(r.status) + ":\n" + r.out;
  }
  Scratch scratch_;
};

TEST_P(Fixture, DumpAgreesWithStoredMdbtoolsExport) {
  EXPECT_EQ(compare("--expected " + quote(kExpected) + " --json " + quote(dump())), "");
}

TEST_P(Fixture, DumpAgreesWithLiveMdbtoolsExport) {
  EXPECT_EQ(compare("--json " + quote(dump())), "");
}

TEST_P(Fixture, DumpIsIdenticalToTheNodeReaderDump) {
  ::setenv("MDB_READER_DIR", mdbReaderDir().c_str(), 1);
  const Outcome node = run("node " + quote(kShared + "/tools/mdb-dump.mjs") + " " + quote(mdb()));
  ASSERT_EQ(node.status, 0) << "the Node reader failed (is it installed in " << mdbReaderDir()
                            << "?)";
  EXPECT_EQ(readText(dump()), node.out);
}

using jet::testing::parseCsv;

// mdb-export prints Double with %.16g and Single with %.8g, which do not always read
// back; mdbtool prints the shortest text that does. Format ours the same way to compare.
std::string likeMdbExport(const std::string& field, jet::ColumnType type) {
  if (field.empty()) return field;
  char buf[64];
  if (type == jet::ColumnType::Double) {
    std::snprintf(buf, sizeof buf, "%.16g", std::strtod(field.c_str(), nullptr));
    return buf;
  }
  if (type == jet::ColumnType::Single) {
    std::snprintf(buf, sizeof buf, "%.8g", std::strtod(field.c_str(), nullptr));
    return buf;
  }
  return field;
}

TEST_P(Fixture, CsvExportAgreesWithStoredMdbExportCsv) {
  const jet::Database db = jet::Database::open(mdb());
  for (const std::string& table : db.tableNames()) {
    SCOPED_TRACE(table);
    const std::string expectedFile = kExpected + "/" + GetParam() + "." + table + ".csv";
    ASSERT_TRUE(std::filesystem::exists(expectedFile));
    const Outcome r = run(quote(kTool) + " export " + quote(mdb()) + " " + quote(table));
    ASSERT_EQ(r.status, 0);
    const auto ours = parseCsv(r.out);
    const auto theirs = parseCsv(readText(expectedFile));
    ASSERT_EQ(ours.size(), theirs.size());
    const jet::TableInfo info = db.table(table);
    for (std::size_t i = 0; i < ours.size(); ++i) {
      ASSERT_EQ(ours[i].size(), theirs[i].size()) << "row " << i;
      for (std::size_t j = 0; j < ours[i].size(); ++j) {
        const std::string mine =
            i == 0 ? ours[i][j] : likeMdbExport(ours[i][j], info.columns[j].type);
        EXPECT_EQ(mine, theirs[i][j]) << "row " << i << " column " << info.columns[j].name;
      }
    }
  }
}

// The CREATE TABLE part of `mdbtool schema` matches mdb-schema's once mdbtools'
// "Memo/Hyperlink (255)" and "OLE (255)" (the 255 is no size) and its "Long Integer"
// for AutoNumber columns are written mdbtool's way; mdbtools' banner and blank lines and
// mdbtool's index lines are left out.
TEST_P(Fixture, SchemaAgreesWithStoredMdbSchema) {
  auto lines = [](const std::string& text, bool ours) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line.rfind("--", 0) == 0) continue;
      if (ours && line.rfind("CREATE ", 0) == 0 && line.find(" INDEX ") != std::string::npos) {
        continue;
      }
      out.push_back(line);
    }
    return out;
  };
  std::string expected = readText(kExpected + "/" + GetParam() + ".schema.sql");
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"Memo/Hyperlink (255)", "Memo"}, {"OLE (255)", "OLE"}}) {
    for (std::size_t at; (at = expected.find(from)) != std::string::npos;) {
      expected.replace(at, from.size(), to);
    }
  }
  std::string ours = run(quote(kTool) + " schema " + quote(mdb())).out;
  for (std::size_t at; (at = ours.find("AutoNumber")) != std::string::npos;) {
    ours.replace(at, 10, "Long Integer");
  }
  EXPECT_EQ(lines(ours, true), lines(expected, false));
}

INSTANTIATE_TEST_SUITE_P(AllFixtures, Fixture, ::testing::ValuesIn(kFiles), [](const auto& info) {
  std::string n = info.param;
  return n.substr(0, n.find('.'));
});

// ---- the command line ------------------------------------------------------------

TEST(Mdbtool, TablesAndSchema) {
  EXPECT_EQ(run(quote(kTool) + " tables " + quote(kFixtures + "testV2003.mdb")).out,
            "Table1\nTable2\nTable3\nTable4\n");
  const Outcome schema =
      run(quote(kTool) + " schema " + quote(kFixtures + "testV2003.mdb") + " table1");
  EXPECT_EQ(schema.status, 0);
  EXPECT_NE(schema.out.find("CREATE TABLE [Table1]\n (\n\t[A]\t\t\tText (50), \n"),
            std::string::npos)
      << schema.out;
  EXPECT_NE(schema.out.find("\t[I]\t\t\tBoolean NOT NULL\n);\n"), std::string::npos);
  EXPECT_NE(schema.out.find("WITH PRIMARY;"), std::string::npos);
}

TEST(Mdbtool, ExportOptions) {
  const std::string file = quote(kFixtures + "testV2003.mdb");
  EXPECT_EQ(run(quote(kTool) + " export -H -d ';' " + file + " Table1").out,
            "\"abcdefg\";\"hijklmnop\";2;222;333333333;444.555;\"1974-09-21 00:00:00\";3.5000;1\n"
            "\"a\";\"b\";0;0;0;0;\"1981-12-12 00:00:00\";0.0000;0\n");
}

TEST(Mdbtool, ErrorsNameTheFileAndSetTheExitStatus) {
  Scratch scratch;
  const std::string err = scratch.file("err.txt");
  EXPECT_EQ(run(quote(kTool), err).status, 2);
  EXPECT_EQ(run(quote(kTool) + " export " + quote(kFixtures + "testV2003.mdb"), err).status, 2);
  EXPECT_EQ(run(quote(kTool) + " frobnicate x", err).status, 2);

  const Outcome missing =
      run(quote(kTool) + " export " + quote(kFixtures + "testV2003.mdb") + " Nope", err);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(readText(err), "mdbtool: " + kFixtures + "testV2003.mdb: no table named \"Nope\"\n");

  const Outcome notAccess = run(quote(kTool) + " tables " + quote(kFixtures + "README.md"), err);
  EXPECT_EQ(notAccess.status, 1);
  EXPECT_EQ(readText(err), "mdbtool: " + kFixtures + "README.md: not an Access database\n");
}

}  // namespace

// ---- cases no fixture holds, written by the engine's writer ---------------------

TEST(Mdbtool, ReadsCasesNoFixtureHoldsAsBothReferenceReadersDo) {
  Scratch scratch;
  const std::string path = scratch.file("cases.mdb");
  jet::DatabaseWriter::create(path);
  {
    jet::DatabaseWriter db = jet::DatabaseWriter::open(path);
    db.createTable("Cases", {{"Name", jet::ColumnType::Text, 50},
                             {"Ratio", jet::ColumnType::Single},
                             {"At", jet::ColumnType::DateTime},
                             {"Notes", jet::ColumnType::Memo},
                             {"Blob", jet::ColumnType::Ole},
                             {"Price", jet::ColumnType::Currency}});
    jet::TableAppender rows = db.appender("Cases");
    std::string longMemo;
    for (int i = 0; longMemo.size() < 100000; ++i) longMemo += "line " + std::to_string(i) + "\n";
    jet::Bytes blob(10000);
    for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<std::uint8_t>(i * 7);
    using jet::Value;
    rows.append({Value::text("long memo over many pages"), Value::single(0.1f),
                 Value::dateTime({0.25}), Value::text(longMemo), Value::bytes(blob),
                 Value::currency({-12345})});
    rows.append({Value::text("中文名稱"), Value::single(-3.5f), Value::dateTime({45000.999988}),
                 Value::text("備註 with \"quotes\", commas\nand lines"), Value(), Value()});
    rows.append({Value::text(""), Value(), Value(), Value::text(""), Value::bytes({}), Value()});
    rows.flush();
    db.flush();
  }
  const std::string dumpFile = scratch.file("cases.json");
  ASSERT_EQ(run(quote(kTool) + " dump " + quote(path) + " > " + quote(dumpFile)).status, 0);
  ::setenv("MDB_READER_DIR", mdbReaderDir().c_str(), 1);
  const Outcome compare = run("python3 " + quote(kShared + "/tools/compare-mdb.py") + " " +
                              quote(path) + " --json " + quote(dumpFile) + " 2>&1");
  EXPECT_EQ(compare.status, 0) << compare.out;
  const Outcome node = run("node " + quote(kShared + "/tools/mdb-dump.mjs") + " " + quote(path));
  ASSERT_EQ(node.status, 0);
  EXPECT_EQ(readText(dumpFile), node.out);

  const Outcome csv = run(quote(kTool) + " export " + quote(path) + " Cases");
  EXPECT_NE(csv.out.find("\n\"中文名稱\",-3.5,\"2023-03-15 23:59:59\",\"備註 with \"\"quotes\"\", "
                         "commas\nand lines\",,\n"),
            std::string::npos);
  EXPECT_NE(csv.out.find(",0.1,\"1899-12-30 06:00:00\","), std::string::npos);
  EXPECT_NE(csv.out.find("\n\"\",,,\"\",\"\",\n"), std::string::npos);  // empty is not NULL
}
