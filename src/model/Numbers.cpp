#include "model/Numbers.h"

#include <QLocale>

namespace emu::num {

double roundTo(double v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    // Scale through text-free arithmetic; a tiny relative nudge undoes binary representation
    // errors such as 50.196 * 100 = 5019.599999.
    double scaled = v * scale;
    const double nearest = std::nearbyint(scaled);
    if (std::fabs(scaled - nearest) < 1e-9 * std::max(1.0, std::fabs(scaled))) scaled = nearest;
    return std::nearbyint(scaled) / scale;
}

QString formatGeneral(double v) {
    if (v == 0) v = 0; // no "-0"
    QString text = QString::number(v, 'g', 15);
    const QChar sep = QLocale().decimalPoint().at(0);
    if (sep != QLatin1Char('.')) text.replace(QLatin1Char('.'), sep);
    return text;
}

bool parseInteger(const QString &text, int *out, QString *error) {
    // Surrounding blanks are tolerated; "$1F" is read as hexadecimal, as the runtime does.
    bool ok = false;
    const QString t = text.trimmed();
    int value = 0;
    if (t.startsWith(QLatin1Char('$')))
        value = t.mid(1).toInt(&ok, 16);
    else
        value = t.toInt(&ok, 10);
    if (!ok || t.isEmpty()) {
        if (error) *error = QStringLiteral("'%1' is not a valid integer value").arg(text);
        return false;
    }
    if (out) *out = value;
    return true;
}

bool parseFloat(const QString &text, double *out, QString *error) {
    const QString t = text.trimmed();
    bool ok = false;
    double value = QLocale().toDouble(t, &ok);
    if (!ok) value = t.toDouble(&ok);
    if (!ok || t.isEmpty()) {
        if (error) *error = QStringLiteral("'%1' is not a valid floating point value").arg(text);
        return false;
    }
    if (out) *out = value;
    return true;
}

} // namespace emu::num
