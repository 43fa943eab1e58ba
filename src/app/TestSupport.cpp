#include "TestSupport.h"

#include "app/DialogRunner.h"
#include "app/PreviewWindow.h"
#include "app/ReportWindow.h"

#include <ShownTexts.h>
#include <config/Configs.h>
#include <platform/ProgramFolder.h>

#include <QApplication>
#include <QFile>
#include <QTableWidget>

namespace app::test {
void RecordingUiServices::messageBox(const QString& text, const QString& caption, Icon icon) {
  platform::testing::recordShownText(QStringLiteral("box"), text);
  messages.push_back({ShownMessage::Kind::Box, text, caption, icon});
  if (onMessage) onMessage(messages.back());
}

void RecordingUiServices::errorBox(const QString& text, const QString& details,
                                   const QString& caption) {
  platform::testing::recordShownText(QStringLiteral("error box"), text, details);
  messages.push_back({ShownMessage::Kind::Box, text, caption, Icon::Error, details});
  if (onMessage) onMessage(messages.back());
}

void RecordingUiServices::showInformation(const QString& text) {
  platform::testing::recordShownText(QStringLiteral("information"), text);
  messages.push_back(
      {ShownMessage::Kind::Information, text, QStringLiteral("Information"), Icon::Information});
  if (onMessage) onMessage(messages.back());
}

bool RecordingUiServices::question(const QString& text, const QString& caption) {
  platform::testing::recordShownText(QStringLiteral("question"), text);
  messages.push_back({ShownMessage::Kind::Question, text, caption, Icon::None});
  if (onMessage) onMessage(messages.back());
  return answer;
}

int RecordingUiServices::choose(const QString& text, const QString& caption,
                                const QStringList& buttons, int defaultButton) {
  platform::testing::recordShownText(QStringLiteral("choice"), text);
  for (const QString& button : buttons) platform::testing::recordShownText("button", button);
  messages.push_back({ShownMessage::Kind::Question, text, caption, Icon::None});
  if (onMessage) onMessage(messages.back());
  return choice < 0 ? defaultButton : choice;
}

int RecordingUiServices::runDialog(QDialog& dialog) {
  QString text;
  if (const auto* report = qobject_cast<ReportWindow*>(&dialog)) text = report->text();
  if (const auto* preview = qobject_cast<PreviewWindow*>(&dialog)) {
    QStringList lines;
    const QTableWidget* summary = preview->summary();
    for (int row = 0; row < summary->rowCount(); ++row) {
      QStringList cells;
      for (int c = 0; c < summary->columnCount(); ++c)
        cells << (summary->item(row, c) ? summary->item(row, c)->text() : QString());
      lines << cells.join(u'|');
    }
    text = lines.join(u'\n');
  }
  platform::testing::recordShownText(QStringLiteral("dialog"), dialog.windowTitle() + u'\n' + text);
  messages.push_back({ShownMessage::Kind::Dialog, text, dialog.windowTitle(), Icon::None});
  if (onMessage) onMessage(messages.back());
  return onDialog ? onDialog(dialog) : int(QDialog::Accepted);
}

void RecordingUiServices::setBusyCursor(bool busy) {
  busyDepth += busy ? 1 : -1;
  if (busy) ++busyCount;
}

void RecordingUiServices::processEvents() {
  ++processEventsCount;
  QCoreApplication::processEvents();
  if (onProcessEvents) onProcessEvents();
}

void ProgramFolderTest::SetUp() {
  ASSERT_TRUE(folder_.isValid());
  platform::setProgramFolderForTesting(folder_.path());
  if (createConfig_) config::createConfig();
  previous_ = platform::UiServices::install(&ui_);
  setDialogRunnerForTesting([this](QDialog& dialog) { return ui_.runDialog(dialog); });
}

void ProgramFolderTest::TearDown() {
  platform::UiServices::install(previous_);
  setDialogRunnerForTesting({});
  if (createConfig_) config::freeConfig();
  platform::setProgramFolderForTesting(QString());
}

QString ProgramFolderTest::path(const QString& name) const {
  return folder_.filePath(name);
}

void ProgramFolderTest::writeConfig(const QByteArray& content) const {
  QFile f(path(QStringLiteral("Config.ini")));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(content);
}

QByteArray ProgramFolderTest::readConfig() const {
  QFile f(path(QStringLiteral("Config.ini")));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

}  // namespace app::test
