// TImportMdbBox: the window that shows one table import while it runs, and starts it.
// A setup operation sets the caption, arms the one-shot timer (200 ms) and shows the
// window modally; the timer's tick runs the import, which reports through the window
// (gauge and "%d / %d" in the status panel) and lets it repaint after every row. The
// window ends with mrOk after a complete import, mrCancel otherwise; closing it before
// the first tick ends it with mrCancel and no import.
//
// "取消" in the status bar stops the import between two rows (the next step throws
// platform::Cancelled); the close box and Escape ask first whether to stop it.
#pragma once

#include <platform/Progress.h>

#include <QDialog>
#include <QElapsedTimer>
#include <exception>
#include <functional>

class QLabel;
class QPushButton;
class QStatusBar;
class QTimer;

namespace dataimport {

class TGauge;

enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

class TImportMdbBox : public QDialog, private platform::Progress {
  Q_OBJECT
 public:
  explicit TImportMdbBox(QWidget* parent = nullptr);
  ~TImportMdbBox() override;

  TGauge* Gauge() const { return Gauge_; }
  QStatusBar* StatusBar() const { return StatusBar_; }
  QTimer* Timer() const { return Timer_; }
  // The text of the status bar's one panel.
  QString panelText() const;

  // The import the timer runs (a table import); it reports through the window.
  void setWork(std::function<void(platform::Progress&)> work) { work_ = std::move(work); }
  // Shows an import's failure while the window is still up. Without one, the failure
  // is kept and thrown again by the setup operation once the window has closed.
  void setErrorHandler(std::function<void(std::exception_ptr)> handler) {
    errorHandler_ = std::move(handler);
  }

  // Setup operations: show the window modally, return when it has closed.
  void ImportClassify();
  void ImportSupplier();
  void ImportItem();
  void ImportCustomer();

  int ModalResult() const { return result(); }

  // The next step throws platform::Cancelled.
  void requestCancel();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void setup(const QString& caption, void (TImportMdbBox::*handler)());
  void ClassifyTimer();
  void SupplierTimer();
  void ItemTimer();
  void CustomerTimer();
  void runImport();
  // Sizes the status panel to the counter of a table of `total` rows.
  void fitPanel(int total);
  void askToCancel();

  void start(int total) override;
  void step(int done, int total) override;
  void finish() override {}

  TGauge* Gauge_ = nullptr;
  QStatusBar* StatusBar_ = nullptr;
  QLabel* panel_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool cancelRequested_ = false;
  int panelRows_ = 0;  // the row count the panel is sized for
  QTimer* Timer_ = nullptr;
  QMetaObject::Connection timerHandler_;
  std::function<void(platform::Progress&)> work_;
  std::function<void(std::exception_ptr)> errorHandler_;
  std::exception_ptr failure_;
  bool running_ = false;
  static constexpr int kMessageInterval = 20;
  QElapsedTimer sinceMessages_;
};

}  // namespace dataimport
