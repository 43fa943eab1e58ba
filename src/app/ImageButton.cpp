#include "app/ImageButton.h"

#include <QFontMetrics>
#include <QStyleOptionButton>
#include <QStylePainter>

// The images are compiled into this static library; the linker keeps them only when
// something registers them by name.
static void registerImages() {
  Q_INIT_RESOURCE(icons);
}

namespace app {

QIcon programIcon(const QString& image, QSize size) {
  static const bool registered = (registerImages(), true);
  (void)registered;
  QIcon icon;
  const QString base = QStringLiteral(":/icons/") + image;
  icon.addFile(base + QStringLiteral(".svg"), size, QIcon::Normal);
  icon.addFile(base + QStringLiteral("-disabled.svg"), size, QIcon::Disabled);
  return icon;
}

ImageButton::ImageButton(const QString& caption, const QString& image, QSize imageSize,
                         Layout layout, int spacing, QWidget* parent)
    : QAbstractButton(parent), layout_(layout), spacing_(spacing) {
  setText(caption);
  setIcon(programIcon(image, imageSize));
  setIconSize(imageSize);
  setFocusPolicy(Qt::StrongFocus);
}

QSize ImageButton::sizeHint() const {
  const QFontMetrics fm(font());
  const QSize caption(fm.horizontalAdvance(text()), fm.height());
  if (layout_ == Layout::ImageAbove)
    return {qMax(iconSize().width(), caption.width()) + 16,
            iconSize().height() + spacing_ + caption.height() + 16};
  return {iconSize().width() + spacing_ + caption.width() + 16,
          qMax(iconSize().height(), caption.height()) + 12};
}

void ImageButton::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionButton opt;
  opt.initFrom(this);
  opt.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
  if (isDown()) opt.state |= QStyle::State_On;
  p.drawControl(QStyle::CE_PushButtonBevel, opt);

  const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
  const QPixmap image = icon().pixmap(iconSize(), devicePixelRatio(), mode);
  const QFontMetrics fm(font());
  const int textWidth = fm.horizontalAdvance(text());
  const int textHeight = fm.height();
  // A pressed button shifts its content by one pixel, like a bevelled button does.
  const int shift = isDown() ? 1 : 0;
  const QRect r = rect();

  QRect imageRect;
  QRect textRect;
  if (layout_ == Layout::ImageAbove) {
    const int total = iconSize().height() + spacing_ + textHeight;
    const int top = (r.height() - total) / 2 + shift;
    imageRect = QRect((r.width() - iconSize().width()) / 2 + shift, top, iconSize().width(),
                      iconSize().height());
    textRect = QRect(shift, top + iconSize().height() + spacing_, r.width(), textHeight);
  } else {
    const int total = iconSize().width() + spacing_ + textWidth;
    const int left = (r.width() - total) / 2 + shift;
    imageRect = QRect(left, (r.height() - iconSize().height()) / 2 + shift, iconSize().width(),
                      iconSize().height());
    textRect = QRect(left + iconSize().width() + spacing_, shift, textWidth + 1, r.height());
  }
  p.drawPixmap(imageRect, image);
  p.drawItemText(textRect, Qt::AlignCenter, palette(), isEnabled(), text(), QPalette::ButtonText);

  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = r.adjusted(4, 4, -4, -4);
    p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace app
