#include "exportengine/widgets/QtListView.h"

#include <QTreeWidget>

namespace exportengine::widgets {

QtListView::QtListView(QTreeWidget* view) : ListViewControl(view), view_(view) {}

int QtListView::itemCount() const {
  return view_ ? view_->topLevelItemCount() : 0;
}

int QtListView::columnCount() const {
  return view_ ? view_->columnCount() : 0;
}

QString QtListView::columnCaption(int column) const {
  return view_ && view_->headerItem() ? view_->headerItem()->text(column) : QString();
}

int QtListView::columnWidth(int column) const {
  return view_ ? view_->columnWidth(column) : 0;
}

QString QtListView::itemText(int item, int column) const {
  const QTreeWidgetItem* it = view_ ? view_->topLevelItem(item) : nullptr;
  return it ? it->text(column) : QString();
}

void QtListView::selectItem(int item) {
  if (QTreeWidgetItem* it = view_ ? view_->topLevelItem(item) : nullptr) view_->setCurrentItem(it);
}

void QtListView::beginUpdate() {
  if (updates_++ == 0 && view_) view_->setUpdatesEnabled(false);
}

void QtListView::endUpdate() {
  if (updates_ == 0) return;
  if (--updates_ == 0 && view_) view_->setUpdatesEnabled(true);
}

}  // namespace exportengine::widgets
