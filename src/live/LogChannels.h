#pragma once
// The eleven channels of the data logger, in series order (the series index is the channel's
// identity): caption, check box, line colour and the value logged from the live values.
#include "live/LiveData.h"
#include "widgets/Palette.h"

#include <QColor>
#include <QString>
#include <array>

namespace LogChannels {

namespace pal = emu::ui::palette;

constexpr int Count = 11;

struct Channel {
    const char *caption;  // check box caption, CSV column title
    const char *checkBox; // objectName of its check box
    QRgb colour;          // line colour
};

// Series 0..10.
inline const std::array<Channel, Count> &all() {
    static const std::array<Channel, Count> channels = {{
        {"RPM", "CheckBox7", pal::Red},
        {"Timing", "CheckBox8", pal::Green},
        {"Vacuum", "CheckBox9", pal::DimYellow},
        {"Lambda", "CheckBox10", pal::Coral},
        {"Volt", "CheckBox11", pal::Blue},
        {"Injector (ms)", "CheckBox17", pal::Teal},
        {"Injector %", "CheckBox12", pal::Salmon},
        {"Temperature", "CheckBox13", pal::Fuchsia},
        {"Throttle %", "CheckBox14", pal::Navy},
        {"Air Temp", "CheckBox15", pal::Turquoise},
        {"POT %", "CheckBox16", pal::BrightGreen},
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

} // namespace LogChannels
