#include "app/ImportFlow.h"

#include "app/DialogRunner.h"
#include "app/ErrorHandler.h"
#include "app/PreviewWindow.h"
#include "app/ProgressWindow.h"
#include "app/ReportWindow.h"

#include <config/Configs.h>
#include <import/DmMdb.h>
#include <import/ImportDriver.h>
#include <import/ImportPreview.h>
#include <import/ImportWindows.h>
#include <import/PreviewPlan.h>
#include <platform/Cancelled.h>
#include <platform/UiServices.h>

#include <QDir>

namespace app {
namespace {

// The preview's tables in the progress window: which table, its rows so far.
class PreviewProgress : public dataimport::PreviewFrontEnd {
 public:
  explicit PreviewProgress(ProgressWindow& window) : window_(window) {}
  dataimport::TableImport::Preview previewTable(const dataimport::ImportTable& table,
                                                dataimport::TableImport& import,
                                                const dataimport::ChangeSink& onChange) override {
    window_.setText(
        QStringLiteral("正在比對%1與 POS").arg(QString::fromUtf8(config::tableWord(table.table))));
    return import.preview(window_, onChange);
  }
  void tableUnreadable(const dataimport::ImportTable&, const QString&) override {}

 private:
  ProgressWindow& window_;
};

}  // namespace

ImportFlow::ImportFlow(posdb::TDmMSSQL& pos, dataimport::TDmAccess& access, QWidget* parent,
                       Hooks hooks)
    : pos_(pos), access_(access), parent_(parent), hooks_(std::move(hooks)) {}

void ImportFlow::run() {
  outcome_.reset();
  const config::TConfig& config = config::Config();
  tables_.clear();
  for (const dataimport::ImportTable& t : dataimport::kImportTables)
    if (config.read(t.enabled)) tables_ << QString::fromUtf8(t.name);
  format_ = config::exchangeFormat();
  editsOnly_ = config.read(config::keys::EditsOnly);
  rules_ = dataimport::ItemRules::fromConfig(config);

  if (config.read(config::keys::Preview) && !tables_.isEmpty()) {
    for (;;) {
      dataimport::PreviewPlan plan;
      if (!preview(plan)) return;
      PreviewWindow window(plan, parent_);
      if (execDialog(window) != QDialog::Accepted) return;
      const QStringList changed = plan.changedFiles();
      if (changed.isEmpty()) break;
      QStringList names;
      for (const QString& file : changed) names << QDir::toNativeSeparators(file);
      platform::UiServices::instance().messageBox(
          QStringLiteral("%1 在預覽之後有修改過，沒有匯入任何資料。\n\n按「確定」重新預覽，"
                         "確認新的內容後再開始匯入。")
              .arg(names.join(QStringLiteral("、"))),
          applicationTitle(), platform::UiServices::Icon::Warning);
    }
  }
  import();
}

bool ImportFlow::preview(dataimport::PreviewPlan& plan) {
  ProgressWindow window(QStringLiteral("匯入預覽"), parent_);
  PreviewProgress frontEnd(window);
  dataimport::ImportPreview preview(access_, pos_, frontEnd);
  preview.setTables(tables_);
  preview.setFormat(format_);
  preview.setEditsOnly(editsOnly_);
  preview.setItemRules(rules_);
  try {
    window.run([&](ProgressWindow&) { plan.collect(preview); });
  } catch (const platform::Cancelled&) {
    platform::UiServices::instance().messageBox(QStringLiteral("已取消預覽，沒有匯入任何資料。"),
                                                applicationTitle(),
                                                platform::UiServices::Icon::Information);
    return false;
  }
  return true;
}

void ImportFlow::import() {
  dataimport::ImportWindows windows(
      hooks_.selectTab, [](std::exception_ptr error) { showException(errorText(error)); });
  dataimport::ImportDriver driver(access_, pos_, windows);
  driver.setTables(tables_);
  driver.setFormat(format_);
  driver.setEditsOnly(editsOnly_);
  driver.setItemRules(rules_);
  // A file that cannot be opened ends the run with its error; the report still lists
  // every table, that one and those after it included.
  guard([&] { driver.run(); });
  outcome_ = driver.outcome();
  if (hooks_.imported) hooks_.imported();
  if (outcome_->tables.empty()) {
    platform::UiServices::instance().messageBox(
        QStringLiteral("沒有要匯入的資料表。請在「參數設定」勾選要匯入的資料表。"),
        applicationTitle(), platform::UiServices::Icon::Information);
    return;
  }
  std::function<void()> undo;
  if (hooks_.undo && !outcome_->journal.isEmpty())
    undo = [this, journal = outcome_->journal] { hooks_.undo(journal); };
  ReportWindow report(*outcome_, undo, parent_);
  execDialog(report);
}

}  // namespace app
