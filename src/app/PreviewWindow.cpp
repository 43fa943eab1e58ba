#include "app/PreviewWindow.h"

#include "PreviewCellModel.h"
#include "app/DialogRunner.h"
#include "app/ErrorHandler.h"
#include "app/Fonts.h"

#include <import/MissingRows.h>
#include <import/PreviewPlan.h>
#include <platform/ProgramFolder.h>
#include <platform/UiServices.h>

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace app {
namespace {

QTableWidgetItem* item(const QString& text, bool number = false) {
  auto* cell = new QTableWidgetItem(text);
  cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  if (number) cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return cell;
}

QTableWidgetItem* count(int n) {
  return item(QString::number(n), true);
}

}  // namespace

PreviewWindow::PreviewWindow(const dataimport::PreviewPlan& plan, QWidget* parent)
    : QDialog(parent), plan_(plan) {
  setObjectName(QStringLiteral("PreviewWindow"));
  setWindowTitle(QStringLiteral("匯入預覽：還沒有寫入任何資料"));
  setFont(fonts::newMingLiU(13));
  resize(900, 600);

  auto* layout = new QVBoxLayout(this);
  auto* intro =
      new QLabel(QStringLiteral("下面是「匯入檔案」會對 POS 做的修改。確認無誤後按「開始匯入」；"
                                "按「取消」則不寫入任何資料。"),
                 this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  summary_ = new QTableWidget(this);
  summary_->setObjectName(QStringLiteral("tblSummary"));
  layout->addWidget(summary_);
  fillSummary();

  auto* tabs = new QTabWidget(this);
  layout->addWidget(tabs, 1);

  auto* cellsPage = new QWidget;
  auto* cellsLayout = new QVBoxLayout(cellsPage);
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(new QLabel(QStringLiteral("資料表："), cellsPage));
  filter_ = new QComboBox(cellsPage);
  filter_->setObjectName(QStringLiteral("cbTable"));
  filter_->addItem(QStringLiteral("全部"));
  for (const dataimport::TablePreview& t : plan_.tables())
    filter_->addItem(QString::fromUtf8(config::tableWord(t.table->table)));
  filterRow->addWidget(filter_);
  filterRow->addStretch(1);
  cellsLayout->addLayout(filterRow);

  auto* model = new PreviewCellModel(plan_, this);
  proxy_ = new QSortFilterProxyModel(this);
  proxy_->setSourceModel(model);
  proxy_->setFilterKeyColumn(PreviewCellModel::cTable);
  cells_ = new QTableView(cellsPage);
  cells_->setObjectName(QStringLiteral("tblCells"));
  cells_->setModel(proxy_);
  cells_->setSortingEnabled(true);
  cells_->sortByColumn(-1, Qt::AscendingOrder);  // the order the import walks, until asked
  cells_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  cells_->setSelectionBehavior(QAbstractItemView::SelectRows);
  cells_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  cells_->horizontalHeader()->setStretchLastSection(true);
  const int widths[] = {80, 120, 50, 120, 110, 160};
  for (int c = 0; c < int(std::size(widths)); ++c) cells_->setColumnWidth(c, widths[c]);
  cellsLayout->addWidget(cells_, 1);
  connect(filter_, &QComboBox::currentIndexChanged, this, [this](int index) {
    proxy_->setFilterFixedString(index <= 0 ? QString() : filter_->itemText(index));
  });
  note_ = new QLabel(cellsPage);
  note_->setWordWrap(true);
  if (plan_.cellsLeftOut() > 0)
    note_->setText(
        QStringLiteral("這裡只列出前 %1 格，另外 %2 格請按「儲存變更清單…」在 Excel 中查看。")
            .arg(dataimport::PreviewPlan::kMaxCells)
            .arg(plan_.cellsLeftOut()));
  note_->setVisible(plan_.cellsLeftOut() > 0);
  cellsLayout->addWidget(note_);
  tabs->addTab(
      cellsPage,
      QStringLiteral("會修改的欄位（%1）").arg(plan_.cells().size() + plan_.cellsLeftOut()));

  failures_ = new QTableWidget(this);
  failures_->setObjectName(QStringLiteral("tblFailures"));
  fillFailures();
  tabs->addTab(failures_, QStringLiteral("會失敗的列（%1）").arg(failures_->rowCount()));

  auto* buttons = new QHBoxLayout;
  save_ = new QPushButton(QStringLiteral("儲存變更清單…"), this);
  save_->setObjectName(QStringLiteral("btnSaveChanges"));
  save_->setAutoDefault(false);
  connect(save_, &QPushButton::clicked, this, [this] { guard([this] { saveChanges(); }); });
  buttons->addWidget(save_);
  buttons->addStretch(1);
  start_ = new QPushButton(QStringLiteral("開始匯入"), this);
  start_->setObjectName(QStringLiteral("btnStart"));
  start_->setEnabled(plan_.hasChanges());
  connect(start_, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(start_);
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  if (plan_.hasChanges())
    start_->setDefault(true);
  else
    cancel->setDefault(true);
}

PreviewWindow::~PreviewWindow() = default;

int PreviewWindow::shownCells() const {
  return proxy_->rowCount();
}

void PreviewWindow::fillSummary() {
  const QStringList titles = {QStringLiteral("資料表"),
                              QStringLiteral("檔案"),
                              QStringLiteral("新增"),
                              QStringLiteral("變更"),
                              QStringLiteral("不變"),
                              QStringLiteral("失敗"),
                              QStringLiteral("依參數設定不更新"),
                              QStringLiteral("只有 POS 改過（保留）"),
                              QStringLiteral("說明")};
  summary_->setColumnCount(int(titles.size()));
  summary_->setHorizontalHeaderLabels(titles);
  summary_->setRowCount(int(plan_.tables().size()));
  summary_->verticalHeader()->hide();
  summary_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  summary_->horizontalHeader()->setStretchLastSection(true);
  int row = 0;
  for (const dataimport::TablePreview& t : plan_.tables()) {
    summary_->setItem(row, 0, item(QString::fromUtf8(config::tableWord(t.table->table))));
    summary_->setItem(row, 1, item(QDir::toNativeSeparators(t.file)));
    if (!t.counts) {
      summary_->setItem(row, 8, item(QStringLiteral("無法讀取：") + t.error));
      summary_->item(row, 8)->setToolTip(t.error);
      ++row;
      continue;
    }
    const auto& c = *t.counts;
    int kept = 0;
    QStringList notes;
    for (const auto& k : c.keptBySettings) {
      kept += k.cells;
      notes << k.text();
    }
    if (c.blank > 0) notes << QStringLiteral("略過空白列 %1 列").arg(c.blank);
    if (const QString missing = dataimport::missingRowsText(c.missing); !missing.isEmpty())
      notes << missing;
    summary_->setItem(row, 2, count(c.added));
    summary_->setItem(row, 3, count(c.changed));
    summary_->setItem(row, 4, count(c.unchanged));
    summary_->setItem(row, 5, count(int(c.failures.size())));
    summary_->setItem(row, 6, count(kept));
    summary_->setItem(row, 7, count(c.leftAlone));
    summary_->setItem(row, 8, item(notes.join(QStringLiteral("；"))));
    ++row;
  }
  summary_->resizeColumnsToContents();
  summary_->setColumnWidth(1, std::min(summary_->columnWidth(1), 220));
  const int height = summary_->horizontalHeader()->height() + summary_->verticalHeader()->length() +
                     2 * summary_->frameWidth() + 2;
  summary_->setFixedHeight(height);
}

void PreviewWindow::fillFailures() {
  failures_->setColumnCount(3);
  failures_->setHorizontalHeaderLabels(
      {QStringLiteral("資料表"), QStringLiteral("檔案的列"), QStringLiteral("原因")});
  failures_->verticalHeader()->hide();
  failures_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  failures_->horizontalHeader()->setStretchLastSection(true);
  int rows = 0;
  for (const dataimport::TablePreview& t : plan_.tables())
    if (t.counts) rows += int(t.counts->failures.size());
  failures_->setRowCount(rows);
  int row = 0;
  for (const dataimport::TablePreview& t : plan_.tables()) {
    if (!t.counts) continue;
    for (const auto& f : t.counts->failures) {
      failures_->setItem(row, 0, item(QString::fromUtf8(config::tableWord(t.table->table))));
      failures_->setItem(row, 1, item(QStringLiteral("第 %1 列").arg(f.row), true));
      failures_->setItem(row, 2, item(f.message));
      failures_->item(row, 2)->setToolTip(f.message);
      ++row;
    }
  }
  failures_->setColumnWidth(0, 80);
  failures_->setColumnWidth(1, 80);
}

void PreviewWindow::saveChanges() {
  const QString path = askSaveFileName(this, QStringLiteral("儲存變更清單"),
                                       platform::programFolder() + QStringLiteral("變更清單.csv"),
                                       QStringLiteral("CSV 檔案 (*.csv)"));
  if (path.isEmpty()) return;
  plan_.saveChanges(path);
  platform::UiServices::instance().messageBox(
      QStringLiteral("變更清單已存到 %1，可以用 Excel 開啟。").arg(QDir::toNativeSeparators(path)),
      applicationTitle(), platform::UiServices::Icon::Information);
}

}  // namespace app
