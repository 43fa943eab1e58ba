#include "app/Program.h"

#include "app/DmXls.h"
#include "app/ErrorHandler.h"
#include "app/Main.h"

#include <config/Configs.h>
#include <import/DmMdb.h>
#include <posdb/DmMdf.h>

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

namespace app {

Program::ConfigLifetime::ConfigLifetime() {
  config::createConfig();
}
Program::ConfigLifetime::~ConfigLifetime() {
  config::freeConfig();
}

Program::Program() {
  // The title shows in the task bar and captions the error boxes. Set as the name,
  // not the display name, which Qt would append to every window title.
  QCoreApplication::setApplicationName(applicationTitle());
  // The classic Windows look the operators know, where the toolkit has it.
  if (QStyleFactory::keys().contains(QStringLiteral("Windows")))
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));

  DmExcel_ = std::make_unique<TDmExcel>();
  DmMSSQL_ = std::make_unique<posdb::TDmMSSQL>();
  DmAccess_ = std::make_unique<dataimport::TDmAccess>();
  frmMain_ = std::make_unique<TfrmMain>(*DmMSSQL_);
  frmMain_->setDmAccess(DmAccess_.get());
}

Program::~Program() {
  frmMain_.reset();
  DmAccess_.reset();
  DmMSSQL_.reset();
  DmExcel_.reset();
}

int Program::run() {
  frmMain_->show();
  return QApplication::exec();
}

}  // namespace app
