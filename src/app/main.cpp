// dataconv: moves the POS master tables between the POS database and Access files.
// The program reads no command-line arguments of its own.
#include "app/ErrorHandler.h"
#include "app/Program.h"
#include "app/ResponsiveWait.h"
#include "app/WidgetUiServices.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Without the translation file the program still runs, with the toolkit's English
  // button texts.
  app::WidgetUiServices::installTranslations();
  app::WidgetUiServices ui;
  platform::UiServices::install(&ui);

  int exitCode = 1;
  std::unique_ptr<app::Program> program;
  // A failure while starting is shown like any other; the program cannot go on.
  if (app::guard([&] { program = std::make_unique<app::Program>(); })) exitCode = program->run();
  app::guard([&] { program.reset(); });
  platform::UiServices::install(nullptr);
  // A start abandoned by closing the window may still wait for its server on a
  // thread of its own: end the process without waiting for it, and without tearing
  // down what it may still use.
  if (app::AbandonableWait::abandonedStillRunning() > 0) {
    std::fflush(nullptr);
    std::quick_exit(exitCode);
  }
  return exitCode;
}
