// The window fonts by their Windows names, each falling back to a Traditional Chinese
// font that is installed on Linux (AR PL UMing), so Chinese text never shows as boxes.
#pragma once

#include <QFont>

namespace app::fonts {

QFont newMingLiU(int pixelSize);  // 新細明體
QFont mingLiU(int pixelSize);     // 細明體
QFont arial(int pixelSize);

}  // namespace app::fonts
