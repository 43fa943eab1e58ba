// Start-up: the objects of one run, created in their order and destroyed in reverse.
// First the configuration object over Config.ini in the program folder, then the
// application's title, the data modules DmExcel, DmMSSQL and DmAccess, and last the
// main window, whose grids bind to DmMSSQL. Needs a QApplication.
#pragma once

#include <memory>

namespace posdb {
class TDmMSSQL;
}
namespace dataimport {
class TDmAccess;
}

namespace app {

class TDmExcel;
class TfrmMain;

class Program {
 public:
  Program();
  // Closes the window first, then the modules (an open POS connection with its
  // module), then frees the configuration object.
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  TfrmMain& frmMain() const { return *frmMain_; }
  posdb::TDmMSSQL& DmMSSQL() const { return *DmMSSQL_; }
  dataimport::TDmAccess& DmAccess() const { return *DmAccess_; }

  // Shows the main window and runs the message loop until it closes.
  int run();

 private:
  struct ConfigLifetime {
    ConfigLifetime();
    ~ConfigLifetime();
  };

  ConfigLifetime config_;
  std::unique_ptr<TDmExcel> DmExcel_;
  std::unique_ptr<posdb::TDmMSSQL> DmMSSQL_;
  std::unique_ptr<dataimport::TDmAccess> DmAccess_;
  std::unique_ptr<TfrmMain> frmMain_;
};

}  // namespace app
