// Number patterns: '0' a digit always shown, '#' a digit shown when significant, ','
// in the whole part groups thousands, the first '.' places the decimal point, quoted
// text ("..." or '...') and every other character are copied. Up to three sections
// separated by ';': positive (and the rest), negative (shown without its minus sign),
// zero. Rounds half away from zero on the value's 15 significant digits. An empty
// pattern gives the general form of the number; a section without digit placeholders
// is copied as it stands.
// Output separators follow the regional settings.
#pragma once

#include <QString>

namespace platform {
struct RegionalSettings;
}

namespace exportengine {

QString FormatFloat(double value, QStringView pattern, const platform::RegionalSettings& settings);
// Exact for every 64-bit value.
QString FormatWhole(qint64 value, QStringView pattern, const platform::RegionalSettings& settings);

}  // namespace exportengine
