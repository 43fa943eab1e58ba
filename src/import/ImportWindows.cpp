#include "import/ImportWindows.h"

#include "import/ImportMdb.h"
#include "import/TableImport.h"

#include <memory>

#include <platform/Cancelled.h>
#include <platform/UiServices.h>

namespace dataimport {

ImportWindows::ImportWindows(std::function<void(int)> selectTab,
                             std::function<void(std::exception_ptr)> showError)
    : selectTab_(std::move(selectTab)), showError_(std::move(showError)) {}

void ImportWindows::selectTab(int tab) {
  if (selectTab_) selectTab_(tab);
}

bool ImportWindows::importHeldFile(const ImportTable&, const QString& message) {
  return platform::UiServices::instance().question(
      message + QStringLiteral("\n\n要匯入檔案上次存檔的內容嗎？"), QStringLiteral("資料轉換程式"));
}

bool ImportWindows::importTable(const ImportTable& table, TableImport& import) {
  // Owned by the application, not by the main window: it has no parent.
  auto window = std::make_unique<TImportMdbBox>();
  window->setWork([&import](platform::Progress& progress) { import.run(progress); });
  lastFailure_ = nullptr;
  window->setErrorHandler([this](std::exception_ptr error) {
    lastFailure_ = error;
    try {
      std::rethrow_exception(error);
    } catch (const platform::Cancelled&) {
      return;  // the operator asked for it: the report says so
    } catch (...) {
    }
    if (showError_) showError_(error);
  });
  switch (table.table) {
    case PosTable::Classify:
      window->ImportClassify();
      break;
    case PosTable::Item:
      window->ImportItem();
      break;
    case PosTable::Supplier:
      window->ImportSupplier();
      break;
    case PosTable::Customer:
      window->ImportCustomer();
      break;
  }
  return window->ModalResult() == mrOk;
}

}  // namespace dataimport
