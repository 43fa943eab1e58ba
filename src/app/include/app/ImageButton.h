// A push button with an image and a caption, the image above the caption (toolbar
// buttons) or left of it (dialog buttons), and a greyed image while disabled.
#pragma once

#include <QAbstractButton>
#include <QIcon>

namespace app {

class ImageButton : public QAbstractButton {
  Q_OBJECT
 public:
  enum class Layout { ImageAbove, ImageLeft };

  // `image` names the normal and greyed SVG files in the icon resources, e.g. "start"
  // for :/icons/start.svg and :/icons/start-disabled.svg.
  ImageButton(const QString& caption, const QString& image, QSize imageSize, Layout layout,
              int spacing, QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Layout layout_;
  int spacing_;
};

// The normal and greyed forms of one of the program's images.
QIcon programIcon(const QString& image, QSize size);

}  // namespace app
