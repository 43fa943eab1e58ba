// The main window: a toolbar of six image buttons above one tab per POS table, each
// showing its table read-only in a grid. It has two states, disconnected and
// connected, set by the start and stop handlers. Components carry the names of the
// design (bbtnStartSQL, PageControl, dbgItem, StatusBarItem...) as object names.
#pragma once

#include "app/ResponsiveWait.h"

#include <QDateTime>
#include <QWidget>
#include <array>
#include <memory>

class QDateTime;
class QFileDialog;
class QLabel;
class QStatusBar;
class QTabWidget;

namespace db {
class DataSource;
}
namespace posdb {
class TDmMSSQL;
}
namespace dataexport {
class TADO_AccessExporter;
}
namespace dataimport {
class TDmAccess;
}

namespace app {

class DbGrid;
class DatasetTableModel;
class ImageButton;

class TfrmMain : public QWidget {
  Q_OBJECT
 public:
  // The grids bind to the queries of `dmMSSQL`, which must outlive the window.
  explicit TfrmMain(posdb::TDmMSSQL& dmMSSQL, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Tab indexes, as import and export bring the table they work on to the front.
  enum Tab { tabClassify = 0, tabItem = 1, tabSupplier = 2, tabCustomer = 3 };
  QTabWidget* PageControl() const { return PageControl_; }
  // The text of a tab's status panel.
  QString statusText(int tab) const;
  DbGrid* grid(int tab) const { return grids_.at(tab); }
  // The Access exporter of "匯出檔案"; its properties keep the last table exported.
  dataexport::TADO_AccessExporter& ADO_AccessExporter() const { return *ADO_AccessExporter_; }

  // The Access source module the import reads through (the program's DmAccess);
  // without one the window makes its own at the first import.
  void setDmAccess(dataimport::TDmAccess* dmAccess) { dmAccess_ = dmAccess; }

  // Test seam: the start connects with this connection text instead of the one made
  // from Config.ini (an empty text restores that).
  void setConnectionForTesting(const QString& text) { connectionForTesting_ = text; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void bbtnStartSQLClick();
  void bbtnStopSQLClick();
  void bbtnImportClick();
  void bbtnExportClick();
  void bbtnSettingClick();
  void bbtnExitClick();
  void bbtnHistoryClick();
  // Opens the import history with `journal` selected, to take it back.
  void undoImport(const QString& journal);
  // The tab's status panel: its row count and when its rows were read.
  void updateStatus(int tab);

  // Runs a button's handler through the error guard, unless a start is still waiting
  // for the POS: a click then does nothing, but "離開" closes the window (which
  // abandons the start).
  void click(void (TfrmMain::*handler)());
  void setConnected(bool connected);
  ImageButton* addButton(const char* name, const QString& caption, const QString& image,
                         int imageSize, void (TfrmMain::*handler)());
  void addTab(int index, const char* sheet, const QString& caption, const char* gridName,
              const char* statusBar, const QFont& titleFont);
  db::DataSource& dataSource(int tab) const;
  void bindGrid(int tab);

  posdb::TDmMSSQL& dm_;
  dataimport::TDmAccess* dmAccess_ = nullptr;
  std::unique_ptr<dataimport::TDmAccess> ownDmAccess_;
  QWidget* ToolBar_ = nullptr;
  ImageButton* bbtnStartSQL_ = nullptr;
  ImageButton* bbtnStopSQL_ = nullptr;
  ImageButton* bbtnImport_ = nullptr;
  ImageButton* bbtnExport_ = nullptr;
  ImageButton* bbtnSetting_ = nullptr;
  ImageButton* bbtnExit_ = nullptr;
  ImageButton* bbtnHistory_ = nullptr;
  QTabWidget* PageControl_ = nullptr;
  std::array<DbGrid*, 4> grids_{};
  std::array<DatasetTableModel*, 4> models_{};
  std::array<QLabel*, 4> statusPanels_{};
  std::array<QDateTime, 4> readTimes_{};
  QFileDialog* OpenDialog_ = nullptr;
  QFileDialog* SaveDialog_ = nullptr;
  std::unique_ptr<dataexport::TADO_AccessExporter> ADO_AccessExporter_;

  QString connectionForTesting_;
  bool firstShow_ = true;
  bool starting_ = false;
  bool closeWhenStarted_ = false;
  AbandonableWait startWait_;
};

}  // namespace app
