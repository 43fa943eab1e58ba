#include "import/ImportPreview.h"

#include "import/DmMdb.h"
#include "import/ImportDriver.h"

#include <platform/Cancelled.h>
#include <platform/ErrorText.h>
#include <posdb/DmMdf.h>

#include <exception>

namespace dataimport {

ImportPreview::ImportPreview(TDmAccess& access, posdb::TDmMSSQL& pos, PreviewFrontEnd& frontEnd)
    : access_(access), pos_(pos), frontEnd_(frontEnd) {}

std::vector<TablePreview> ImportPreview::run(const ChangeSink& onChange) {
  std::vector<TablePreview> tables;
  const config::ExchangeFormat format = format_.value_or(config::exchangeFormat());
  for (const ImportTable& t : kImportTables) {
    if (!tableSelected(t, tables_)) continue;
    TablePreview p;
    p.table = &t;
    try {
      p.program = config::exchangeProgram(format);
      p.file = openImportSource(access_, t, format);
      db::Dataset* target = pos_.queryOf(QString::fromUtf8(t.name));
      TableImport import(t.table, access_.qryAccess, *target);
      import.setSourceProgram(p.program);
      import.setSourceFile(p.file);
      if (editsOnly_) import.setEditsOnly(*editsOnly_);
      if (itemRules_) import.setItemRules(*itemRules_);
      p.counts = frontEnd_.previewTable(t, import, onChange);
    } catch (const platform::Cancelled&) {
      throw;  // the operator stopped the whole preview
    } catch (...) {
      p.counts.reset();
      p.error = platform::errorText(std::current_exception());
      frontEnd_.tableUnreadable(t, p.error);
    }
    tables.push_back(std::move(p));
  }
  return tables;
}

QString previewReport(const std::vector<TablePreview>& tables) {
  QString report = QStringLiteral("匯入預覽：");
  QString failures;
  for (const TablePreview& p : tables) {
    const QString name = QString::fromUtf8(p.table->name);
    if (!p.counts) {
      report += QStringLiteral("\r\n%1：無法讀取：%2").arg(name, platform::withFullStop(p.error));
      continue;
    }
    const TableImport::Preview& c = *p.counts;
    report += QStringLiteral("\r\n%1：%7 列數 %2，新增 %3，變更 %4，不變 %5，失敗 %6")
                  .arg(name)
                  .arg(c.rows)
                  .arg(c.added)
                  .arg(c.changed)
                  .arg(c.unchanged)
                  .arg(c.failures.size())
                  .arg(p.program);
    if (c.blank > 0) report += QStringLiteral("，略過空白列 %1").arg(c.blank);
    if (c.leftAlone > 0)
      report += QStringLiteral("，只有 POS 改過而保留的欄位 %1 格").arg(c.leftAlone);
    int kept = 0;
    for (const TableImport::KeptColumn& k : c.keptBySettings) kept += k.cells;
    if (kept > 0) {
      report += QStringLiteral("，依參數設定不更新 %1 格").arg(kept);
      for (const TableImport::KeptColumn& k : c.keptBySettings)
        report += QStringLiteral("\r\n  %1").arg(k.text());
    }
    for (const TableImport::Failure& f : c.failures)
      failures += QStringLiteral("\r\n%1 第 %2 列：%3")
                      .arg(name)
                      .arg(f.row)
                      .arg(platform::withFullStop(f.message));
  }
  return report + failures;
}

}  // namespace dataimport
