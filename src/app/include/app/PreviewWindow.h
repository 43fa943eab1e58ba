// The import's preview: what "匯入檔案" would do to the POS, before anything is written.
// Per table its counts; the cells that would change (table, key, the column by its
// heading in the file and its POS name, the POS's value and the file's), filterable by
// table and sortable by any column; the rows that would fail, with their row numbers and
// messages. "開始匯入" accepts the dialog, "取消" rejects it; "儲存變更清單…" writes the
// changes file where the operator chooses.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTableWidget;

namespace dataimport {
class PreviewPlan;
}

namespace app {

class PreviewWindow : public QDialog {
  Q_OBJECT
 public:
  PreviewWindow(const dataimport::PreviewPlan& plan, QWidget* parent = nullptr);
  ~PreviewWindow() override;

  QTableWidget* summary() const { return summary_; }
  QTableView* cells() const { return cells_; }
  QTableWidget* failures() const { return failures_; }
  QComboBox* tableFilter() const { return filter_; }
  QPushButton* startButton() const { return start_; }
  // Rows the cell grid shows with its filter.
  int shownCells() const;

 private:
  void fillSummary();
  void fillFailures();
  void saveChanges();

  const dataimport::PreviewPlan& plan_;
  QTableWidget* summary_ = nullptr;
  QComboBox* filter_ = nullptr;
  QTableView* cells_ = nullptr;
  QSortFilterProxyModel* proxy_ = nullptr;
  QTableWidget* failures_ = nullptr;
  QLabel* note_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* save_ = nullptr;
};

}  // namespace app
