// Long work the operator waits for (a preview, an export, an undo, a start) shown in a
// small modal window: a line saying what is being done, a gauge and "取消". The work
// runs on the window's own thread and reports through the window; the window repaints
// and answers while it runs.
//
// "取消" asks the work to stop: the next step() throws platform::Cancelled, so the work
// ends at a unit's boundary. The close box and Escape ask first whether to cancel.
#pragma once

#include <platform/Progress.h>

#include <QDialog>
#include <QElapsedTimer>
#include <functional>

class QLabel;
class QPushButton;

namespace dataimport {
class TGauge;
}

namespace app {

class ProgressWindow : public QDialog, public platform::Progress {
  Q_OBJECT
 public:
  explicit ProgressWindow(const QString& caption, QWidget* parent = nullptr);
  ~ProgressWindow() override;

  // Shows the window modally, runs `work` and returns when it has ended; its failure
  // (platform::Cancelled included) propagates once the window is hidden.
  void run(const std::function<void(ProgressWindow&)>& work);

  // The line above the gauge, "正在匯出商品資料"; while rows are counted it is followed
  // by them: "正在匯出商品資料：1200 / 5000 列".
  void setText(const QString& line);
  QString text() const;
  // The next step() throws platform::Cancelled, and `onCancel` (when set) runs: for
  // work that waits on another thread and is stopped from here.
  void requestCancel();
  void setOnCancel(std::function<void()> onCancel) { onCancel_ = std::move(onCancel); }
  // Moves the gauge without a step: for a timer that shows how far other work came.
  void setGauge(int done, int total);

  void start(int total) override;
  void step(int done, int total) override;
  void finish() override;
  // Lets the window repaint and answer during work that has no rows to count yet (a
  // connection, a query); throws platform::Cancelled as step() does.
  void poll();

  // Test seam: runs at every step, before the cancel is checked; it may call
  // requestCancel(). An empty function removes it.
  static void setStepHookForTesting(std::function<void(ProgressWindow&, int done)> hook);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void askToCancel();
  void throwIfCancelled();

  void showLine();

  QLabel* line_ = nullptr;
  QString prefix_;
  int done_ = -1;
  int total_ = 0;
  dataimport::TGauge* gauge_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool running_ = false;
  bool cancelRequested_ = false;
  std::function<void()> onCancel_;
  QElapsedTimer sinceEvents_;
};

}  // namespace app
