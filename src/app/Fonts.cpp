#include "app/Fonts.h"

#include <QStringList>

namespace app::fonts {
namespace {

QFont make(const QStringList& families, int pixelSize) {
  QFont font(families.front());
  font.setFamilies(families);
  font.setPixelSize(pixelSize);
  font.setStyleHint(QFont::AnyStyle, QFont::PreferMatch);
  return font;
}

}  // namespace

QFont newMingLiU(int pixelSize) {
  return make({QStringLiteral("新細明體"), QStringLiteral("PMingLiU"),
               QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing HK")},
              pixelSize);
}

QFont mingLiU(int pixelSize) {
  return make({QStringLiteral("細明體"), QStringLiteral("MingLiU"),
               QStringLiteral("AR PL UMing TW MBE"), QStringLiteral("AR PL UMing TW")},
              pixelSize);
}

QFont arial(int pixelSize) {
  // Latin text in Arial (or its metric twin); Chinese characters come from UMing.
  return make({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
               QStringLiteral("DejaVu Sans"), QStringLiteral("AR PL UMing TW")},
              pixelSize);
}

}  // namespace app::fonts
