#include "app/ProgressWindow.h"

#include "app/ErrorHandler.h"
#include "app/Fonts.h"

#include <import/Gauges.h>
#include <platform/Cancelled.h>
#include <platform/UiServices.h>

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {
namespace {

// Repainting costs more than a row of local work: events are processed at most this
// often (ms), which still answers a click at once.
constexpr int kEventInterval = 20;

std::function<void(ProgressWindow&, int)>& stepHook() {
  static std::function<void(ProgressWindow&, int)> hook;
  return hook;
}

}  // namespace

ProgressWindow::ProgressWindow(const QString& caption, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ProgressWindow"));
  setWindowTitle(caption);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowModality(Qt::ApplicationModal);
  setFont(fonts::newMingLiU(13));

  auto* layout = new QVBoxLayout(this);
  line_ = new QLabel(this);
  line_->setObjectName(QStringLiteral("lblProgress"));
  line_->setMinimumWidth(360);
  layout->addWidget(line_);

  gauge_ = new dataimport::TGauge(this);
  gauge_->setObjectName(QStringLiteral("Gauge"));
  gauge_->setForeColor(Qt::blue);
  gauge_->setFont(fonts::arial(15));
  gauge_->setFixedHeight(28);
  gauge_->setMinimumWidth(360);
  layout->addWidget(gauge_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  cancel_ = new QPushButton(QStringLiteral("取消"), this);
  cancel_->setObjectName(QStringLiteral("btnCancel"));
  cancel_->setAutoDefault(false);
  connect(cancel_, &QPushButton::clicked, this, [this] { requestCancel(); });
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  setFixedSize(sizeHint());
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::setStepHookForTesting(std::function<void(ProgressWindow&, int)> hook) {
  stepHook() = std::move(hook);
}

void ProgressWindow::run(const std::function<void(ProgressWindow&)>& work) {
  running_ = true;
  cancelRequested_ = false;
  cancel_->setEnabled(true);
  cancel_->setText(QStringLiteral("取消"));
  show();
  platform::UiServices::instance().processEvents();
  sinceEvents_.start();
  try {
    work(*this);
  } catch (...) {
    running_ = false;
    hide();
    throw;
  }
  running_ = false;
  hide();
}

void ProgressWindow::setText(const QString& line) {
  prefix_ = line;
  done_ = -1;
  showLine();
}

void ProgressWindow::showLine() {
  if (done_ < 0 || total_ <= 0) {
    line_->setText(prefix_);
    return;
  }
  line_->setText(QStringLiteral("%1：%2 / %3 列").arg(prefix_).arg(done_).arg(total_));
}

QString ProgressWindow::text() const {
  return line_->text();
}

void ProgressWindow::requestCancel() {
  if (!running_ || cancelRequested_) return;
  cancelRequested_ = true;
  cancel_->setEnabled(false);
  cancel_->setText(QStringLiteral("正在取消…"));
  if (onCancel_) onCancel_();
}

void ProgressWindow::setGauge(int done, int total) {
  gauge_->setMaxValue(std::max(total, 1));
  gauge_->setProgress(done);
}

void ProgressWindow::start(int total) {
  gauge_->setMaxValue(std::max(total, 1));
  gauge_->setProgress(0);
  done_ = 0;
  total_ = total;
  showLine();
  poll();
}

void ProgressWindow::step(int done, int total) {
  if (total > 0 && gauge_->MaxValue() != total) gauge_->setMaxValue(total);
  gauge_->setProgress(done);
  done_ = done;
  total_ = total;
  if (const auto& hook = stepHook()) hook(*this, done);
  throwIfCancelled();
  if (done < total && sinceEvents_.isValid() && sinceEvents_.elapsed() < kEventInterval) return;
  showLine();
  poll();
}

void ProgressWindow::finish() {
  gauge_->setProgress(gauge_->MaxValue());
  done_ = total_;
  showLine();
}

void ProgressWindow::poll() {
  platform::UiServices::instance().processEvents();
  sinceEvents_.start();
  throwIfCancelled();
}

void ProgressWindow::throwIfCancelled() {
  if (cancelRequested_) throw platform::Cancelled();
}

void ProgressWindow::askToCancel() {
  if (!running_ || cancelRequested_) return;
  if (platform::UiServices::instance().question(
          QStringLiteral("要取消「%1」嗎？\n\n已經寫入的資料會保留，並列在最後的報告裡。")
              .arg(windowTitle()),
          applicationTitle()))
    requestCancel();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  askToCancel();
}

void ProgressWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    askToCancel();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace app
