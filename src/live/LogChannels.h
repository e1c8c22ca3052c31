#pragma once
// The eleven channels of the data logger, in series order (the series index is the channel's
// identity): caption, check box, line colour and the value logged from the live values.
#include "live/LiveData.h"
#include "widgets/Palette.h"

#include <QColor>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>

namespace LogChannels {

namespace pal = emu::ui::palette;

constexpr int Count = 11;

struct Channel {
    const char *caption;  // check box caption (and the column title of the earlier log format)
    const char *checkBox; // objectName of its check box
    QRgb colour;          // line colour
    const char *column;   // CSV column title: the quantity and its unit
    // The chart's value is the file's value x chartMul / chartDiv (RPM is charted in hundreds,
    // vacuum in hundredths of a bar, lambda in tenths of a volt).
    double chartMul;
    double chartDiv;
};

// Series 0..10.
inline const std::array<Channel, Count> &all() {
    static const std::array<Channel, Count> channels = {{
        {"RPM", "CheckBox7", pal::Red, "rpm", 1, 100},
        {"Timing", "CheckBox8", pal::Green, "timing_deg", 1, 1},
        {"Vacuum", "CheckBox9", pal::DimYellow, "vacuum_bar", 100, 1},
        {"Lambda", "CheckBox10", pal::Coral, "lambda_v", 10, 1},
        {"Volt", "CheckBox11", pal::Blue, "battery_v", 1, 1},
        {"Injector (ms)", "CheckBox17", pal::Teal, "injector_ms", 1, 1},
        {"Injector %", "CheckBox12", pal::Salmon, "injector_pct", 1, 1},
        {"Temperature", "CheckBox13", pal::Fuchsia, "water_c", 1, 1},
        {"Throttle %", "CheckBox14", pal::Navy, "throttle_pct", 1, 1},
        {"Air Temp", "CheckBox15", pal::Turquoise, "air_c", 1, 1},
        {"POT %", "CheckBox16", pal::BrightGreen, "pot_pct", 1, 1},
    }};
    return channels;
}

// The order of the check boxes in the "Values" box, top to bottom (series indices).
inline const std::array<int, Count> &boxOrder() {
    static const std::array<int, Count> order = {9, 5, 6, 3, 10, 0, 7, 8, 1, 2, 4};
    return order;
}

// Series index of a caption, -1 when no channel has it.
inline int indexOf(const QString &caption) {
    for (int i = 0; i < Count; ++i)
        if (caption == QLatin1String(all()[i].caption)) return i;
    return -1;
}

// The value series i logs, in its chart unit.
inline double value(int series, const LiveValues &v) {
    switch (series) {
    case 0:
        return v.rpm; // hundreds of RPM
    case 1:
        return v.totalTiming; // degrees
    case 2:
        return v.vacuum * 100; // hundredths of a bar
    case 3:
        return v.lambda / 10; // hundredths of a volt / 10
    case 4:
        return v.battery / 10; // volts
    case 5:
        return v.injectorTime / 10; // milliseconds
    case 6:
        return v.injectorDuty; // percent
    case 7:
        return v.waterTemp; // °C
    case 8:
        return v.tps; // percent
    case 9:
        return v.airTemp; // °C
    case 10:
        return v.pot; // percent
    default:
        return 0;
    }
}

// Series index of a CSV column title, -1 when no channel has it.
inline int indexOfColumn(const QString &column) {
    for (int i = 0; i < Count; ++i)
        if (column == QLatin1String(all()[i].column)) return i;
    return -1;
}

// Between the file's engineering units and the chart's scaled values.
inline double chartFromFile(int series, double v) {
    return v * all()[series].chartMul / all()[series].chartDiv;
}
inline double fileFromChart(int series, double v) {
    return v * all()[series].chartDiv / all()[series].chartMul;
}

// The value series i logs to a file, in the unit the real-time frames show: RPM, degrees, bar,
// volts, milliseconds, percent, °C.
inline double fileValue(int series, const LiveValues &v) {
    switch (series) {
    case 0:
        return v.rpm * 100;
    case 2:
        return v.vacuum;
    case 3:
        return v.lambda / 100;
    default:
        return fileFromChart(series, value(series, v));
    }
}

// Puts a file value of series i back into the live values (the inverse of fileValue). The live
// values hold whole hundredths and tenths; the factor's rounding error is taken off again.
inline void setFromFile(int series, double x, LiveValues &v) {
    const auto clean = [](double y) { return std::round(y * 1e6) / 1e6; };
    switch (series) {
    case 0:
        v.rpm = x / 100;
        break;
    case 1:
        v.totalTiming = x;
        break;
    case 2:
        v.vacuum = x;
        break;
    case 3:
        v.lambda = clean(x * 100);
        break;
    case 4:
        v.battery = clean(x * 10);
        break;
    case 5:
        v.injectorTime = clean(x * 10);
        break;
    case 6:
        v.injectorDuty = qint32(std::lround(std::clamp(x, -1e9, 1e9)));
        break;
    case 7:
        v.waterTemp = x;
        break;
    case 8:
        v.tps = x;
        break;
    case 9:
        v.airTemp = x;
        break;
    case 10:
        v.pot = x;
        break;
    default:
        break;
    }
}

// The unit of a series' file values, as the log viewer's axes and readouts show it.
inline QString unit(int series) {
    static const char *const units[Count] = {"RPM", "°",  "bar", "V",  "V", "ms",
                                             "%",   "°C", "%",   "°C", "%"};
    return series >= 0 && series < Count ? QString::fromUtf8(units[series]) : QString();
}

} // namespace LogChannels
