// dataconv-batch: see BatchCommand.h and docs/batch.md. No display is needed: the
// program links no widgets.
#include "BatchCommand.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("dataconv-batch"));
  QStringList arguments = QCoreApplication::arguments();
  arguments.removeFirst();
  return batch::runBatch(arguments, stdout, stderr, ::isatty(STDERR_FILENO) != 0);
}
