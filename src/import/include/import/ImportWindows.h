// The import as the main window shows it: each table in its own progress window,
// shown modally and freed when it has closed, also after a failure.
#pragma once

#include "import/ImportDriver.h"

#include <exception>
#include <functional>

namespace dataimport {

class ImportWindows : public ImportFrontEnd {
 public:
  // `selectTab` brings a tab of the main window to the front; `showError` is the
  // application's error handler, called while the failing table's window is up.
  ImportWindows(std::function<void(int)> selectTab,
                std::function<void(std::exception_ptr)> showError);

  void selectTab(int tab) override;
  bool importTable(const ImportTable& table, TableImport& import) override;
  // Asks the operator, with the warning and the question whether to go on.
  bool importHeldFile(const ImportTable& table, const QString& message) override;
  std::exception_ptr lastFailure() const override { return lastFailure_; }

 private:
  std::function<void(int)> selectTab_;
  std::function<void(std::exception_ptr)> showError_;
  std::exception_ptr lastFailure_;
};

}  // namespace dataimport
