// The preview's changed cells as a table model: 資料表, 鍵值, 種類, 欄位 (the file's
// heading), POS 欄位, POS 的值, 檔案的值. The cells stay in the plan; the model only looks.
#pragma once

#include <QAbstractTableModel>

namespace dataimport {
class PreviewPlan;
}

namespace app {

class PreviewCellModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum ColumnIndex { cTable, cKey, cKind, cHeading, cField, cBefore, cAfter, cCount };
  explicit PreviewCellModel(const dataimport::PreviewPlan& plan, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const dataimport::PreviewPlan& plan_;
};

}  // namespace app
