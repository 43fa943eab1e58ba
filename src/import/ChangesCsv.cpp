#include "import/ChangesCsv.h"

#include <platform/Error.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace dataimport {

ChangesCsv::ChangesCsv(const QString& path, HeadingOf headingOf)
    : file_(path), headingOf_(std::move(headingOf)) {
  const QFileInfo info(path);
  if (info.isDir())
    throw platform::Error(
        QStringLiteral(
            "無法寫入變更清單 %1：這是一個資料夾，請指定一個檔案名稱，例如 changes.csv。")
            .arg(path));
  // The file is written beside the old one and renamed over it, which a read-only file
  // would not stop; it should, as any other program writing it would be stopped.
  if (info.exists()) {
    QFile existing(path);
    if (!existing.open(QIODevice::WriteOnly | QIODevice::Append))
      throw platform::Error(cannotWrite(path, existing.errorString()));
  }
  if (!file_.open(QIODevice::WriteOnly)) fail();
  file_.write(
      "\xEF\xBB\xBF"
      "table,key,column,heading,pos_value,access_value\r\n");
}

ChangesCsv::~ChangesCsv() {
  if (file_.isOpen()) file_.cancelWriting();
}

QString ChangesCsv::field(const QString& given) {
  // Excel and LibreOffice run a cell that starts like a formula: such a text gets a
  // "'" in front, and so does one that starts with "'" itself, so that a reader drops
  // the first "'" of a field and has the value back. Plain numbers ("-5", "+12.5") are
  // no formula and stay numbers.
  static const QRegularExpression number(QStringLiteral(R"(^[+-]?\d+(\.\d+)?([eE][+-]?\d+)?$)"));
  QString text = given;
  if (!text.isEmpty() && QStringView(u"=+-@\t\r'").contains(text.front()) &&
      !number.match(text).hasMatch())
    text.prepend(u'\'');
  bool quote = false;
  for (const QChar c : text)
    if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') quote = true;
  if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace())) quote = true;
  if (!quote) return text;
  QString quoted = text;
  quoted.replace(u'"', QStringLiteral("\"\""));
  return u'"' + quoted + u'"';
}

void ChangesCsv::add(const journal::RowChange& change) {
  const QString head = field(change.table) + u',' + field(change.key) + u',';
  QString lines;
  for (const journal::RowChange::Cell& cell : change.cells) {
    if (cell.defaulted) continue;  // not a value the Access file gives
    // An amount added to the POS's stock shows as the amount, signed: what the POS
    // ends with depends on what the tills do meanwhile.
    QString after = journal::valueText(cell.after, cell.type).value_or(QString());
    if (cell.added) {
      const bool whole = db::basicKind(cell.type) == db::BasicKind::Whole;
      const QVariant amount =
          whole ? QVariant(qint64(cell.after.toLongLong() - cell.before.toLongLong()))
                : QVariant(cell.after.toDouble() - cell.before.toDouble());
      after = journal::valueText(amount, cell.type).value_or(QString());
      if (!after.startsWith(u'-')) after.prepend(u'+');
    }
    lines += head + field(cell.column) + u',' +
             field(headingOf_ ? headingOf_(change.table, cell.column) : QString()) + u',' +
             field(journal::valueText(cell.before, cell.type).value_or(QString())) + u',' +
             field(after) + QStringLiteral("\r\n");
  }
  file_.write(lines.toUtf8());
}

void ChangesCsv::commit() {
  if (!file_.commit()) fail();
}

QString ChangesCsv::cannotWrite(const QString& path, const QString& reason) {
  return QStringLiteral(
             "無法寫入變更清單 %1：請確認資料夾存在、可以寫入，檔案沒有設成唯讀，而且磁碟"
             "還有空間。\n%2")
      .arg(path, reason);
}

void ChangesCsv::fail() const {
  throw platform::Error(cannotWrite(file_.fileName(), file_.errorString()));
}

}  // namespace dataimport
