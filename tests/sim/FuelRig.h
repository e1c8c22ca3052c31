#pragma once
// The virtual engine driven by a script on a fake clock, logged through the logger's CSV file the
// way the program records it, for the fuel suggestion test and benchmark.
#include "link/Clock.h"
#include "live/FuelSuggest.h"
#include "live/LiveData.h"
#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "model/TuneCompare.h"
#include "sim/VirtualEmu.h"

#include <QTemporaryDir>
#include <vector>

struct FuelRig {
    FakeClock clock;
    VirtualEmu emu{clock, 3};
    QTemporaryDir dir;
    int logs = 0;

    explicit FuelRig(const std::vector<FuelError> &errors, bool closedLoop = false) {
        emu.fuel().setErrors(errors);
        if (!closedLoop) emu.setSetupByte(11, 1); // Control Percentage 0: the EMU trims nothing
    }

    // The tune the EMU holds now, as a setup file would give it.
    emu::model::Tune tune() const {
        emu::model::Tune t;
        const QByteArray id = emu.identity();
        for (int i = 0; i < 7 && i < id.size(); ++i)
            t.image.identity[size_t(i)] = quint8(id.at(i));
        t.image.fillFileTableFrom(emu.imageStream());
        t.decodeFileTable();
        return t;
    }

    // Polls the engine every `periodMs` for `seconds` and writes the logger's file with every
    // channel; returns the log as read back.
    LogRecord record(double seconds, int periodMs = 20) {
        const QString path = dir.filePath(QStringLiteral("log%1.csv").arg(++logs));
        LogWriter w;
        QVector<int> columns;
        for (int s = 0; s < LogChannels::Count; ++s)
            columns << s;
        QString error;
        w.open(path, columns, &error);
        LiveContext ctx;
        ctx.mapSensorRange = emu.mapSensorRange();
        ctx.rpmRange = emu.rpmRange();
        const double start = clock.tickMs();
        LiveFrameBuffer buf;
        LiveValues v;
        double values[LogChannels::Count];
        bool present[LogChannels::Count];
        for (qint64 t = 0; t < qint64(seconds * 1000); t += periodMs) {
            clock.advance(periodMs);
            buf.take(emu.liveFrame());
            Live::decode(buf, ctx, v);
            for (int s = 0; s < LogChannels::Count; ++s) {
                values[s] = LogChannels::fileValue(s, v);
                present[s] = true;
            }
            w.writeRow((clock.tickMs() - start) / 1000.0, values, present, &error);
        }
        w.close();
        LogRecord rec;
        LogReader::read(path, &rec, &error);
        return rec;
    }

    FuelSuggest::Result suggest(const LogRecord &log,
                                const FuelSuggest::Options &o = FuelSuggest::Options()) const {
        const emu::model::Tune t = tune();
        FuelSuggest::Result r;
        QString error;
        FuelSuggest::analyse(log, FuelSuggest::Tune{&t.image, &t.maps, t.axes}, o, &r, &error);
        return r;
    }

    // Writes every suggested point into the EMU (what Apply sends).
    void apply(const FuelSuggest::Result &r) {
        for (const FuelSuggest::PointResult &p : r.points)
            if (p.change != 0) emu.setMapValue(p.map, p.point, int(p.suggested()));
    }

    static int regionOf(MapId id) {
        return id == MapId::FuelLow ? 1 : id == MapId::FuelHigh ? 3 : 2;
    }
};
