#include "SharedStrings.h"

#include <algorithm>
#include <functional>

#include "Package.h"
#include "PartParser.h"
#include "ReadErrors.h"
#include "ValueText.h"
#include "XmlText.h"

namespace xlsx {
namespace {

// The table's items are the root's <si> children; anything else is passed over.
class TableReader : public PartParser::Handler {
 public:
  TableReader(std::vector<QString>& texts, qint64& characters, qint64 partSize,
              const SharedStringsBudget& budget, const std::function<void()>& overBudget)
      : texts_(texts),
        characters_(characters),
        partSize_(partSize),
        budget_(budget),
        overBudget_(overBudget) {}

  void startElement(std::string_view name, const Attributes& attributes) override {
    ++depth_;
    if (inItem_) {
      item_.startElement(name);
    } else if (depth_ == 1) {
      // Each item takes some bytes of the part, so the part's size bounds what the count
      // attribute may claim; the budget bounds both.
      const std::optional<std::string_view> unique = attributes.find("uniqueCount", false);
      const std::optional<qint64> count =
          unique ? parseWhole(QString::fromUtf8(unique->data(), qsizetype(unique->size())))
                 : std::nullopt;
      if (count && *count > 0)
        texts_.reserve(size_t(std::min({*count, partSize_ / 8, qint64(budget_.items)})));
    } else if (depth_ == 2 && name == "si") {
      if (qsizetype(texts_.size()) >= budget_.items) overBudget_();
      inItem_ = true;
      item_.begin();
    }
  }

  void endElement() override {
    --depth_;
    if (!inItem_ || item_.endElement()) return;
    inItem_ = false;
    QString text = item_.text();
    characters_ += text.size();
    if (characters_ > budget_.characters) overBudget_();
    texts_.push_back(std::move(text));
  }

  void characters(std::string_view text) override {
    if (!inItem_) return;
    item_.characters(text);
    // A character takes one to three bytes of UTF-8 (four for a pair that counts two):
    // an item far past the budget is refused before all of it is held.
    if (characters_ + qint64(item_.bytes() / 3) > budget_.characters) overBudget_();
  }

 private:
  std::vector<QString>& texts_;
  qint64& characters_;
  qint64 partSize_;
  const SharedStringsBudget& budget_;
  const std::function<void()>& overBudget_;
  int depth_ = 0;
  bool inItem_ = false;
  StringItemText item_;
};

}  // namespace

SharedStrings::SharedStrings(const Package& package, const QString& part,
                             SharedStringsBudget budget) {
  const zip_int64_t index = package.locate(part);
  if (index < 0) return;
  const std::function<void()> overBudget = [&] {
    failDamaged(package.path(), QStringLiteral("%1：共用文字超過 %2 項或 %3 個字")
                                    .arg(part)
                                    .arg(budget.items)
                                    .arg(budget.characters));
  };
  TableReader reader(texts_, characters_, package.declaredSize(index), budget, overBudget);
  PartParser(package, index, part).parse(reader);
}

}  // namespace xlsx
