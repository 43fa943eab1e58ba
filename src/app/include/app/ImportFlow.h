// "匯入檔案" as the window does it: with the settings of this moment, first the preview
// (unless Config.ini switches it off), read with progress and cancel and shown in the
// preview window; then, when the operator starts it, the import of exactly what was
// previewed (the same tables, files and settings; a file changed since is previewed
// again); then the report of every table, with the journal and "還原這次匯入".
#pragma once

#include <config/ExchangeFormat.h>
#include <config/RunOutcome.h>
#include <import/TableImport.h>

#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace posdb {
class TDmMSSQL;
}
namespace dataimport {
class TDmAccess;
class PreviewPlan;
}  // namespace dataimport

namespace app {

class ImportFlow {
 public:
  struct Hooks {
    std::function<void(int tab)> selectTab;
    // "還原這次匯入" from the report: the journal to take back.
    std::function<void(const QString& journal)> undo;
    // After the import, whatever its outcome: the windows show the POS as it now is.
    std::function<void()> imported;
  };

  ImportFlow(posdb::TDmMSSQL& pos, dataimport::TDmAccess& access, QWidget* parent, Hooks hooks);

  void run();

  // The last run's outcome; empty before a run or when the preview was left.
  const std::optional<config::RunOutcome>& outcome() const { return outcome_; }

 private:
  // Reads the plan with progress; false when the operator cancelled.
  bool preview(dataimport::PreviewPlan& plan);
  void import();

  posdb::TDmMSSQL& pos_;
  dataimport::TDmAccess& access_;
  QWidget* parent_;
  Hooks hooks_;
  // The settings of the moment the click came, for the preview and the import alike.
  QStringList tables_;
  config::ExchangeFormat format_ = config::ExchangeFormat::Mdb;
  bool editsOnly_ = false;
  dataimport::ItemRules rules_;
  std::optional<config::RunOutcome> outcome_;
};

}  // namespace app
