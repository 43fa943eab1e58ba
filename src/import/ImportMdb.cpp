#include "import/ImportMdb.h"

#include "import/Gauges.h"

#include <platform/Cancelled.h>
#include <platform/UiServices.h>

#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace dataimport {
namespace {

constexpr int kClientWidth = 258;
constexpr int kClientHeight = 67;
constexpr int kStatusHeight = 24;
// The status panel's width before a table's row count is known, and its least.
constexpr int kPanelWidth = 50;

QFont arial(int pixels) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixels);
  return font;
}

// The counter's widest text for a table of `total` rows: the done count with as many
// digits as the total, each the font's widest digit.
QString widestCounter(const QFontMetrics& metrics, int total) {
  const QString rows = QString::number(total);
  QChar widest = u'0';
  for (char16_t digit = u'1'; digit <= u'9'; ++digit)
    if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest))
      widest = QChar(digit);
  return QString(rows.size(), widest) + QStringLiteral(" / ") + rows;
}

// Wide enough for the counter of a table of `total` rows: the text, the frame and
// contents margins, the label's margins and the indent a framed label keeps (half an
// 'x' on each side, as its size hint reckons it), never narrower than kPanelWidth.
int panelWidth(const QLabel& panel, int total) {
  const QFontMetrics metrics = panel.fontMetrics();
  const int frame = panel.width() - panel.contentsRect().width();
  int indent = panel.indent();
  if (indent < 0) indent = panel.frameWidth() > 0 ? metrics.horizontalAdvance(u'x') : 0;
  const int width = metrics.horizontalAdvance(widestCounter(metrics, total)) + frame +
                    2 * panel.margin() + indent;
  return std::max(kPanelWidth, width);
}

}  // namespace

TImportMdbBox::TImportMdbBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ImportMdbBox"));
  // A fixed border whose only icon is the close box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(arial(12));
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Gauge_ = new TGauge(this);
  Gauge_->setObjectName(QStringLiteral("Gauge"));
  Gauge_->setForeColor(Qt::blue);
  QFont gaugeFont = arial(15);
  Gauge_->setFont(gaugeFont);
  Gauge_->setFixedHeight(kClientHeight - kStatusHeight);
  layout->addWidget(Gauge_);

  StatusBar_ = new QStatusBar(this);
  StatusBar_->setObjectName(QStringLiteral("StatusBar"));
  StatusBar_->setSizeGripEnabled(false);
  StatusBar_->setFixedHeight(kStatusHeight);
  panel_ = new QLabel(StatusBar_);
  panel_->setFixedWidth(kPanelWidth);
  panel_->setFrameShape(QFrame::Panel);
  panel_->setFrameShadow(QFrame::Sunken);
  StatusBar_->addWidget(panel_);
  cancel_ = new QPushButton(QStringLiteral("取消"), StatusBar_);
  cancel_->setObjectName(QStringLiteral("btnCancel"));
  cancel_->setFont(arial(12));
  cancel_->setFixedHeight(kStatusHeight - 4);
  cancel_->setAutoDefault(false);
  cancel_->setEnabled(false);
  connect(cancel_, &QPushButton::clicked, this, [this] { requestCancel(); });
  StatusBar_->addPermanentWidget(cancel_);
  layout->addWidget(StatusBar_);

  Timer_ = new QTimer(this);
  Timer_->setObjectName(QStringLiteral("Timer"));
  Timer_->setInterval(200);
}

TImportMdbBox::~TImportMdbBox() = default;

QString TImportMdbBox::panelText() const {
  return panel_->text();
}

void TImportMdbBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
  }
}

void TImportMdbBox::ImportClassify() {
  setup(QStringLiteral("匯入小分類資料"), &TImportMdbBox::ClassifyTimer);
}
void TImportMdbBox::ImportSupplier() {
  setup(QStringLiteral("匯入廠商資料"), &TImportMdbBox::SupplierTimer);
}
void TImportMdbBox::ImportItem() {
  setup(QStringLiteral("匯入商品資料"), &TImportMdbBox::ItemTimer);
}
void TImportMdbBox::ImportCustomer() {
  setup(QStringLiteral("匯入會員資料"), &TImportMdbBox::CustomerTimer);
}

void TImportMdbBox::setup(const QString& caption, void (TImportMdbBox::*handler)()) {
  setWindowTitle(caption);
  Timer_->stop();
  disconnect(timerHandler_);
  timerHandler_ = connect(Timer_, &QTimer::timeout, this, handler);
  Timer_->start();
  setResult(mrNone);
  exec();
  Timer_->stop();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void TImportMdbBox::ClassifyTimer() {
  runImport();
}
void TImportMdbBox::SupplierTimer() {
  runImport();
}
void TImportMdbBox::ItemTimer() {
  runImport();
}
void TImportMdbBox::CustomerTimer() {
  runImport();
}

void TImportMdbBox::runImport() {
  // Once per window, whatever the tick brings.
  Timer_->stop();
  running_ = true;
  cancelRequested_ = false;
  cancel_->setEnabled(true);
  struct Disable {
    QPushButton* button;
    ~Disable() { button->setEnabled(false); }
  } disable{cancel_};
  try {
    if (work_) work_(*this);
  } catch (...) {
    running_ = false;
    setResult(mrCancel);
    // Shown while the window is still up; the modal loop ends after it.
    if (errorHandler_)
      errorHandler_(std::current_exception());
    else
      failure_ = std::current_exception();
    done(mrCancel);
    return;
  }
  running_ = false;
  done(mrOk);
}

void TImportMdbBox::fitPanel(int total) {
  panelRows_ = total;
  panel_->setFixedWidth(panelWidth(*panel_, total));
}

void TImportMdbBox::start(int total) {
  sinceMessages_.invalidate();
  fitPanel(total);
}

void TImportMdbBox::requestCancel() {
  if (!running_ || cancelRequested_) return;
  cancelRequested_ = true;
  cancel_->setEnabled(false);
}

void TImportMdbBox::askToCancel() {
  if (!running_ || cancelRequested_) return;
  if (platform::UiServices::instance().question(
          QStringLiteral(
              "要取消「%1」嗎？\n\n已經匯入的資料列會保留（記錄在匯入紀錄中，可以還原），"
              "之後的資料列與資料表不會匯入。")
              .arg(windowTitle()),
          QStringLiteral("資料轉換程式")))
    requestCancel();
}

void TImportMdbBox::step(int done, int total) {
  // Between two rows: the rows before stay imported, the next is not begun.
  if (cancelRequested_) throw platform::Cancelled();
  if (total != panelRows_) fitPanel(total);
  Gauge_->setProgress(int(qint64(done) * 100 / total));
  panel_->setText(QString::number(done) + QStringLiteral(" / ") + QString::number(total));
  // Repainting this window costs more than importing a row into a local database, so
  // pending messages are processed at most every kMessageInterval ms, and after the
  // last row: fast enough that the window repaints smoothly and answers at once.
  if (done < total && sinceMessages_.isValid() && sinceMessages_.elapsed() < kMessageInterval)
    return;
  platform::UiServices::instance().processEvents();
  sinceMessages_.start();
}

void TImportMdbBox::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (running_) {
    // The import stops between two rows, if the operator says so, and ends the window.
    askToCancel();
    return;
  }
  Timer_->stop();
  done(mrCancel);
}

void TImportMdbBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    askToCancel();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace dataimport
