#pragma once
// Rounding and number texts used throughout: halves go to the even neighbour.
#include <QString>
#include <cmath>

namespace emu::num {
// Nearest integer, halves to even (2.5 -> 2, 3.5 -> 4).
inline double roundHalfEven(double v) {
    return std::nearbyint(v);
}
inline int roundInt(double v) {
    return static_cast<int>(std::nearbyint(v));
}
// Round to a number of decimals, halves to even (0.525 at 2 decimals looks at 52.5 -> 52).
double roundTo(double v, int decimals);
// The low byte of Round(v): what goes on the wire for a computed value.
inline quint8 lowByte(double v) {
    return static_cast<quint8>(static_cast<long long>(std::nearbyint(v)) & 0xFF);
}
// General number format: up to 15 significant digits, trailing zeros dropped, the locale's
// decimal separator (12.0 -> "12", 12.60 -> "12.6", 0.35 -> "0.35").
QString formatGeneral(double v);
// Text to number the way the runtime converts it; on failure *error holds
// "'%s' is not a valid integer value" / "'%s' is not a valid floating point value".
bool parseInteger(const QString &text, int *out, QString *error);
bool parseFloat(const QString &text, double *out, QString *error);
} // namespace emu::num
