// Runs after every suite (a CTest fixture orders it last): each text the suites showed an
// operator - boxes, reports, the batch command's output - must read Chinese first. Any
// English word that is not a file, table or column name, a quoted value or a known term
// (SQL, POS, Excel...) fails the check, with the test that showed it.
#include "ShownTexts.h"

#include <db/Field.h>
#include <posdb/DmMdf.h>

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using platform::testing::foreignWords;

// The POS's table and column names, as texts name them, and the operator's login name
// (the journals list who ran each import).
const QStringList& posNames() {
  static const QStringList names = [] {
    QStringList n;
    if (const struct passwd* user = ::getpwuid(::geteuid()))
      n << QString::fromLocal8Bit(user->pw_name);
    posdb::TDmMSSQL dm;
    for (db::Dataset* q : {&dm.qryClassify, &dm.qryItem, &dm.qrySupplier, &dm.qryCustomer})
      for (int i = 0; i < q->fieldCount(); ++i) n << q->field(i).fieldName();
    return n;
  }();
  return names;
}

TEST(ForeignWords, EnglishAloneIsCaughtEvenAroundNamesAndValues) {
  EXPECT_EQ(foreignWords("Unable to write to /opt/pos/Config.ini.", {}, posNames()),
            (QStringList{"Unable", "to", "write"}));
  EXPECT_EQ(foreignWords("Customer 第 3 列：'十' is not a valid integer value", {}, posNames()),
            (QStringList{"is", "not", "a", "valid", "integer", "value"}));
  EXPECT_EQ(foreignWords("Item  3001 rows in 0 s, 40554 rows/s", {}, posNames()),
            (QStringList{"rows", "in", "s"}));
  // Driver words are details only under a Chinese line.
  EXPECT_EQ(foreignWords("Login failed for user 'sa'.", "Adaptive Server is unavailable", {}),
            (QStringList{"Login", "failed", "for", "user", "Adaptive", "is", "unavailable"}));
}

TEST(ForeignWords, ChineseWithNamesFilesValuesOptionsAndTermsPasses) {
  for (const char* text :
       {"無法讀取 Excel 檔案 /tmp/x/Item.xlsx：找不到這個檔案。",
        "Customer.mdb：檔案中少了 2 列：Z0000901、Z0000902；匯入不會刪除 POS 的資料。",
        "Customer 工作表第 3 列 I 欄（身高）：「tall」不是數字：這個欄位只能填數字（例如 12.5）.",
        "--changes 要與 import --dry-run 一起使用", "分類資料 Classify  做完 0 列（共 5 列）後停止",
        "Notes 欄的「☃」無法存入 POS", "與 [Export Import] 的 EditsOnly=1 相同"})
    EXPECT_EQ(foreignWords(QString::fromUtf8(text), {}, posNames()), QStringList()) << text;
  // The data layer's open check keeps its own words.
  EXPECT_EQ(foreignWords("qryItem: Type mismatch for field '庫存量', expecting: Integer actual: "
                         "String.",
                         {}, posNames()),
            QStringList());
  EXPECT_EQ(foreignWords("無法連線到伺服器「db1」：請在「參數設定」中檢查登入帳號與密碼。",
                         "[FreeTDS][SQL Server]Login failed for user 'sa'.", {}),
            QStringList());
}

TEST(ShownTexts, EveryTextTheSuitesShowedReadsChineseFirst) {
  const QByteArray path = platform::testing::shownTextsLog();
  if (path.isEmpty()) GTEST_SKIP() << "the texts are not recorded (DATACONV_SHOWN_TEXTS is empty)";
  QFile log(QString::fromLocal8Bit(path));
  if (!log.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no suite showed a text";
  int records = 0;
  int reported = 0;
  QSet<QString> seen;
  while (!log.atEnd()) {
    const QJsonObject o = QJsonDocument::fromJson(log.readLine()).object();
    if (o.isEmpty()) continue;
    ++records;
    const QString text = o.value("text").toString();
    const QString details = o.value("details").toString();
    const QStringList words = foreignWords(text, details, posNames());
    if (words.isEmpty() || seen.contains(text)) continue;
    seen.insert(text);
    // Enough to act on without flooding the log.
    if (++reported > 60) continue;
    ADD_FAILURE() << o.value("test").toString().toStdString() << " ("
                  << o.value("source").toString().toStdString() << "): " << text.toStdString()
                  << "\n  words: " << words.join(' ').toStdString();
  }
  EXPECT_EQ(reported, 0) << reported << " texts with English an operator cannot place, of "
                         << records << " recorded";
}

}  // namespace
