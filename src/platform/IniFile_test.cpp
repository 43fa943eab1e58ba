#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/ErrorText.h"

using namespace platform;

namespace {

QString u(const char16_t* s) {
  return QString::fromUtf16(s);
}

QByteArray readBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class IniFileTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString path() const { return dir.filePath("Test.ini"); }
  IniFile fileWith(const QByteArray& bytes) {
    writeBytes(path(), bytes);
    return IniFile(path());
  }
};

}  // namespace

TEST_F(IniFileTest, MissingFileGivesDefaultsAndIsNotCreated) {
  const IniFile ini(path());
  EXPECT_EQ(ini.readString("MSSQL", "Host", "127.0.0.1"), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(ini.readInteger("Total", "Col", 7), 7);
  EXPECT_TRUE(ini.readBool("Export Import", "Item", true));
  EXPECT_FALSE(QFile::exists(path()));
  // A folder in place of the file reads like a missing file.
  EXPECT_EQ(IniFile(dir.path()).readString("S", "K", "d"), QStringLiteral("d"));
}

TEST_F(IniFileTest, ReadsIntegersInDecimalAndHexadecimal) {
  struct Case {
    const char* text;
    int expected;
  };
  const int def = -99;
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"+7", 7},
      {"-1", -1},
      {" 12 ", 12},
      {"0x1", 1},
      {"0X1f", 31},
      {"$10", 16},
      {"$ff", 255},
      {"-$10", -16},
      {"-0x10", -16},
      {"$FFFFFFFF", -1},
      {"$7fffffff", 2147483647},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", def},
      {"$100000000", def},
      {"", def},
      {"yes", def},
      {"True", def},
      {"1 2", def},
      {"12abc", def},
      {"0x", def},
      {"$", def},
      {"-", def},
      {"0x1g", def},
      {"1.5", def},
      {"--1", def},
      {"\"\"", def},
  };
  for (const Case& c : cases) {
    const IniFile ini = fileWith(QByteArray("[S]\r\nK=") + c.text + "\r\n");
    EXPECT_EQ(ini.readInteger("S", "K", def), c.expected) << "value [" << c.text << "]";
  }
  // Full-width digits are not digits here.
  EXPECT_EQ(fileWith(toBig5(u(u"[S]\r\nK=１２\r\n"))).readInteger("S", "K", def), def);
}

TEST_F(IniFileTest, ReadsFlagsAsIntegers) {
  struct Case {
    const char* text;
    bool def;
    bool expected;
  };
  const Case cases[] = {
      {"1", false, true}, {"2", false, true},  {"-1", false, true},    {"0x1", false, true},
      {"0", true, false}, {"$0", true, false}, {"yes", false, false},  {"yes", true, true},
      {"", false, false}, {"", true, true},    {"True", false, false},
  };
  for (const Case& c : cases) {
    const IniFile ini = fileWith(QByteArray("[Export Import]\r\nItem=") + c.text + "\r\n");
    EXPECT_EQ(ini.readBool("export import", "ITEM", c.def), c.expected)
        << "value [" << c.text << "] default " << c.def;
  }
}

TEST_F(IniFileTest, CutsLongValuesAt2047BytesOnACharacterBoundary) {
  const QString chinese(1500, QChar(0x4E2D));  // 3000 Big5 bytes
  IniFile ini(path());
  ini.writeString("S", "Ascii", QString(3000, QLatin1Char('x')));
  ini.writeString("S", "Chinese", chinese);
  ini.writeString("S", "Odd", QLatin1Char('a') + chinese);
  ini.writeString("S", "Exact", QString(2047, QLatin1Char('y')));
  EXPECT_EQ(ini.readString("S", "Ascii", ""), QString(2047, QLatin1Char('x')));
  EXPECT_EQ(ini.readString("S", "Chinese", ""), chinese.left(1023));  // 2046 bytes
  EXPECT_EQ(ini.readString("S", "Odd", ""), QLatin1Char('a') + chinese.left(1023));
  EXPECT_EQ(ini.readString("S", "Exact", ""), QString(2047, QLatin1Char('y')));
  // The file holds the whole value.
  EXPECT_TRUE(readBytes(path()).contains(toBig5(chinese)));
}

TEST_F(IniFileTest, WritesBig5WithCrlfAndSeesHandEditsAtOnce) {
  IniFile ini(path());
  ini.writeString("Display", "Label01", u(u"小分類編號"));
  ini.writeInteger("Total", "Col", -4);
  ini.writeBool("Export Import", "Item", true);
  ini.writeBool("Export Import", "Customer", false);
  EXPECT_EQ(readBytes(path()), toBig5(u(u"[Display]\r\nLabel01=小分類編號\r\n[Total]\r\nCol=-4\r\n"
                                        u"[Export Import]\r\nItem=1\r\nCustomer=0\r\n")));
  EXPECT_EQ(ini.readString("display", "label01", ""), u(u"小分類編號"));
  // Nothing is cached: an edit by hand shows at the next read.
  writeBytes(path(), "[Total]\nCol=9\n");
  EXPECT_EQ(ini.readInteger("Total", "Col", 0), 9);
}

TEST_F(IniFileTest, RefusedWriteNamesTheFullPath) {
  // These fail even for root: a folder that is a regular file, a missing folder, /proc.
  writeBytes(dir.filePath("plain"), "x");
  const QString paths[] = {dir.filePath("plain/Config.ini"), dir.filePath("none/Config.ini"),
                           QStringLiteral("/proc/Config.ini")};
  for (const QString& p : paths) {
    IniFile ini(p);
    try {
      ini.writeString("MSSQL", "Host", "h");
      ADD_FAILURE() << "no error for " << p.toStdString();
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), unableToWrite(p));
    }
  }
  // A relative path is reported in full.
  const QString cwd = QDir::currentPath();
  QDir::setCurrent(dir.path());
  try {
    IniFile("plain/Config.ini").writeString("S", "K", "v");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), unableToWrite(dir.filePath("plain/Config.ini")));
  }
  QDir::setCurrent(cwd);
}

TEST_F(IniFileTest, RefusedWriteLeavesTheFileAsItWas) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  const QByteArray original = "[MSSQL]\r\nHost=keep\r\n";
  IniFile ini = fileWith(original);
  ::chmod(QFile::encodeName(path()).constData(), 0444);
  EXPECT_THROW(ini.writeString("MSSQL", "Host", "new"), Error);
  EXPECT_EQ(readBytes(path()), original);
  // Unreadable: writing must not replace it by a file holding one key.
  ::chmod(QFile::encodeName(path()).constData(), 0200);
  EXPECT_THROW(ini.writeString("MSSQL", "User", "u"), Error);
  ::chmod(QFile::encodeName(path()).constData(), 0644);
  EXPECT_EQ(readBytes(path()), original);
  // A read-only folder.
  ::chmod(QFile::encodeName(dir.path()).constData(), 0555);
  EXPECT_THROW(IniFile(dir.filePath("New.ini")).writeString("S", "K", "v"), Error);
  ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
}

TEST_F(IniFileTest, ReadsAndErasesWholeSections) {
  IniFile ini = fileWith(
      "[A]\r\nx=1\r\n; note\r\n[Fields]\r\nfield1=b\r\nfield0=\"  a  \"\r\n\r\n[C]\r\ny=2\r\n");
  const std::vector<IniEntry> fields = ini.readSection("FIELDS");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].key, "field1");
  EXPECT_EQ(fields[0].value, "b");
  EXPECT_EQ(fields[1].value, "  a  ");
  EXPECT_TRUE(ini.readSection("Missing").empty());

  ini.eraseSection("fields");
  EXPECT_EQ(readBytes(path()), QByteArray("[A]\r\nx=1\r\n; note\r\n[C]\r\ny=2\r\n"));

  ini.replaceSection("c", {{"C", "z", "3"}, {"A", "x", "9"}});
  EXPECT_EQ(readBytes(path()), QByteArray("[A]\r\nx=9\r\n; note\r\n[C]\r\nz=3\r\n"));

  // Erasing what is not there leaves a missing file missing.
  IniFile absent(dir.filePath("Absent.ini"));
  absent.eraseSection("Fields");
  EXPECT_FALSE(QFile::exists(absent.fileName()));
}
