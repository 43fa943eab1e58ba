// The export engine's shared vocabulary: the kinds of source it reads, the column
// types it hands to targets, and the event signatures of exporters and custom sources.
#pragma once

#include <QString>
#include <QVariant>
#include <functional>

namespace exportengine {

class TExporter;
class TExportRow;
class TCustomExportSource;
class TCustomExportColumn;

// Where the rows come from. One byte, values fixed: saved settings hold them.
enum TExportSource : unsigned char {
  esDataSet = 0,
  esListView = 1,
  esDBGrid = 2,
  esStringGrid = 3,
  esCustom = 4,
};

// The type of an exported column, as targets see it.
enum TExportColType : unsigned char {
  ectInteger = 0,
  ectBigint = 1,
  ectFloat = 2,
  ectCurrency = 3,
  ectDate = 4,
  ectTime = 5,
  ectDateTime = 6,
  ectString = 7,
  ectBoolean = 8,
  ectUnknown = 9,
};

// Column alignment of TExportColumn::Align.
enum TExportAlign : unsigned char { eaLeft = 0, eaCenter = 1, eaRight = 2 };

using TNotifyEvent = std::function<void(TExporter& sender)>;
using TExportedRecordEvent = std::function<void(TExporter& sender, int recNo)>;
// Set canContinue to true to cancel a pending abort.
using TExportStopEvent = std::function<void(TExporter& sender, bool& canContinue)>;
// Set accept to false to leave the row out; it still counts towards the row limit.
using TBeforeExportRowEvent = std::function<void(TExporter& sender, TExportRow& row, bool& accept)>;

// Asked with the number of the row just read; set eof when no row follows it.
using TGetNextRecordEvent = std::function<void(TCustomExportSource& sender, int recNo, bool& eof)>;
// value comes in as null; what the handler leaves there is the cell's value.
using TGetColumnValueEvent = std::function<void(TCustomExportSource& sender, int recNo,
                                                TCustomExportColumn& column, QVariant& value)>;

// A text operation of the exporter (its NormalString), handed down to formatting.
using TNormalStringFunc = std::function<QString(const QString&)>;

}  // namespace exportengine
