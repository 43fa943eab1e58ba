// TGauge: a progress gauge that paints itself off screen and shows its percentage in
// the inverse colour of whatever lies under the text (exclusive or), so that in the
// import window the text is black over white and yellow over the blue bar.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace dataimport {

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TBorderStyle { bsNone, bsSingle };

class TGauge : public QWidget {
  Q_OBJECT
 public:
  // 100 x 100 pixels, a horizontal bar with its text, a single border, black on white,
  // range 0 to 100, progress 0.
  explicit TGauge(QWidget* parent = nullptr);

  TGaugeKind Kind() const { return kind_; }
  void setKind(TGaugeKind kind);
  bool ShowText() const { return showText_; }
  void setShowText(bool show);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void setBorderStyle(TBorderStyle style);
  QColor ForeColor() const { return foreColor_; }
  void setForeColor(const QColor& color);
  QColor BackColor() const { return backColor_; }
  void setBackColor(const QColor& color);

  int MinValue() const { return minValue_; }
  // Above MaxValue: throws platform::Error("Value must be between -2147483647 and
  // <MaxValue - 1>") unless loading. Progress is raised to it when below.
  void setMinValue(int value);
  int MaxValue() const { return maxValue_; }
  // Below MinValue: throws "Value must be between <MinValue + 1> and 2147483647"
  // unless loading. Progress is lowered to it when above.
  void setMaxValue(int value);
  int Progress() const { return progress_; }
  // Clamped to the range; repaints only when the percentage changes.
  void setProgress(int value);
  int Percentage() const;

  // While the control's stored properties are restored, bounds are taken as given.
  void setLoading(bool loading) { loading_ = loading; }

  // The control's picture as it is painted.
  QImage render() const;
  // Repaints asked for since creation.
  int repaintCount() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void changed();
  void paintKind(QImage& image) const;

  TGaugeKind kind_ = gkHorizontalBar;
  bool showText_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  QColor foreColor_ = Qt::black;
  QColor backColor_ = Qt::white;
  int minValue_ = 0;
  int maxValue_ = 100;
  int progress_ = 0;
  bool loading_ = false;
  int repaints_ = 0;
};

}  // namespace dataimport
