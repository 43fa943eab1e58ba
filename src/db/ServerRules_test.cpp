// The engines' rules for texts: which keys are one row for the server, and which
// values a column stores alike.
#include "db/ServerRules.h"

#include "db/ResultSet.h"

#include <gtest/gtest.h>

namespace db {
namespace {

TEST(ServerRules, CollationNamesSayWhatTheServerIgnores) {
  const ServerRules shop = ServerRules::sqlServer("Chinese_Taiwan_Stroke_CI_AS");
  EXPECT_TRUE(shop.caseInsensitive());
  EXPECT_TRUE(shop.widthInsensitive());
  EXPECT_TRUE(shop.trailingBlanksIgnored());
  const ServerRules cs = ServerRules::sqlServer("Chinese_PRC_CS_AS_WS");
  EXPECT_FALSE(cs.caseInsensitive());
  EXPECT_FALSE(cs.widthInsensitive());
  const ServerRules bin = ServerRules::sqlServer("chinese_prc_bin2");
  EXPECT_FALSE(bin.caseInsensitive());
  EXPECT_FALSE(bin.widthInsensitive());
  EXPECT_TRUE(bin.trailingBlanksIgnored());  // "=" pads whatever the collation
  EXPECT_TRUE(ServerRules::sqlServer("SQL_Latin1_General_CP1_CI_AS").widthInsensitive());
  EXPECT_FALSE(ServerRules().trailingBlanksIgnored());
}

TEST(ServerRules, KeysOfOneFormAreOneRowForTheServer) {
  const ServerRules shop = ServerRules::sqlServer("Chinese_Taiwan_Stroke_CI_AS");
  const QString s01 = shop.keyForm("S01", false);
  for (const QString& same : {QStringLiteral("s01"), QStringLiteral("S01  "),
                              QStringLiteral("Ｓ０１"), QStringLiteral("ｓ01\u3000")})
    EXPECT_EQ(shop.keyForm(same, false), s01) << same.toStdString();
  EXPECT_NE(shop.keyForm(" S01", false), s01);  // leading blanks count
  EXPECT_NE(shop.keyForm("S011", false), s01);
  // Keys already in their form are not copied.
  const QString digits = QStringLiteral("20006952");
  EXPECT_EQ(shop.keyForm(digits, false).constData(), digits.constData());

  const ServerRules exact;  // PostgreSQL
  EXPECT_EQ(exact.keyForm("s01", false), "s01");
  EXPECT_EQ(exact.keyForm("S01 ", false), "S01 ");
  EXPECT_EQ(exact.keyForm("S01 ", true), "S01");  // bpchar's padding
  EXPECT_EQ(ServerRules::sqlite().keyForm("S01 ", true), "S01 ");
}

TEST(ServerRules, OnlyAPaddedColumnStoresTrailingBlanksAlike) {
  EXPECT_TRUE(storedAlike(QString(" "), QString(""), true));
  EXPECT_FALSE(storedAlike(QString(" "), QString(""), false));
  EXPECT_FALSE(storedAlike(QString("abc"), QString("ABC"), true));
  EXPECT_FALSE(storedAlike(QString(""), QVariant(), true));  // NULL is no text
  EXPECT_TRUE(storedAlike(QVariant(), QVariant(), false));
  EXPECT_FALSE(storedAlike(qint64(1), 1.0, false));
  ColumnInfo fixed;
  fixed.fixedChar = true;
  EXPECT_TRUE(ServerRules().padded(&fixed));
  EXPECT_FALSE(ServerRules::sqlite().padded(&fixed));
  EXPECT_FALSE(ServerRules().padded(nullptr));
}

TEST(ServerRules, TheExactCheckOfSqlServerTellsCaseWidthAndTrailingBlanksApart) {
  const ServerRules shop = ServerRules::sqlServer("Chinese_Taiwan_Stroke_CI_AS");
  EXPECT_EQ(shop.exactTextCheck("[Name]", false),
            "([Name] + N'|') COLLATE Latin1_General_BIN2 = ? + N'|'");
  EXPECT_EQ(shop.exactTextCheck("[Void]", true), "([Void] + N'') COLLATE Latin1_General_BIN2 = ?");
  EXPECT_EQ(ServerRules::sqlite().exactTextCheck("\"Name\"", false), "\"Name\" = ? COLLATE BINARY");
  EXPECT_EQ(ServerRules().exactTextCheck("\"Name\"", false), "\"Name\" = ?");
  EXPECT_FALSE(ServerRules::countKnown(-1));
  EXPECT_TRUE(ServerRules::countKnown(0));
}

}  // namespace
}  // namespace db
