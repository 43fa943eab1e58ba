// The columns each grid of the main window shows, in order, with their widths.
// Fields of a query that its grid does not list are fetched but not shown.
#pragma once

#include <QString>
#include <vector>

namespace app {

struct GridColumn {
  QString field;
  // Pixels; kDefaultWidth shows the column at the field's own display width.
  int width;
  static constexpr int kDefaultWidth = -1;
};

// By tab index: 0 Classify, 1 Item, 2 Supplier, 3 Customer.
const std::vector<GridColumn>& gridColumns(int tabIndex);

}  // namespace app
