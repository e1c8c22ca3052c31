#pragma once
// Map pages on offscreen tabs over a session whose link talks to the virtual EMU, driven by real
// mouse and key events.
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "model/Numbers.h"
#include "sim/VirtualEmu.h"
#include "support/SessionState.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QtTest>
#include <memory>

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

// The main window's key preview: every key goes to the pages before the focused control.
class KeyPreview : public QObject {
public:
    KeyPreview(MapPages &pages, QTabWidget &tabs) : m_pages(pages), m_tabs(tabs) {}

protected:
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
            auto *k = static_cast<QKeyEvent *>(e);
            // Deliver once per key, at the window.
            if (o == m_tabs.window()->windowHandle()) {
                if (e->type() == QEvent::KeyPress)
                    m_pages.formKeyDown(k->key(), m_tabs.currentIndex() == 1);
                else
                    m_pages.formKeyUp(k->key());
            }
        }
        return false;
    }

private:
    MapPages &m_pages;
    QTabWidget &m_tabs;
};

struct Rig {
    FakeClock clock;
    Session s{clock};
    VirtualEmu emu{clock, 3};
    QTabWidget tabs;
    QWidget *timingTab = new QWidget;
    QWidget *fuelTab = new QWidget;
    QWidget *corrTab = new QWidget;
    std::unique_ptr<MapPages> pages;
    std::unique_ptr<KeyPreview> preview;

    explicit Rig(Capabilities caps = {true, true, true}, int s10 = 10, double rpm = 7000) {
        s.port().setDeviceFactory([this](int) { return emu.makeDevice(); });
        tabs.addTab(new QWidget, QStringLiteral("Setup"));
        tabs.addTab(timingTab, QStringLiteral("Timing Map"));
        tabs.addTab(fuelTab, QStringLiteral("Fuel Maps"));
        tabs.addTab(corrTab, QStringLiteral("Correction Maps"));
        // Tab indices of the pages: the fuel tab is index 2 here, so the preview compares with
        // the page itself.
        pages = std::make_unique<MapPages>(s, timingTab, fuelTab, corrTab);
        s.addCapabilities(caps);
        s.setAxes(MapAxes{rpm, emu::model::timingPointsFor(rpm), s10});
        tabs.resize(1100, 800);
        tabs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tabs));
        // The image stream the EMU holds, as the table read leaves it in the file table area.
        const QByteArray stream = emu.imageStream();
        editImage(s, [&stream](EmuImage &image) {
            std::copy(stream.begin(), stream.end(), image.fileTable());
            std::copy(stream.begin(), stream.begin() + EmuImage::SetupSize, image.setup());
        });
        pages->configureAtConnect();
        ConnectionController::decodeTables(s);
        pages->readTables();
        s.enableEditing();
        emu.clearWritten();
    }
    MapChart *chart(MapPages::Chart c) { return pages->mapChart(c); }
    void showTab(QWidget *tab) {
        tabs.setCurrentWidget(tab);
        QCoreApplication::processEvents();
        for (int c = 0; c < MapPages::ChartCount; ++c)
            if (chart(MapPages::Chart(c))->isVisible()) chart(MapPages::Chart(c))->replot();
    }
    void showChart(MapPages::Chart c) {
        showTab(c <= MapPages::Vacuum ? timingTab : c <= MapPages::FuelRpm ? fuelTab : corrTab);
    }
    QPoint pixel(MapPages::Chart c, double x, double y) {
        MapChart *ch = chart(c);
        return QPoint(qRound(ch->xAxis->coordToPixel(x)), qRound(ch->yAxis->coordToPixel(y)));
    }
    void hoverAt(MapPages::Chart c, double x, double y) {
        showChart(c);
        // Qt drops a move to where the pointer already is: come from one pixel below.
        const QPoint at = pixel(c, x, y);
        QTest::mouseMove(chart(c), at + QPoint(0, 1));
        QTest::mouseMove(chart(c), at);
    }
    void dragAt(MapPages::Chart c, double x, double y) {
        showChart(c);
        const QPoint at = pixel(c, x, y);
        QTest::mousePress(chart(c), Qt::LeftButton, Qt::NoModifier, at + QPoint(0, 3));
        QTest::mouseMove(chart(c), at);
        QTest::mouseRelease(chart(c), Qt::LeftButton, Qt::NoModifier, at);
    }
    // Keys through the window, as the main window's key preview sees them.
    void key(Qt::Key k) {
        if (!preview) {
            preview = std::make_unique<KeyPreview>(*pages, tabs);
            qApp->installEventFilter(preview.get());
        }
        QTest::keyClick(tabs.windowHandle(), k);
    }
    double value(MapId id, int p) const { return s.maps().value(id, p); }
    QString text(const char *name) const {
        auto *e = tabs.findChild<QLineEdit *>(QString::fromLatin1(name));
        return e ? e->text() : QStringLiteral("<none>");
    }
};
} // namespace
