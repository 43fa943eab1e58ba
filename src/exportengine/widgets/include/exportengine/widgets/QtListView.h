// A report-style list view (a QTreeWidget with columns and top-level items only) as
// an export source.
#pragma once

#include <exportengine/ExportControls.h>

#include <QPointer>

class QTreeWidget;

namespace exportengine::widgets {

class QtListView : public ListViewControl {
 public:
  // A child of `view`: it goes when the view goes, and the exporter forgets it then.
  explicit QtListView(QTreeWidget* view);

  int itemCount() const override;
  int columnCount() const override;
  QString columnCaption(int column) const override;
  int columnWidth(int column) const override;
  QString itemText(int item, int column) const override;
  void selectItem(int item) override;
  void beginUpdate() override;
  void endUpdate() override;

 private:
  QPointer<QTreeWidget> view_;
  int updates_ = 0;
};

}  // namespace exportengine::widgets
