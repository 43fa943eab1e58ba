#include "config/ColumnMap.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <platform/CodePage.h>
#include <platform/Error.h>
#include <platform/ErrorText.h>
#include <platform/IniFile.h>
#include <platform/ProgramFolder.h>

using namespace config;

namespace {

QString u(const char16_t* s) {
  return QString::fromUtf16(s);
}

class ColumnMapTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  void SetUp() override { platform::setProgramFolderForTesting(dir.path()); }
  void TearDown() override { platform::setProgramFolderForTesting(QString()); }
  QString path(const char* name = "Classify.ini") const { return dir.filePath(name); }
  QByteArray bytes(const QString& p) const {
    QFile f(p);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void writeBig5(const QString& p, const QString& text) const {
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(platform::toBig5(text));
  }
  static ColumnMap classifyMap() {
    ColumnMap m;
    m.setKey("ClsNo", u(u"小分類編號"));
    m.addPair("ClsNo", u(u"小分類編號"));
    m.addPair("ClsName", u(u"小分類名稱"));
    m.addPair("Flag", "Flag");
    m.addPair("Void", "Void");
    return m;
  }
};

TEST_F(ColumnMapTest, PairKeysArePaddedToTwoDigitsAndGrowPastThem) {
  EXPECT_EQ(ColumnMap::nameKey(7), "Name07");
  EXPECT_EQ(ColumnMap::labelKey(7), "Label07");
  EXPECT_EQ(ColumnMap::nameKey(12), "Name12");
  EXPECT_EQ(ColumnMap::labelKey(100), "Label100");

  QString text = "[Total]\r\nCol=100\r\n[Field]\r\n";
  for (int i = 1; i <= 100; ++i) text += QString::asprintf("Name%.2d=P%d\r\n", i, i);
  text += "[Display]\r\n";
  for (int i = 1; i <= 100; ++i) text += QString::asprintf("Label%.2d=A%d\r\n", i, i);
  writeBig5(path(), text);
  const ColumnMap m = ColumnMap::read(path());
  ASSERT_EQ(m.pairs().size(), 100u);
  EXPECT_EQ(m.pairs()[6].field, "P7");
  EXPECT_EQ(m.pairs()[11].display, "A12");
  EXPECT_EQ(m.pairs()[99].field, "P100");
  EXPECT_EQ(m.pairs()[99].display, "A100");
}

TEST_F(ColumnMapTest, WritesTheExportLayoutInBig5AndReadsItBack) {
  classifyMap().writeTable("Classify");
  const QString expected = u(
      u"[Total]\r\nCol=4\r\n[PKey]\r\nField=ClsNo\r\nDisplay=小分類編號\r\n"
      u"[Field]\r\nName01=ClsNo\r\nName02=ClsName\r\nName03=Flag\r\nName04=Void\r\n"
      u"[Display]\r\nLabel01=小分類編號\r\nLabel02=小分類名稱\r\nLabel03=Flag\r\nLabel04=Void\r\n");
  EXPECT_EQ(bytes(path()), platform::toBig5(expected));

  const ColumnMap m = ColumnMap::readTable("Classify");
  EXPECT_EQ(m.count(), 4);
  EXPECT_EQ(m.keyField(), "ClsNo");
  EXPECT_EQ(m.keyDisplay(), u(u"小分類編號"));
  ASSERT_EQ(m.pairs().size(), 4u);
  EXPECT_EQ(m.pairs()[1].field, "ClsName");
  EXPECT_EQ(m.pairs()[1].display, u(u"小分類名稱"));
  EXPECT_TRUE(m.isKeyPair(m.pairs()[0]));
  EXPECT_FALSE(m.isKeyPair(m.pairs()[1]));
}

TEST_F(ColumnMapTest, OneRewriteLeavesWhatWritingEachEntryWould) {
  // A file edited by hand: comments, another section, keys out of order, old pairs.
  const QString start =
      u(u"; 手改\r\n[Display]\r\nLabel02=舊\r\n[Other]\r\nX=1\r\n[Field]\r\nName06=Old6\r\n"
        u"Name05=Old5\r\n[Total]\r\nCol=6\r\n");
  writeBig5(path("A.ini"), start);
  writeBig5(path("B.ini"), start);
  const ColumnMap m = classifyMap();
  m.write(path("A.ini"));
  platform::IniFile b(path("B.ini"));
  b.writeString("Total", "Col", "4");
  b.writeString("PKey", "Field", m.keyField());
  b.writeString("PKey", "Display", m.keyDisplay());
  for (int i = 1; i <= 4; ++i) {
    b.writeString("Field", ColumnMap::nameKey(i), m.pairs()[size_t(i - 1)].field);
    b.writeString("Display", ColumnMap::labelKey(i), m.pairs()[size_t(i - 1)].display);
  }
  EXPECT_EQ(bytes(path("A.ini")), bytes(path("B.ini")));

  // Four pairs over six: the old fifth and sixth stay in the file, unread.
  const QString text = platform::fromBig5(bytes(path("A.ini")));
  EXPECT_TRUE(text.contains("Name05=Old5"));
  EXPECT_TRUE(text.contains("Name06=Old6"));
  EXPECT_EQ(ColumnMap::read(path("A.ini")).pairs().size(), 4u);
}

TEST_F(ColumnMapTest, MissingOrOddEntriesReadAsTheirDefaults) {
  const ColumnMap none = ColumnMap::read(path("Missing.ini"));
  EXPECT_EQ(none.count(), 0);
  EXPECT_TRUE(none.keyField().isEmpty());
  EXPECT_TRUE(none.keyDisplay().isEmpty());
  EXPECT_TRUE(none.pairs().empty());

  writeBig5(path(), "[Total]\r\nCol=four\r\n[Field]\r\nName01=ClsNo\r\n");
  EXPECT_EQ(ColumnMap::read(path()).count(), 0);
  EXPECT_TRUE(ColumnMap::read(path()).pairs().empty());

  writeBig5(path(), "[Total]\r\nCol=-3\r\n[Field]\r\nName01=ClsNo\r\n");
  EXPECT_TRUE(ColumnMap::read(path()).pairs().empty());

  // Entries above N are ignored; a missing label is empty.
  writeBig5(path(),
            "[total]\r\ncol=2\r\n[FIELD]\r\nname01=ClsNo\r\nName02=ClsName\r\nName03=X\r\n");
  const ColumnMap two = ColumnMap::read(path());
  ASSERT_EQ(two.pairs().size(), 2u);
  EXPECT_EQ(two.pairs()[1].field, "ClsName");
  EXPECT_TRUE(two.pairs()[1].display.isEmpty());
}

TEST_F(ColumnMapTest, PairsStopAtTheFirstOneWithoutAPosName) {
  // The import fails at that pair, so nothing after it matters; a huge Col must not
  // make millions of empty pairs.
  writeBig5(path(),
            "[Total]\r\nCol=2147483647\r\n[Field]\r\nName01=ClsNo\r\nName03=Flag\r\n"
            "[Display]\r\nLabel02=L2\r\n");
  const ColumnMap m = ColumnMap::read(path());
  EXPECT_EQ(m.count(), 2147483647);
  ASSERT_EQ(m.pairs().size(), 2u);
  EXPECT_TRUE(m.pairs()[1].field.isEmpty());
  EXPECT_EQ(m.pairs()[1].display, "L2");
}

TEST_F(ColumnMapTest, KeyPairTestIsCaseSensitive) {
  writeBig5(path(), "[Total]\r\nCol=1\r\n[PKey]\r\nField=ClsNo\r\n[Field]\r\nName01=clsno\r\n");
  const ColumnMap m = ColumnMap::read(path());
  ASSERT_EQ(m.pairs().size(), 1u);
  EXPECT_FALSE(m.isKeyPair(m.pairs()[0]));
}

TEST_F(ColumnMapTest, RefusedWriteNamesTheFileAndKeepsTheOldOne) {
  try {
    classifyMap().write(dir.filePath("none/Classify.ini"));
    ADD_FAILURE();
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.message(), platform::unableToWrite(dir.filePath("none/Classify.ini")));
  }
}

}  // namespace
