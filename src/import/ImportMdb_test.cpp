#include "import/ImportMdb.h"

#include "import/Gauges.h"

#include <platform/Error.h>
#include <platform/UiServices.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace dataimport {
namespace {

// Lets the window repaint as the program does, and runs a test's hook afterwards.
class EventUi : public platform::UiServices {
 public:
  void messageBox(const QString&, const QString&, Icon) override {}
  void showInformation(const QString&) override {}
  void setBusyCursor(bool) override {}
  void processEvents() override {
    QCoreApplication::processEvents();
    if (onProcessEvents) onProcessEvents();
  }
  std::function<void()> onProcessEvents;
};

class ImportMdbTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = platform::UiServices::install(&ui_); }
  void TearDown() override { platform::UiServices::install(previous_); }
  EventUi ui_;
  platform::UiServices* previous_ = nullptr;
};

TEST_F(ImportMdbTest, LayoutAsCreated) {
  TImportMdbBox box;
  EXPECT_EQ(box.size(), QSize(258, 67));
  EXPECT_EQ(box.font().family(), "Arial");
  EXPECT_EQ(box.font().pixelSize(), 12);
  EXPECT_EQ(box.Gauge()->height(), 43);
  EXPECT_EQ(box.Gauge()->ForeColor(), QColor(Qt::blue));
  EXPECT_EQ(box.Gauge()->font().pixelSize(), 15);
  EXPECT_EQ(box.Gauge()->Progress(), 0);
  EXPECT_EQ(box.StatusBar()->height(), 24);
  EXPECT_FALSE(box.Timer()->isActive());
  EXPECT_EQ(box.Timer()->interval(), 200);
  EXPECT_TRUE(box.panelText().isEmpty());
  const Qt::WindowFlags flags = box.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(ImportMdbTest, ThreeRowsMoveGaugeAndPanelThenOk) {
  TImportMdbBox box;
  QStringList seen;
  int processed = 0;
  ui_.onProcessEvents = [&] { ++processed; };
  bool visibleWhileRunning = false;
  box.setWork([&](platform::Progress& p) {
    visibleWhileRunning = box.isVisible();
    p.start(3);
    for (int i = 1; i <= 3; ++i) {
      p.step(i, 3);
      seen << QStringLiteral("%1 %2").arg(box.Gauge()->Progress()).arg(box.panelText());
    }
    p.finish();
  });
  box.ImportSupplier();
  EXPECT_EQ(box.windowTitle(), QStringLiteral("匯入廠商資料"));
  EXPECT_TRUE(visibleWhileRunning);
  EXPECT_EQ(seen, QStringList({"33 1 / 3", "66 2 / 3", "100 3 / 3"}));
  // The first row and the last let the windows repaint whatever the clock says.
  EXPECT_GE(processed, 2);
  EXPECT_EQ(box.ModalResult(), mrOk);
  EXPECT_FALSE(box.isVisible());
  EXPECT_FALSE(box.Timer()->isActive());
}

// The counter "done / total" shows whole for the table's own row count, up to seven
// digits a side, and the window keeps its size and its other controls their places.
TEST_F(ImportMdbTest, StatusPanelHoldsTheWholeCounterOfTheTable) {
  for (const int rows : {300, 9999999}) {
    SCOPED_TRACE(rows);
    TImportMdbBox box;
    auto* panel = box.StatusBar()->findChild<QLabel*>();
    ASSERT_NE(panel, nullptr);
    QRect gaugeBefore, barBefore, gaugeAfter, barAfter, panelAfter;
    int contents = 0;
    box.setWork([&](platform::Progress& p) {
      gaugeBefore = box.Gauge()->geometry();
      barBefore = box.StatusBar()->geometry();
      p.start(rows);
      p.step(rows, rows);  // the first row lets the window lay itself out
      gaugeAfter = box.Gauge()->geometry();
      barAfter = box.StatusBar()->geometry();
      panelAfter = panel->geometry();
      contents = panel->contentsRect().width();
    });
    box.ImportItem();
    const QString counter = QStringLiteral("%1 / %1").arg(rows);
    EXPECT_EQ(box.panelText(), counter);
    const QFontMetrics metrics = panel->fontMetrics();
    // A framed label draws its text half an 'x' in from the frame.
    const int indent = metrics.horizontalAdvance(u'x') / 2;
    EXPECT_GE(contents, indent + metrics.horizontalAdvance(counter));
    EXPECT_LE(panelAfter.right(), barAfter.width() - 1);  // not cut by the status bar
    EXPECT_EQ(box.size(), QSize(258, 67));
    EXPECT_EQ(gaugeAfter, gaugeBefore);
    EXPECT_EQ(barAfter, barBefore);
  }
}

TEST_F(ImportMdbTest, FailureIsShownWhileTheWindowIsUpAndEndsWithCancel) {
  TImportMdbBox box;
  int shown = 0;
  bool upWhenShown = false;
  QString message;
  box.setErrorHandler([&](std::exception_ptr e) {
    ++shown;
    upWhenShown = box.isVisible();
    try {
      std::rethrow_exception(e);
    } catch (const platform::Error& error) {
      message = error.message();
    }
  });
  box.setWork([](platform::Progress& p) {
    p.start(10);
    for (int i = 1; i <= 4; ++i) p.step(i, 10);
    throw platform::Error("row 5 failed");
  });
  box.ImportItem();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(upWhenShown);
  EXPECT_EQ(message, "row 5 failed");
  EXPECT_EQ(box.ModalResult(), mrCancel);
  EXPECT_EQ(box.panelText(), "4 / 10");

  // Without a handler the failure comes out of the setup operation.
  TImportMdbBox plain;
  plain.setWork([](platform::Progress&) { throw platform::Error("boom"); });
  EXPECT_THROW(plain.ImportClassify(), platform::Error);
  EXPECT_EQ(plain.ModalResult(), mrCancel);
}

TEST_F(ImportMdbTest, CloseBeforeTheFirstTickCancelsWithoutImport) {
  TImportMdbBox box;
  bool ran = false;
  box.setWork([&](platform::Progress&) { ran = true; });
  // The close request is the first thing the modal loop handles.
  QTimer::singleShot(0, &box, [&] { box.close(); });
  box.ImportCustomer();
  EXPECT_FALSE(ran);
  EXPECT_EQ(box.ModalResult(), mrCancel);
  EXPECT_EQ(box.windowTitle(), QStringLiteral("匯入會員資料"));
}

TEST_F(ImportMdbTest, CloseWhileImportingDoesNotStopIt) {
  TImportMdbBox box;
  int rows = 0;
  box.setWork([&](platform::Progress& p) {
    p.start(3);
    for (int i = 1; i <= 3; ++i) {
      ++rows;
      if (i == 1) box.close();
      p.step(i, 3);
    }
  });
  box.ImportClassify();
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(box.ModalResult(), mrOk);
  EXPECT_EQ(box.windowTitle(), QStringLiteral("匯入小分類資料"));
}

}  // namespace
}  // namespace dataimport
