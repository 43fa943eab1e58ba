// Renders the program's windows offscreen to PNG files, for checking their layout:
//   screenshots OUT_FOLDER [--pos DEMO.sqlite]
// writes main-disconnected.png, main-connected-item.png, settings.png,
// export-report.png, import-preview.png, import-progress.png (the Item import's progress
// window while it runs), import-report.png and main-imported.png. The main window is connected to
// an SQLite demo POS: the one given, or one made by the demopos tool of the same build
// (tools/demopos/demopos beside tools/screenshots/). "匯出檔案" writes the four tables
// to Access files in the program folder, which "匯入檔案" then reads back.
#include <app/DialogRunner.h>
#include <app/ErrorHandler.h>
#include <app/Main.h>
#include <app/Program.h>
#include <app/Setting.h>
#include <import/Gauges.h>
#include <platform/ProgramFolder.h>
#include <platform/UiServices.h>
#include <posdb/DmMdf.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

namespace {

// Message boxes go to stderr instead of waiting for an operator.
class PrintingUiServices : public platform::UiServices {
 public:
  void messageBox(const QString& text, const QString& caption, Icon) override {
    std::fprintf(stderr, "[%s] %s\n", qPrintable(caption), qPrintable(text));
    ++boxes;
  }
  void showInformation(const QString& text) override {
    std::fprintf(stderr, "[Information] %s\n", qPrintable(text));
  }
  void setBusyCursor(bool) override {}
  void processEvents() override {
    QCoreApplication::processEvents();
    if (onProcessEvents) onProcessEvents();
  }
  int boxes = 0;
  std::function<void()> onProcessEvents;
  bool pictures = true;
};

bool save(QWidget& window, const QString& file) {
  QCoreApplication::processEvents();
  if (!window.grab().save(file)) {
    std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

bool writeText(const QString& file, const QByteArray& text) {
  QFile f(file);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 2 && !(args.size() == 4 && args[2] == QLatin1String("--pos"))) {
    std::fprintf(stderr, "usage: screenshots OUT_FOLDER [--pos DEMO.sqlite]\n");
    return 2;
  }
  const QDir out(args[1]);
  if (!QDir().mkpath(out.absolutePath())) {
    std::fprintf(stderr, "screenshots: cannot create %s\n", qPrintable(args[1]));
    return 1;
  }

  QTemporaryDir folder;
  if (!folder.isValid()) return 1;
  // The POS lives in the program folder under a relative name, as an operator would
  // set it up.
  const QString pos = folder.filePath(QStringLiteral("demo.sqlite"));
  bool havePos = false;
  if (args.size() == 4) {
    havePos = QFile::copy(args[3], pos);
  } else {
    const QString demopos =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../demopos/demopos");
    havePos =
        QFileInfo(demopos).isExecutable() &&
        QProcess::execute(demopos, {pos, QStringLiteral("--items"), QStringLiteral("300")}) == 0;
  }
  if (!writeText(folder.filePath(QStringLiteral("Config.ini")),
                 "[MSSQL]\r\nProvider=SQLite\r\nDatabase=demo.sqlite\r\n[Export Import]\r\n"
                 "Classify=1\r\nItem=1\r\nSupplier=1\r\nCustomer=1\r\n"))
    return 1;
  platform::setProgramFolderForTesting(folder.path());

  PrintingUiServices ui;
  platform::UiServices::install(&ui);
  // The program's own dialogs (the preview, the reports) are drawn into the picture
  // named for them, then accepted as their default button would.
  QStringList dialogPictures;
  app::setDialogRunnerForTesting([&](QDialog& dialog) {
    dialog.show();
    if (!dialogPictures.isEmpty()) ui.pictures &= save(dialog, dialogPictures.takeFirst());
    return int(QDialog::Accepted);
  });
  bool ok = true;
  {
    app::Program program;
    app::TfrmMain& main = program.frmMain();
    main.show();
    ok &= save(main, out.filePath(QStringLiteral("main-disconnected.png")));

    {
      app::TfrmSetting setting(&main);
      setting.show();
      ok &= save(setting, out.filePath(QStringLiteral("settings.png")));
    }

    if (!havePos) {
      std::fprintf(stderr,
                   "screenshots: no demo POS for the connected window "
                   "(build demopos or give --pos)\n");
      ok = false;
    } else {
      main.findChild<QAbstractButton*>(QStringLiteral("bbtnStartSQL"))->click();
      ok &= ui.boxes == 0;
      main.PageControl()->setCurrentIndex(app::TfrmMain::tabItem);
      ok &= save(main, out.filePath(QStringLiteral("main-connected-item.png")));

      // Export the tables, then import them back from the Access files.
      dialogPictures = {out.filePath(QStringLiteral("export-report.png"))};
      main.findChild<QAbstractButton*>(QStringLiteral("bbtnExport"))->click();
      ok &= dialogPictures.isEmpty();
      bool shot = false;
      ui.onProcessEvents = [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (w->objectName() != QLatin1String("ImportMdbBox") || !w->isVisible()) continue;
          auto* gauge = w->findChild<dataimport::TGauge*>();
          if (shot || !gauge || gauge->Progress() == 0 ||
              w->windowTitle() != QStringLiteral("匯入商品資料"))
            continue;
          shot = save(*w, out.filePath(QStringLiteral("import-progress.png")));
        }
      };
      // The preview first, then the report.
      dialogPictures = {out.filePath(QStringLiteral("import-preview.png")),
                        out.filePath(QStringLiteral("import-report.png"))};
      main.findChild<QAbstractButton*>(QStringLiteral("bbtnImport"))->click();
      ok &= shot && dialogPictures.isEmpty();
      ui.onProcessEvents = nullptr;
      ok &= ui.boxes == 0 && ui.pictures;
      ok &= save(main, out.filePath(QStringLiteral("main-imported.png")));
    }
  }
  app::setDialogRunnerForTesting({});
  platform::UiServices::install(nullptr);
  platform::setProgramFolderForTesting(QString());
  return ok ? 0 : 1;
}
