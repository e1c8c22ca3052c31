#pragma once
// A session on a fake clock talking to the virtual EMU, with every write recorded together with
// the fake-clock time at which it was made.
#include "connection/Session.h"
#include "link/Clock.h"
#include "sim/VirtualEmu.h"
#include "support/RecordingDevice.h"

#include <QByteArray>
#include <QList>
#include <memory>

// A live data frame as the EMU sends it (every value + 1, the air temperature + 21).
inline QByteArray liveFrame(int rpm, int vacuumByte, int tps, int lambda, int water, int air,
                            int potByte, int battery, int injector) {
    const int raw[9] = {rpm + 1,  vacuumByte, tps + 1,     lambda + 1,  water + 1,
                        air + 21, potByte,    battery + 1, injector + 1};
    QByteArray out;
    for (int b : raw)
        out.append(char(quint8(b)));
    return out;
}

struct MonitorRig {
    FakeClock clock;
    VirtualEmu emu{clock};
    Session session{clock};
    QList<Wire> wires;

    explicit MonitorRig(bool connected = true) {
        session.port().setShowErrors(false);
        session.port().setDeviceFactory([this](int) -> std::unique_ptr<ByteDevice> {
            return std::make_unique<RecordingDevice>(emu.makeDevice(), clock, &wires);
        });
        session.port().setBaud(19200);
        session.port().setPort(3);
        session.port().Open();
        if (connected) session.markConnected();
    }

    QByteArray sent() const {
        QByteArray all;
        for (const Wire &w : wires)
            all += w.bytes;
        return all;
    }
};
