#include "app/Main.h"

#include "app/DatasetTableModel.h"
#include "app/DbGrid.h"
#include "app/DialogRunner.h"
#include "app/ErrorHandler.h"
#include "app/Fonts.h"
#include "app/GridColumns.h"
#include "app/ImageButton.h"
#include "app/ImportFlow.h"
#include "app/ImportHistoryWindow.h"
#include "app/ProgressWindow.h"
#include "app/ReportWindow.h"
#include "app/ResponsiveWait.h"
#include "app/Setting.h"

#include <db/DataSource.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <export/ADO_AccessExporter.h>
#include <export/ExportDriver.h>
#include <import/DmMdb.h>
#include <platform/ProgramFolder.h>
#include <platform/UiServices.h>
#include <posdb/DmMdf.h>

#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace app {
namespace {

// Wide enough for the seven toolbar buttons.
constexpr int kWidth = 847;
constexpr int kHeight = 450;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 65;
constexpr int kImageToCaption = 8;

}  // namespace

TfrmMain::TfrmMain(posdb::TDmMSSQL& dmMSSQL, QWidget* parent)
    : QWidget(parent),
      dm_(dmMSSQL),
      ADO_AccessExporter_(std::make_unique<dataexport::TADO_AccessExporter>()) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(applicationTitle());
  setFont(fonts::newMingLiU(13));
  resize(kWidth, kHeight);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  ToolBar_ = new QWidget(this);
  ToolBar_->setObjectName(QStringLiteral("ToolBar"));
  auto* buttons = new QHBoxLayout(ToolBar_);
  buttons->setContentsMargins(0, 2, 0, 2);
  buttons->setSpacing(0);
  bbtnStartSQL_ = addButton("bbtnStartSQL", QStringLiteral("啟動資料庫"), QStringLiteral("start"),
                            24, &TfrmMain::bbtnStartSQLClick);
  bbtnStopSQL_ = addButton("bbtnStopSQL", QStringLiteral("停止資料庫"), QStringLiteral("stop"), 24,
                           &TfrmMain::bbtnStopSQLClick);
  bbtnImport_ = addButton("bbtnImport", QStringLiteral("匯入檔案"), QStringLiteral("import"), 16,
                          &TfrmMain::bbtnImportClick);
  bbtnExport_ = addButton("bbtnExport", QStringLiteral("匯出檔案"), QStringLiteral("export"), 16,
                          &TfrmMain::bbtnExportClick);
  bbtnSetting_ = addButton("bbtnSetting", QStringLiteral("參數設定"), QStringLiteral("write"), 16,
                           &TfrmMain::bbtnSettingClick);
  bbtnHistory_ = addButton("bbtnHistory", QStringLiteral("匯入紀錄"), QStringLiteral("history"), 16,
                           &TfrmMain::bbtnHistoryClick);
  bbtnExit_ = addButton("bbtnExit", QStringLiteral("離開"), QStringLiteral("exit"), 24,
                        &TfrmMain::bbtnExitClick);
  buttons->addStretch(1);
  layout->addWidget(ToolBar_);

  // The line along the toolbar's bottom edge.
  auto* edge = new QFrame(this);
  edge->setFrameShape(QFrame::HLine);
  edge->setFrameShadow(QFrame::Sunken);
  layout->addWidget(edge);

  PageControl_ = new QTabWidget(this);
  PageControl_->setObjectName(QStringLiteral("PageControl"));
  PageControl_->setDocumentMode(false);
  layout->addWidget(PageControl_, 1);
  addTab(tabClassify, "tbsClassify", QStringLiteral("分類資料"), "dbgClassify", "StatusBarClassify",
         fonts::newMingLiU(13));
  addTab(tabItem, "tbsItem", QStringLiteral("商品資料"), "dbgItem", "StatusBarItem",
         fonts::newMingLiU(13));
  addTab(tabSupplier, "tbsSupplier", QStringLiteral("廠商資料"), "dbgSupplier", "StatusBarSupplier",
         fonts::newMingLiU(13));
  addTab(tabCustomer, "tbsCustomer", QStringLiteral("會員資料"), "dbgCustomer", "StatusBarCustomer",
         fonts::mingLiU(13));

  // Configured as the design has them; import and export use fixed file names in the
  // program folder, so nothing ever opens these.
  const QString filter = QStringLiteral("Access檔案(*.mdb)");
  OpenDialog_ = new QFileDialog(this, QStringLiteral("選擇匯入檔案"), QString(), filter);
  OpenDialog_->setObjectName(QStringLiteral("OpenDialog"));
  OpenDialog_->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog_->setFileMode(QFileDialog::ExistingFile);
  SaveDialog_ = new QFileDialog(this, QStringLiteral("選擇匯出檔案"), QString(), filter);
  SaveDialog_->setObjectName(QStringLiteral("SaveDialog"));
  SaveDialog_->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog_->setFileMode(QFileDialog::AnyFile);
  SaveDialog_->setDefaultSuffix(QStringLiteral("mdb"));

  // The Access exporter of the export driver joins the window with the export layer.

  guard([this] { FormCreate(); });
}

TfrmMain::~TfrmMain() = default;

ImageButton* TfrmMain::addButton(const char* name, const QString& caption, const QString& image,
                                 int imageSize, void (TfrmMain::*handler)()) {
  auto* button = new ImageButton(caption, image, QSize(imageSize, imageSize),
                                 ImageButton::Layout::ImageAbove, kImageToCaption, ToolBar_);
  button->setObjectName(QLatin1String(name));
  button->setFont(fonts::newMingLiU(12));
  button->setFixedSize(kButtonWidth, kButtonHeight);
  button->setFocusPolicy(Qt::TabFocus);
  connect(button, &QAbstractButton::clicked, this, [this, handler] { click(handler); });
  ToolBar_->layout()->addWidget(button);
  return button;
}

void TfrmMain::addTab(int index, const char* sheet, const QString& caption, const char* gridName,
                      const char* statusBar, const QFont& titleFont) {
  auto* page = new QWidget;
  page->setObjectName(QLatin1String(sheet));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* grid = new DbGrid(titleFont, page);
  grid->setObjectName(QLatin1String(gridName));
  layout->addWidget(grid, 1);
  grids_.at(index) = grid;

  // One panel: the rows shown and when they were read.
  auto* status = new QStatusBar(page);
  status->setObjectName(QLatin1String(statusBar));
  status->setSizeGripEnabled(false);
  auto* panel = new QLabel(status);
  panel->setObjectName(QStringLiteral("StatusPanel"));
  panel->setMinimumWidth(50);
  statusPanels_.at(index) = panel;
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  status->addWidget(panel);
  layout->addWidget(status);

  PageControl_->insertTab(index, page, caption);
  bindGrid(index);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!firstShow_) return;
  firstShow_ = false;
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (starting_) {
    // The start is waiting for the POS further down this call stack: it gives up
    // the wait, and the window closes as soon as the start has returned.
    closeWhenStarted_ = true;
    startWait_.abandon();
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void TfrmMain::click(void (TfrmMain::*handler)()) {
  if (starting_) {
    // Only "離開" acts during a start: like the close box, it gives up the wait.
    if (handler == &TfrmMain::bbtnExitClick) close();
    return;
  }
  guard([this, handler] { (this->*handler)(); });
  // A statement that timed out or a server that went away leaves the link dead (FreeTDS
  // gives it up): the window goes back to its state after "停止資料庫", so that the next
  // click is "啟動資料庫" and not one more failure.
  if (bbtnStopSQL_->isEnabled() && !dm_.cnKAROS.isConnected()) bbtnStopSQLClick();
  if (closeWhenStarted_ && !starting_) {
    closeWhenStarted_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void TfrmMain::FormCreate() {
  OpenDialog_->setDirectory(platform::programFolder());
  SaveDialog_->setDirectory(platform::programFolder());
  PageControl_->setCurrentIndex(tabClassify);
  setConnected(false);
}

void TfrmMain::setConnected(bool connected) {
  bbtnStartSQL_->setEnabled(!connected);
  bbtnStopSQL_->setEnabled(connected);
  bbtnImport_->setEnabled(connected);
  bbtnExport_->setEnabled(connected);
}

void TfrmMain::bbtnStartSQLClick() {
  QScopedValueRollback<bool> starting(starting_, true);
  const posdb::PosSettings settings = posdb::PosSettings::fromConfig();
  const QString connection = connectionForTesting_.isEmpty()
                                 ? posdb::TDmMSSQL::connectionString(settings)
                                 : connectionForTesting_;
  {
    platform::BusyCursor busy;
    // Whatever an earlier start left open goes first.
    dm_.stop();
    // The server is reached on a thread of its own so that the window keeps painting
    // and answering while it waits; the rows come back to the queries here. A close
    // request abandons the wait (closeEvent): the fetch is cancelled and left to end
    // by itself, so it owns all it touches.
    struct Fetch {
      posdb::FetchCancel cancel;
      posdb::PosSnapshot snapshot;
    };
    auto fetch = std::make_shared<Fetch>();
    QThread* uiThread = QThread::currentThread();
    const int timeout = settings.commandTimeout;
    // The operator sees what the start is doing: connecting, then which table it
    // reads and the rows read so far; "取消" gives the wait up as closing does.
    ProgressWindow window(QStringLiteral("啟動資料庫"), this);
    window.setText(QStringLiteral("正在連線到 POS…"));
    window.setOnCancel([this] { startWait_.abandon(); });
    QTimer stage;
    stage.setInterval(100);
    connect(&stage, &QTimer::timeout, &window, [&window, fetch] {
      const posdb::FetchCancel::Stage now = fetch->cancel.stage();
      if (!now.connected) return;
      window.setText(QStringLiteral("正在讀取%1（已讀取 %2 列）")
                         .arg(config::tableWordOf(now.table))
                         .arg(now.rows));
      window.setGauge(now.index, 4);
    });
    stage.start();
    AbandonableWait::Outcome outcome = AbandonableWait::Outcome::Finished;
    window.run([&](ProgressWindow&) {
      // A close that came while the window appeared gives the start up before it waits.
      if (closeWhenStarted_) {
        outcome = AbandonableWait::Outcome::Abandoned;
        return;
      }
      outcome = startWait_.run(
          [fetch, connection, uiThread, timeout] {
            fetch->snapshot =
                posdb::TDmMSSQL::fetchWith(connection, uiThread, timeout, &fetch->cancel);
          },
          [fetch] { fetch->cancel.cancel(); });
    });
    stage.stop();
    if (outcome == AbandonableWait::Outcome::Abandoned) return;
    dm_.adopt(std::move(fetch->snapshot));
    setConnected(true);
    readTimes_.fill(QDateTime::currentDateTime());
    for (int tab = 0; tab < int(grids_.size()); ++tab) updateStatus(tab);
  }
  platform::UiServices::instance().showInformation(QStringLiteral("啟動資料庫成功。"));
}

void TfrmMain::bbtnStopSQLClick() {
  dm_.stop();
  setConnected(false);
  readTimes_.fill(QDateTime());
  for (int tab = 0; tab < int(grids_.size()); ++tab) updateStatus(tab);
}

void TfrmMain::updateStatus(int tab) {
  QLabel* panel = statusPanels_.at(tab);
  const db::Dataset* dataset = dataSource(tab).dataset();
  if (!panel) return;
  if (!dataset || !dataset->isOpen() || !readTimes_.at(tab).isValid()) {
    panel->clear();
    return;
  }
  panel->setText(
      QStringLiteral(" %1 筆　讀取時間 %2 ")
          .arg(QLocale(QLocale::Chinese, QLocale::Taiwan).toString(dataset->recordCount()),
               readTimes_.at(tab).toString(QStringLiteral("HH:mm"))));
}

QString TfrmMain::statusText(int tab) const {
  return statusPanels_.at(tab) ? statusPanels_.at(tab)->text().trimmed() : QString();
}

void TfrmMain::bbtnHistoryClick() {
  showImportHistory(dm_, this);
  for (int tab = 0; tab < int(grids_.size()); ++tab) updateStatus(tab);
}

void TfrmMain::undoImport(const QString& journal) {
  showUndoOf(dm_, journal, this);
  for (int tab = 0; tab < int(grids_.size()); ++tab) updateStatus(tab);
}

void TfrmMain::bbtnImportClick() {
  if (!dmAccess_) {
    ownDmAccess_ = std::make_unique<dataimport::TDmAccess>();
    dmAccess_ = ownDmAccess_.get();
  }
  ImportFlow::Hooks hooks;
  hooks.selectTab = [this](int tab) { PageControl_->setCurrentIndex(tab); };
  hooks.undo = [this](const QString& journal) { undoImport(journal); };
  hooks.imported = [this] {
    for (int tab = 0; tab < int(grids_.size()); ++tab) updateStatus(tab);
  };
  ImportFlow(dm_, *dmAccess_, this, std::move(hooks)).run();
}

void TfrmMain::bbtnExportClick() {
  ProgressWindow progress(QStringLiteral("匯出檔案"), this);
  dataexport::ExportView view;
  view.showTab = [this, &progress](int tab) {
    PageControl_->setCurrentIndex(tab);
    progress.setText(QStringLiteral("正在匯出%1").arg(PageControl_->tabText(tab)));
  };
  view.repaint = [this] { repaint(); };
  view.progress = &progress;
  // Two exports into one Access table leave every row twice, and an import would take
  // the stale copy: replacing is what the operator almost always wants.
  view.askExistingRows = [](const QString& file, qint64 rows) {
    const int button = platform::UiServices::instance().choose(
        QStringLiteral("%1 裡已經有 %2 列資料（之前匯出的）。\n\n"
                       "取代：清空後寫入 POS 現在的資料（建議）。\n"
                       "附加：寫在原有的資料之後，每一列會出現兩次。")
            .arg(QDir::toNativeSeparators(file))
            .arg(rows),
        QStringLiteral("資料轉換程式"),
        {QStringLiteral("取代"), QStringLiteral("附加"), QStringLiteral("取消")}, 0);
    return button == 0   ? dataexport::ExistingRows::Replace
           : button == 1 ? dataexport::ExistingRows::Append
                         : dataexport::ExistingRows::Cancel;
  };
  dataexport::ExportDriver driver(dm_, *ADO_AccessExporter_, view);
  // A failure ends the export at its table with its error; the report still lists
  // every table, which were written and which were not.
  guard([&] { progress.run([&](ProgressWindow&) { driver.Run(); }); });
  // An exported table's rows were read again for it.
  for (const config::TableOutcome& t : driver.Outcome().tables)
    if (t.state != config::TableOutcome::State::NotRun)
      readTimes_.at(config::posTable(t.table).tab) = QDateTime::currentDateTime();
  for (int tab = 0; tab < int(grids_.size()); ++tab) updateStatus(tab);
  if (driver.Outcome().tables.empty()) {
    platform::UiServices::instance().messageBox(
        QStringLiteral("沒有要匯出的資料表。請在「參數設定」勾選要匯出的資料表。"),
        applicationTitle(), platform::UiServices::Icon::Information);
    return;
  }
  ReportWindow report(driver.Outcome(), {}, this);
  execDialog(report);
}

void TfrmMain::bbtnSettingClick() {
  // A fresh dialog on every click, freed when it closes, also after an error.
  TfrmSetting dialog(this);
  dialog.setConnected(dm_.cnKAROS.isConnected());
  dialog.exec();
}

void TfrmMain::bbtnExitClick() {
  close();
}

db::DataSource& TfrmMain::dataSource(int tab) const {
  switch (tab) {
    case tabClassify:
      return dm_.dsClassify;
    case tabItem:
      return dm_.dsItem;
    case tabSupplier:
      return dm_.dsSupplier;
    default:
      return dm_.dsCustomer;
  }
}

void TfrmMain::bindGrid(int tab) {
  DbGrid* grid = grids_.at(tab);
  db::Dataset* dataset = dataSource(tab).dataset();
  if (!dataset) return;
  QStringList names;
  for (const GridColumn& c : gridColumns(tab)) names << c.field;
  auto* model = new DatasetTableModel(*dataset, names, grid);
  models_.at(tab) = model;
  grid->setDatasetModel(model);
  for (int column = 0; column < model->columnCount(); ++column) {
    const db::Field& field = model->field(column);
    int width = GridColumn::kDefaultWidth;
    for (const GridColumn& c : gridColumns(tab))
      if (c.field.compare(field.fieldName(), Qt::CaseInsensitive) == 0) width = c.width;
    if (width == GridColumn::kDefaultWidth)
      width = grid->defaultColumnWidth(field.displayWidth(), field.displayLabel());
    grid->setColumnWidth(column, width);
  }
}

}  // namespace app
