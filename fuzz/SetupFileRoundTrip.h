#pragma once
// The property the setup file fuzzer checks, shared with the replay test in tests/fuzz: any input
// either is refused with a message, or parses, applies to an EMU image, and the file the writer
// makes of it parses back to the same data. An input with a control character other than CR and
// LF (a NUL that would cut a number short, an escape sequence) or an invisible direction
// character must be refused, and neither the data read nor the file written may hold one.
#include "connection/SetupFile.h"
#include "model/EmuImage.h"

#include <QByteArray>
#include <QString>

#include <algorithm>

namespace SetupFileRoundTrip {
struct Outcome {
    bool parsed = false;
    QString failure;    // empty when the property holds
    QByteArray written; // the file the writer made (when parsed)
};

inline bool hasControlByte(const QByteArray &bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto b = quint8(c);
        return (b < 0x20 && b != '\r' && b != '\n') || b == 0x7F;
    });
}

inline bool hasControl(const QString &text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// The invisible characters that change how the text around them shows (direction overrides and
// isolates, zero-width characters, direction marks, U+FEFF): a file holding one is refused.
inline bool hasHiddenFormat(const QString &text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x200B && u <= 0x200F) || (u >= 0x202A && u <= 0x202E) ||
               (u >= 0x2066 && u <= 0x2069) || u == 0xFEFF;
    });
}

inline Outcome check(const QByteArray &content) {
    Outcome o;
    SetupFileData first;
    QString error;
    if (!SetupFile::parse(content, &first, &error)) {
        if (error.isEmpty()) o.failure = QStringLiteral("a refused file gave no message");
        return o;
    }
    o.parsed = true;
    if (hasControlByte(content)) {
        o.failure = QStringLiteral("a file with a control character was accepted");
        return o;
    }
    if (hasControl(first.vehicleMake) || hasControl(first.vehicleModel) ||
        hasControl(first.engineType)) {
        o.failure = QStringLiteral("a vehicle text read holds a control character");
        return o;
    }
    if (hasHiddenFormat(first.vehicleMake) || hasHiddenFormat(first.vehicleModel) ||
        hasHiddenFormat(first.engineType)) {
        o.failure = QStringLiteral("a vehicle text read holds an invisible direction character");
        return o;
    }
    EmuImage image;
    SetupFile::apply(first, image);
    if (image.identity != first.identity ||
        !std::equal(first.table.begin(), first.table.end(), image.fileTable())) {
        o.failure = QStringLiteral("apply did not copy identity and table");
        return o;
    }
    o.written = SetupFile::format(image.identity, image.vehicleMake, image.vehicleModel,
                                  image.engineType, first.table);
    if (hasControlByte(o.written)) {
        o.failure = QStringLiteral("the written file holds a control character");
        return o;
    }
    SetupFileData second;
    if (!SetupFile::parse(o.written, &second, &error)) {
        o.failure = QStringLiteral("the written file is refused: %1").arg(error);
        return o;
    }
    // The writer always marks the identity as a file's ("44"); bytes 0 to 4 must survive.
    for (int i = 0; i < 5; ++i)
        if (second.identity[i] != first.identity[i])
            o.failure = QStringLiteral("identity byte %1: %2 -> %3")
                            .arg(i)
                            .arg(first.identity[i])
                            .arg(second.identity[i]);
    if (o.failure.isEmpty() && (second.identity[5] != 4 || second.identity[6] != 4))
        o.failure = QStringLiteral("the written identity lacks the file mark 44");
    if (o.failure.isEmpty() && second.table != first.table)
        o.failure = QStringLiteral("table values differ");
    // Vehicle text the file cannot hold is cleaned on writing; what it can hold is kept.
    if (o.failure.isEmpty() &&
        (second.vehicleMake != SetupFile::cleanVehicleText(first.vehicleMake) ||
         second.vehicleModel != SetupFile::cleanVehicleText(first.vehicleModel) ||
         second.engineType != SetupFile::cleanVehicleText(first.engineType)))
        o.failure = QStringLiteral("vehicle text differs: '%1~%2~%3' -> '%4~%5~%6'")
                        .arg(first.vehicleMake, first.vehicleModel, first.engineType,
                             second.vehicleMake, second.vehicleModel, second.engineType);
    // Writing what was read back gives the same file again.
    if (o.failure.isEmpty() &&
        SetupFile::format(second.identity, second.vehicleMake, second.vehicleModel,
                          second.engineType, second.table) != o.written)
        o.failure = QStringLiteral("writing the file read back gives another file");
    return o;
}
} // namespace SetupFileRoundTrip
