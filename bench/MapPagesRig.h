#pragma once
// The map pages on a session whose port is the virtual EMU, with the fake clock, as the map
// benchmarks drive them.
#include "connection/Session.h"
#include "link/Clock.h"
#include "sim/VirtualEmu.h"
#include "tuning/MapPages.h"

#include <QTabWidget>

struct MapPagesRig {
    FakeClock clock;
    Session s{clock};
    VirtualEmu emu{clock, 3};
    QTabWidget tabs;
    QWidget *timingTab = new QWidget, *fuelTab = new QWidget, *corrTab = new QWidget;
    MapPages pages{s, addTabs(), fuelTab, corrTab};

    MapPagesRig() {
        emu.setRecordWritten(false);
        s.port().setDeviceFactory([this](int) { return emu.makeDevice(); });
        s.addCapabilities({true, true, true});
    }

private:
    QWidget *addTabs() {
        tabs.addTab(timingTab, QStringLiteral("Timing Map"));
        tabs.addTab(fuelTab, QStringLiteral("Fuel Maps"));
        tabs.addTab(corrTab, QStringLiteral("Correction Maps"));
        return timingTab;
    }
};
