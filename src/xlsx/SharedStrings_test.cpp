// The shared texts are bounded as they are read: a table past its budget, in items or
// in characters, fails as a damaged file before more of it is kept.
#include "SharedStrings.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "Package.h"
#include "TestWorkbooks.h"
#include "platform/Error.h"

namespace xlsx {
namespace {

class XlsxSharedStrings : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.filePath(name); }

  // The table of a workbook whose shared strings part holds `items`, read under `budget`;
  // the error's text when it fails.
  QString read(const QByteArray& items, SharedStringsBudget budget, qsizetype* kept = nullptr) {
    writeZip(path("book.xlsx"), book({}, items));
    const Package package(path("book.xlsx"));
    try {
      const SharedStrings strings(package, "xl/sharedStrings.xml", budget);
      if (kept) *kept = strings.size();
    } catch (const platform::Error& e) {
      return e.message();
    }
    return {};
  }
  QString overBudget(qsizetype items, qint64 characters) const {
    return QString(
               "無法讀取 Excel 檔案 %1：檔案已損壞（xl/sharedStrings.xml：共用文字超過 %2 項或 %3 "
               "個字）")
        .arg(path("book.xlsx"))
        .arg(items)
        .arg(characters);
  }

 private:
  QTemporaryDir dir_;
};

TEST_F(XlsxSharedStrings, KeepsNoMoreThanItsBudget) {
  const QByteArray ten = QByteArray("<si><t>甲乙</t></si>").repeated(10);  // 20 characters
  qsizetype kept = 0;
  EXPECT_EQ(read(ten, {10, 20}, &kept), QString());
  EXPECT_EQ(kept, 10);
  EXPECT_EQ(read(ten, {9, 20}), overBudget(9, 20));
  EXPECT_EQ(read(ten, {10, 19}), overBudget(10, 19));
  // Empty items cost no characters, but count.
  EXPECT_EQ(read(QByteArray("<si/>").repeated(11), {10, 20}), overBudget(10, 20));
}

// A few hundred kilobytes of zip whose table claims millions of empty items: the
// workbook is refused once the default budget is spent, the rest of them never kept.
TEST_F(XlsxSharedStrings, AWorkbookPastTheDefaultBudgetIsDamaged) {
  const SharedStringsBudget budget;
  writeZip(path("book.xlsx"), book("<row><c t=\"s\"><v>0</v></c></row>",
                                   QByteArray("<si/>").repeated(budget.items + 1)));
  EXPECT_EQ(errorOf(path("book.xlsx")), overBudget(budget.items, budget.characters));
}

}  // namespace
}  // namespace xlsx
