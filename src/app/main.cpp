// dataconv: moves the POS master tables between the POS database and Access files.
// The program reads no command-line arguments of its own.
#include "app/ErrorHandler.h"
#include "app/Program.h"
#include "app/WidgetUiServices.h"

#include <QApplication>
#include <memory>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  app::WidgetUiServices ui;
  platform::UiServices::install(&ui);

  int exitCode = 1;
  std::unique_ptr<app::Program> program;
  // A failure while starting is shown like any other; the program cannot go on.
  if (app::guard([&] { program = std::make_unique<app::Program>(); })) exitCode = program->run();
  app::guard([&] { program.reset(); });
  platform::UiServices::install(nullptr);
  return exitCode;
}
