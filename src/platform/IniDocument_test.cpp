#include "IniDocument.h"

#include <gtest/gtest.h>

#include "platform/CodePage.h"

using namespace platform;

namespace {

QString u(const char16_t* s) {
  return QString::fromUtf16(s);
}

// A Config.ini as Windows leaves it after hand edits: CRLF, Big5 text, comments,
// blank lines, blanks around '=', a duplicate key and no line end at the end.
QByteArray windowsFile() {
  return toBig5(
      u(u"; 資料轉換程式設定\r\n"
        u"\r\n"
        u"[MSSQL]\r\n"
        u"Host = 192.168.1.5  \r\n"
        u"\tDatabase=KAROS\r\n"
        u"User=sa\r\n"
        u"Password=密碼\r\n"
        u"Host=10.0.0.1\r\n"
        u"; Password=old\r\n"
        u"\r\n"
        u"[Export Import]\r\n"
        u"Item=1\r\n"
        u"Remark=商品資料 中\u3000\r\n"
        u"[Other]\r\n"
        u"Keep=this"));
}

}  // namespace

TEST(IniDocument, ReadsAFileWrittenOnWindows) {
  const IniDocument doc(windowsFile());
  EXPECT_EQ(doc.value("MSSQL", "Host"), QStringLiteral("192.168.1.5"));  // the first wins
  EXPECT_EQ(doc.value("MSSQL", "Database"), QStringLiteral("KAROS"));
  EXPECT_EQ(doc.value("MSSQL", "Password"), u(u"密碼"));
  EXPECT_EQ(doc.value("Export Import", "Item"), QStringLiteral("1"));
  // Only ASCII blanks are trimmed; the ideographic space is part of the value.
  EXPECT_EQ(doc.value("Export Import", "Remark"), u(u"商品資料 中\u3000"));
  EXPECT_EQ(doc.value("Other", "Keep"), QStringLiteral("this"));
  // Names without regard to case.
  EXPECT_EQ(doc.value("mssql", "HOST"), QStringLiteral("192.168.1.5"));
  EXPECT_EQ(doc.value("export import", "item"), QStringLiteral("1"));
  // A key is looked up in its own section only; comments are not keys.
  EXPECT_EQ(doc.value("Export Import", "Host"), std::nullopt);
  EXPECT_EQ(doc.value("Missing", "Host"), std::nullopt);
  EXPECT_EQ(doc.value("MSSQL", "; Password"), std::nullopt);
}

TEST(IniDocument, ParsesLineShapes) {
  const IniDocument doc(
      toBig5(u(u"Orphan=1\n"
               u"[也]\n"  // Big5 A45D: ']' as a second byte
               u"Key=in big5 section\n"
               u"[Broken\n"
               u"NoEquals\n"
               u"Empty=\n"
               u"  [ Spaced ]  ; note\n"
               u"Q1=\"  padded \"\n"
               u"Q2='x'\n"
               u"Q3=\"x'\n"
               u"Q4=\"\n"
               u"Eq=a=b\n")));
  EXPECT_EQ(doc.value("", "Orphan"), std::nullopt);
  EXPECT_EQ(doc.value(u(u"也"), "Key"), QStringLiteral("in big5 section"));
  // "[Broken" is no section header, so its lines belong to the section above.
  EXPECT_EQ(doc.value(u(u"也"), "Empty"), QString(""));
  EXPECT_EQ(doc.value(u(u"也"), "NoEquals"), std::nullopt);
  EXPECT_EQ(doc.value("Spaced", "Q1"), QStringLiteral("  padded "));
  EXPECT_EQ(doc.value("Spaced", "Q2"), QStringLiteral("x"));
  EXPECT_EQ(doc.value("Spaced", "Q3"), QStringLiteral("\"x'"));
  EXPECT_EQ(doc.value("Spaced", "Q4"), QStringLiteral("\""));
  EXPECT_EQ(doc.value("Spaced", "Eq"), QStringLiteral("a=b"));
}

TEST(IniDocument, WritingKeepsEveryOtherLineAsItWas) {
  QByteArray original = windowsFile();
  original.insert(original.indexOf("[Other]"), "; bad bytes \x81\x20\xff\r\n");
  IniDocument doc(original);
  doc.setValue("mssql", "HOST", "127.0.0.1");
  doc.setValue("Export Import", "Classify", "0");
  const QByteArray written = doc.toBytes();

  // The value is replaced in place under the file's spelling of the key, the new key
  // follows the section's last key, and the last line gets its line end.
  QByteArray expected = original;
  expected.replace("Host = 192.168.1.5  ", "Host=127.0.0.1");
  expected.replace("Keep=this", "Keep=this\r\n");
  expected.replace(toBig5(u(u"Remark=商品資料 中\u3000\r\n")),
                   toBig5(u(u"Remark=商品資料 中\u3000\r\nClassify=0\r\n")));
  EXPECT_EQ(written, expected);
  EXPECT_EQ(IniDocument(written).value("MSSQL", "Host"), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(IniDocument(written).value("Export Import", "Item"), QStringLiteral("1"));
}

TEST(IniDocument, NewKeysGoBeforeTrailingCommentsAndNewSectionsAtTheEnd) {
  IniDocument doc("[A]\nx=1\n\n; about B\n[B]\ny=2\n");
  doc.setValue("a", "z", "3");
  doc.setValue("C", "w", "4");
  doc.setValue("B", "y", "5");
  EXPECT_EQ(doc.toBytes(), QByteArray("[A]\r\nx=1\r\nz=3\r\n\r\n; about B\r\n[B]\r\ny=5\r\n"
                                      "[C]\r\nw=4\r\n"));
  IniDocument empty{QByteArray()};
  EXPECT_EQ(empty.toBytes(), QByteArray());
  empty.setValue("S", "k", "");
  EXPECT_EQ(empty.toBytes(), QByteArray("[S]\r\nk=\r\n"));
}

TEST(IniDocument, LineBreaksInAValueCannotAddKeysOrSections) {
  IniDocument doc("[MSSQL]\r\nHost=a\r\n");
  doc.setValue("MSSQL", "User", "x\r\n[Evil]\r\nHost=attacker\nPassword=y\rz");
  doc.setValue("Other\n[Evil]\nX", "Key\r\nHost", "v");
  const IniDocument back(doc.toBytes());
  EXPECT_EQ(back.value("MSSQL", "Host"), QStringLiteral("a"));
  EXPECT_EQ(back.value("MSSQL", "User"), QStringLiteral("x [Evil] Host=attacker Password=y z"));
  EXPECT_EQ(back.value("Evil", "Host"), std::nullopt);
  EXPECT_EQ(back.value("MSSQL", "Password"), std::nullopt);
  EXPECT_EQ(back.value("Other [Evil", "Key Host"), QStringLiteral("v"));
  EXPECT_EQ(doc.toBytes().count("\r\n"), 5);
}

TEST(IniDocument, ValuesThatReadingWouldChangeAreQuoted) {
  for (const QString& value :
       {QStringLiteral("  pw "), QStringLiteral("\tx"), QStringLiteral("\"q\""),
        QStringLiteral("'q'"), QStringLiteral("\"\""), QStringLiteral(" ")}) {
    IniDocument doc{QByteArray()};
    doc.setValue("S", "K", value);
    EXPECT_EQ(IniDocument(doc.toBytes()).value("S", "K"), value) << value.toStdString();
  }
  // Everything else is stored as typed.
  EXPECT_EQ(IniDocument::encodeValue("a b"), QStringLiteral("a b"));
  EXPECT_EQ(IniDocument::encodeValue("\"a"), QStringLiteral("\"a"));
  EXPECT_EQ(IniDocument::encodeValue(" a"), QStringLiteral("\" a\""));
  EXPECT_EQ(IniDocument::encodeValue(""), QString(""));
}
