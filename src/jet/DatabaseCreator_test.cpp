#include "DatabaseCreator.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "Catalog.h"
#include "ReferenceReaders.h"
#include "TableDef.h"
#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/DatabaseWriter.h"
#include "jet/Error.h"

namespace jet {
namespace {

// The system rows of the Jet-made reference are dated 42329.94480322917.
double referenceDate() {
  const std::uint8_t b[8] = {0x4e, 0xfb, 0xd3, 0x3b, 0x3e, 0xab, 0xe4, 0x40};
  double d;
  std::memcpy(&d, b, 8);
  return d;
}

void expectSameStructure(const TableDef& made, const TableDef& real) {
  SCOPED_TRACE("table definition " + std::to_string(real.page));
  EXPECT_EQ(made.tableType, real.tableType);
  EXPECT_EQ(made.rowCount, real.rowCount);
  EXPECT_EQ(made.maxColumns, real.maxColumns);
  EXPECT_EQ(made.varColumns, real.varColumns);
  ASSERT_EQ(made.columns.size(), real.columns.size());
  for (std::size_t i = 0; i < real.columns.size(); ++i) {
    const ColumnDef& a = made.columns[i];
    const ColumnDef& b = real.columns[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.type, b.type) << b.name;
    EXPECT_EQ(a.number, b.number) << b.name;
    EXPECT_EQ(a.flags, b.flags) << b.name;
    EXPECT_EQ(a.extraFlags, b.extraFlags) << b.name;
    EXPECT_EQ(a.length, b.length) << b.name;
    if (b.isFixed()) {
      EXPECT_EQ(a.fixedOffset, b.fixedOffset) << b.name;  // junk on variable columns
    } else {
      EXPECT_EQ(a.varSlot, b.varSlot) << b.name;
    }
  }
  ASSERT_EQ(made.realIndexes.size(), real.realIndexes.size());
  for (std::size_t i = 0; i < real.realIndexes.size(); ++i) {
    const auto& a = made.realIndexes[i];
    const auto& b = real.realIndexes[i];
    ASSERT_EQ(a.keys.size(), b.keys.size());
    for (std::size_t k = 0; k < b.keys.size(); ++k) {
      EXPECT_EQ(a.keys[k].column, b.keys[k].column);
      EXPECT_EQ(a.keys[k].ascending, b.keys[k].ascending);
    }
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.distinctKeys, b.distinctKeys);
  }
  ASSERT_EQ(made.logicalIndexes.size(), real.logicalIndexes.size());
  for (std::size_t i = 0; i < real.logicalIndexes.size(); ++i) {
    EXPECT_EQ(made.logicalIndexes[i].name, real.logicalIndexes[i].name);
    EXPECT_EQ(made.logicalIndexes[i].number, real.logicalIndexes[i].number);
    EXPECT_EQ(made.logicalIndexes[i].realIndex, real.logicalIndexes[i].realIndex);
    EXPECT_EQ(made.logicalIndexes[i].kind, real.logicalIndexes[i].kind);
  }
  ASSERT_EQ(made.longValueMaps.size(), real.longValueMaps.size());
  for (std::size_t i = 0; i < real.longValueMaps.size(); ++i)
    EXPECT_EQ(made.longValueMaps[i].column, real.longValueMaps[i].column);
}

TEST(DatabaseCreator, BuildsTheJetEngineEmptyDatabaseStructureForStructure) {
  testing::ScratchDir dir("creator");
  const std::string made = dir.file("new.mdb");
  const std::vector<PageImage> pages = DatabaseCreator::pages(referenceDate());
  std::vector<std::uint8_t> bytes;
  for (const auto& p : pages) bytes.insert(bytes.end(), p.bytes.begin(), p.bytes.end());
  testing::writeFile(made, bytes);
  const std::vector<std::uint8_t> real = testing::readFile(testing::fixture("adox_jet4.mdb"));
  ASSERT_EQ(bytes.size(), real.size());

  // Header, page map, usage maps, index leaves and catalog data: byte for byte.
  for (std::uint32_t page : {0u, 1u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u}) {
    EXPECT_TRUE(std::equal(bytes.begin() + page * 4096, bytes.begin() + (page + 1) * 4096,
                           real.begin() + page * 4096))
        << "page " << page;
  }
  // Table definitions: everything but the junk fields.
  PageFile madeFile(made, Mode::ReadOnly),
      realFile(testing::fixture("adox_jet4.mdb"), Mode::ReadOnly);
  PageFile accessFile(testing::fixture("empty.mdb"), Mode::ReadOnly);
  for (std::uint32_t tdef = 2; tdef <= 5; ++tdef) {
    const TableDef ours = TableDef::read(madeFile, tdef);
    expectSameStructure(ours, TableDef::read(realFile, tdef));
    EXPECT_EQ(ours.ownedMap, TableDef::read(realFile, tdef).ownedMap);
    for (std::size_t i = 0; i < ours.realIndexes.size(); ++i)
      EXPECT_EQ(ours.realIndexes[i].rootPage,
                TableDef::read(realFile, tdef).realIndexes[i].rootPage);
    // The system tables Access 2000 makes have the same columns and indexes.
    TableDef access = TableDef::read(accessFile, tdef);
    TableDef mine = ours;
    mine.rowCount = access.rowCount;
    for (std::size_t i = 0; i < mine.realIndexes.size() && i < access.realIndexes.size(); ++i)
      mine.realIndexes[i].distinctKeys = access.realIndexes[i].distinctKeys;
    expectSameStructure(mine, access);
  }
  // Same catalog containers and objects as the reference.
  const Catalog a = Catalog::read(madeFile), b = Catalog::read(realFile);
  ASSERT_EQ(a.entries().size(), b.entries().size());
  for (std::size_t i = 0; i < a.entries().size(); ++i) {
    EXPECT_EQ(a.entries()[i].name, b.entries()[i].name);
    EXPECT_EQ(a.entries()[i].id, b.entries()[i].id);
    EXPECT_EQ(a.entries()[i].parentId, b.entries()[i].parentId);
    EXPECT_EQ(a.entries()[i].type, b.entries()[i].type);
    EXPECT_EQ(a.entries()[i].flags, b.entries()[i].flags);
  }
}

TEST(DatabaseCreator, CreatesAFileEveryReaderOpensAndRefusesToOverwrite) {
  testing::ScratchDir dir("creator-file");
  const std::string path = dir.file("Empty.mdb");
  DatabaseWriter::create(path);
  EXPECT_EQ(testing::readFile(path).size(), 16u * 4096);
  EXPECT_TRUE(Database::open(path).tableNames().empty());
  EXPECT_EQ(testing::mdbtoolsProblems(path), "");
  EXPECT_EQ(testing::runCommand("mdb-ver " + testing::shellQuoted(path)).out, "JET4\n");
  EXPECT_EQ(testing::readersDisagree(path), "");
  EXPECT_FALSE(std::filesystem::exists(path + ".creating"));

  const auto before = testing::readFile(path);
  EXPECT_THROW(DatabaseWriter::create(path), Error);
  EXPECT_EQ(testing::readFile(path), before);
  EXPECT_THROW(DatabaseWriter::create(dir.file("no-such-folder/x.mdb")), Error);
}

}  // namespace
}  // namespace jet
