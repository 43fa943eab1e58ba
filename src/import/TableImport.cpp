#include "import/TableImport.h"

#include "import/ItemNumber.h"

#include <config/Configs.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ValueText.h>

namespace dataimport {
namespace {

struct Guard {
  const char* column;
  bool ItemRules::*allowed;
};

// Columns of an existing item that only an enabled switch lets the import overwrite.
constexpr Guard kGuarded[] = {
    {"ShelfNo", &ItemRules::shelfNo},   {"AvgCost", &ItemRules::avgCost},
    {"UniPrice", &ItemRules::uniPrice}, {"Price", &ItemRules::price},
    {"MemPrice", &ItemRules::memPrice}, {"VipPrice", &ItemRules::vipPrice},
};

}  // namespace

ItemRules ItemRules::fromConfig(const config::TConfig& config) {
  namespace k = config::keys;
  ItemRules r;
  r.shelfNo = config.read(k::UpdateShelfNo);
  r.avgCost = config.read(k::UpdateAvgCost);
  r.uniPrice = config.read(k::UpdateUniPrice);
  r.price = config.read(k::UpdatePrice);
  r.memPrice = config.read(k::UpdateMemPrice);
  r.vipPrice = config.read(k::UpdateVipPrice);
  r.updateStkQty = config.read(k::UpdateStkQty);
  r.stkQtyAction = config.read(k::UpdateStkQtyAction);
  return r;
}

TableImport::TableImport(PosTable table, db::Dataset& source, db::Dataset& target)
    : table_(table), source_(source), target_(target) {}

TableImport::~TableImport() = default;

void TableImport::prepare() {
  if (!map_) map_ = config::ColumnMap::readTable(QString::fromUtf8(importTable(table_).name));
  const bool item = table_ == PosTable::Item;
  if (item && !rules_) rules_ = ItemRules::fromConfig(config::Config());
  trimOthers_ = table_ == PosTable::Classify || table_ == PosTable::Customer;
  keyField_ = map_->keyField();
  keyDisplay_ = map_->keyDisplay();
  keySource_ = nullptr;
  columns_.clear();
  for (const config::ColumnPair& pair : map_->pairs()) {
    Column c;
    c.names = pair;
    if (map_->isKeyPair(pair)) {
      c.rule = Rule::Key;
    } else if (item && pair.field == QLatin1String("StkQty")) {
      c.rule = Rule::Stock;
    } else if (item) {
      for (const Guard& g : kGuarded)
        if (pair.field == QLatin1String(g.column)) {
          c.rule = Rule::Guarded;
          c.allowed = (*rules_).*g.allowed;
        }
    }
    columns_.push_back(c);
  }
}

void TableImport::run(platform::Progress& progress) {
  prepare();
  const int total = source_.recordCount();
  progress.start(total);
  int done = 0;
  source_.first();
  while (!source_.eof()) {
    try {
      importRow();
    } catch (...) {
      target_.cancel();
      throw;
    }
    source_.next();
    ++done;
    progress.step(done, total);
  }
  progress.finish();
}

db::Field& TableImport::sourceField(Column& column) {
  if (!column.source) column.source = &source_.fieldByName(column.names.display);
  return *column.source;
}

db::Field& TableImport::targetField(Column& column) {
  if (!column.target) column.target = &target_.fieldByName(column.names.field);
  return *column.target;
}

void TableImport::importRow() {
  if (!keySource_) keySource_ = &source_.fieldByName(keyDisplay_);
  const bool item = table_ == PosTable::Item;
  const QString keyText = item ? completeItemNo(keySource_->asString()) : keySource_->asString();
  const bool found = target_.locate(keyField_, keyText);
  if (found) {
    target_.edit();
  } else {
    target_.append();
    target_.fieldByName(keyField_).setAsString(item ? keyText : keySource_->asString());
  }
  for (Column& c : columns_) {
    switch (c.rule) {
      case Rule::Key:
        continue;
      case Rule::Guarded:
        if (found && !c.allowed) continue;
        break;
      case Rule::Stock:
        if (found && !rules_->updateStkQty) continue;
        if (found && rules_->stkQtyAction > 0) {
          const QString text = sourceField(c).asString();
          addStock(targetField(c), text);
          continue;
        }
        break;
      case Rule::Copy:
        break;
    }
    const QString text = sourceField(c).asString();
    targetField(c).setAsString(trimOthers_ ? trimmedText(text) : text);
  }
  target_.post();
}

void TableImport::addStock(db::Field& target, const QString& text) {
  if (trimmedText(text).isEmpty()) return;
  const QVariant add = db::ValueText::parse(text, target.dataType());
  if (add.isNull()) return;
  const QVariant current = target.value();
  if (db::basicKind(target.dataType()) == db::BasicKind::Whole)
    target.setValue(QVariant(current.toLongLong() + add.toLongLong()));
  else
    target.setValue(QVariant(current.toDouble() + add.toDouble()));
}

}  // namespace dataimport
