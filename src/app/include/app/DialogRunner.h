// How the program's own dialogs (the import preview, the reports, the history) are run,
// and how a file name is asked for: the real dialogs, or, in tests running offscreen,
// whatever the test installs in their place to look at the dialog and answer it.
#pragma once

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace app {

// The dialog's result, as QDialog::exec gives it.
int execDialog(QDialog& dialog);
// The file the operator chose to write, or an empty text when none.
QString askSaveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                        const QString& filter);

// Test seams; an empty function restores the real dialogs.
void setDialogRunnerForTesting(std::function<int(QDialog&)> runner);
void setSaveFileNameForTesting(std::function<QString(const QString& suggested)> answer);

}  // namespace app
