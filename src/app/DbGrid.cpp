#include "app/DbGrid.h"

#include "app/DatasetTableModel.h"
#include "app/ErrorHandler.h"
#include "app/Fonts.h"

#include <db/Dataset.h>

#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QTimer>

namespace app {
namespace {

const QColor kTitleColor(128, 128, 255);

// The row indicator: an empty cell per row, with a black triangle at the current row.
class IndicatorHeader : public QHeaderView {
 public:
  explicit IndicatorHeader(QTableView* view) : QHeaderView(Qt::Vertical, view), view_(view) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
  }

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    painter->save();
    painter->fillRect(rect, kTitleColor);
    painter->setPen(kTitleColor.darker(140));
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->drawLine(rect.topRight(), rect.bottomRight());
    if (view_->currentIndex().isValid() && view_->currentIndex().row() == logicalIndex) {
      const QPoint c = rect.center();
      const QPoint triangle[] = {
          {c.x() - 2, c.y() - 4}, {c.x() + 2, c.y()}, {c.x() - 2, c.y() + 4}};
      painter->setPen(Qt::NoPen);
      painter->setBrush(Qt::black);
      painter->drawPolygon(triangle, 3);
    }
    painter->restore();
  }
  QSize sectionSizeFromContents(int) const override { return {12, defaultSectionSize()}; }

 private:
  QTableView* view_;
};

}  // namespace

DbGrid::DbGrid(const QFont& titleFont, QWidget* parent) : QTableView(parent) {
  setFont(fonts::arial(13));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setShowGrid(true);
  setTabKeyNavigation(true);
  setWordWrap(false);
  // Cells clip their text at the column's edge, as the operators' grids always did.
  setTextElideMode(Qt::ElideNone);
  setCornerButtonEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Codes and numbers are typed here, never Chinese: keep the input method closed.
  setAttribute(Qt::WA_InputMethodEnabled, false);

  auto* indicator = new IndicatorHeader(this);
  setVerticalHeader(indicator);
  indicator->setFixedWidth(12);

  QHeaderView* titles = horizontalHeader();
  titles->setFont(titleFont);
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->setSectionsClickable(false);
  titles->setHighlightSections(false);
  titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  titles->setMinimumSectionSize(8);
  titles->setStyleSheet(
      QStringLiteral("QHeaderView::section { background-color: rgb(128, 128, 255); color: white;"
                     " border: none; border-right: 1px solid rgb(92, 92, 183);"
                     " border-bottom: 1px solid rgb(92, 92, 183); padding-left: 2px; }"));
  titles->setFixedHeight(QFontMetrics(titleFont).height() + 6);
  setStyleSheet(
      QStringLiteral("QTableCornerButton::section { background-color: rgb(128, 128, 255);"
                     " border: none; }"));
  // After the style sheet, which would otherwise bring back the style's row height.
  const int rowHeight = QFontMetrics(font()).height() + 3;
  indicator->setMinimumSectionSize(rowHeight);
  indicator->setDefaultSectionSize(rowHeight);
}

void DbGrid::setDatasetModel(DatasetTableModel* model) {
  datasetModel_ = model;
  setModel(model);
  connect(model, &DatasetTableModel::currentRowChanged, this, &DbGrid::followDataset);
  connect(model, &QAbstractItemModel::modelReset, this, [this] {
    followDataset(datasetModel_->dataset().recNo());
    QTimer::singleShot(0, this, &DbGrid::fitColumnsToValues);
  });
  // After the caller has given the columns their widths.
  QTimer::singleShot(0, this, &DbGrid::fitColumnsToValues);
}

void DbGrid::fitColumnsToValues() {
  if (!datasetModel_) return;
  const QFontMetrics data(font());
  const QFontMetrics titles(horizontalHeader()->font());
  const int rows = qMin(datasetModel_->rowCount(), kFitRows);
  for (int column = 0; column < datasetModel_->columnCount(); ++column) {
    const int width = columnWidth(column);
    if (width >= kFitLimit) continue;
    int needed =
        titles.horizontalAdvance(
            datasetModel_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()) +
        6;
    for (int row = 0; row < rows && needed < kFitLimit; ++row)
      needed = qMax(
          needed,
          data.horizontalAdvance(
              datasetModel_->data(datasetModel_->index(row, column), Qt::DisplayRole).toString()) +
              6);
    if (needed > width) setColumnWidth(column, qMin(needed, kFitLimit));
  }
}

void DbGrid::followDataset(int row) {
  if (!datasetModel_ || row >= datasetModel_->rowCount()) return;
  following_ = true;
  if (row < 0)
    setCurrentIndex({});
  else
    setCurrentIndex(datasetModel_->index(row, qMax(currentIndex().column(), 0)));
  following_ = false;
}

void DbGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  verticalHeader()->viewport()->update();
  if (following_ || !datasetModel_ || !current.isValid()) return;
  db::Dataset& dataset = datasetModel_->dataset();
  if (dataset.isOpen() && current.row() != dataset.recNo() && current.row() < dataset.recordCount())
    guard([&] { dataset.moveTo(current.row()); });
}

int DbGrid::defaultColumnWidth(int displayWidth, const QString& title) const {
  const QFontMetrics data(font());
  const QFontMetrics titles(horizontalHeader()->font());
  return qMax(displayWidth * data.horizontalAdvance(QLatin1Char('0')) + 4,
              titles.horizontalAdvance(title) + 4);
}

}  // namespace app
