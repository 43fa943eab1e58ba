#include "PreviewCellModel.h"

#include <import/PreviewPlan.h>

namespace app {

PreviewCellModel::PreviewCellModel(const dataimport::PreviewPlan& plan, QObject* parent)
    : QAbstractTableModel(parent), plan_(plan) {}

int PreviewCellModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(plan_.cells().size());
}

int PreviewCellModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cCount;
}

QVariant PreviewCellModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  const dataimport::PreviewPlan::Cell& cell = plan_.cells().at(size_t(index.row()));
  const auto& column = plan_.columns(cell.table).at(size_t(cell.column));
  switch (index.column()) {
    case cTable:
      return QString::fromUtf8(config::tableWord(cell.table));
    case cKey:
      return cell.key;
    case cKind:
      return cell.appended ? QStringLiteral("新增") : QStringLiteral("變更");
    case cHeading:
      return column.heading;
    case cField:
      return column.field;
    case cBefore:
      return cell.before;
    case cAfter:
      return cell.after;
    default:
      return {};
  }
}

QVariant PreviewCellModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  static const char* const titles[cCount] = {"資料表",   "鍵值",     "種類",    "欄位",
                                             "POS 欄位", "POS 的值", "檔案的值"};
  return section >= 0 && section < cCount ? QString::fromUtf8(titles[section]) : QVariant();
}

}  // namespace app
