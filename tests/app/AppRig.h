#pragma once
// A main window on a fake clock with virtual EMUs on chosen port numbers. Every write to a port
// is recorded with the fake-clock time at which it was made.
#include "app/MainWindow.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "sim/VirtualEmu.h"
#include "support/RecordingDevice.h"
#include "widgets/Messages.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QTest>
#include <memory>

// A port that opens but never answers (or refuses to open with a given error).
class SilentDevice : public ByteDevice {
public:
    explicit SilentDevice(OpenError refuse = OpenError::None) : m_refuse(refuse) {}
    QString name() const override { return QStringLiteral("/dev/ttySilent"); }
    bool open(int, bool) override {
        m_open = m_refuse == OpenError::None;
        return m_open;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    qint64 write(const QByteArray &b) override { return m_open ? b.size() : -1; }
    int queued() override { return 0; }
    QByteArray read(int) override { return {}; }
    void clearInput() override {}
    OpenError lastError() const override { return m_refuse; }
    QString errorString() const override {
        return m_refuse == OpenError::PermissionDenied ? QStringLiteral("Permission denied")
                                                       : QString();
    }

private:
    OpenError m_refuse;
    bool m_open = false;
};

struct AppRig {
    FakeClock clock;
    QMap<int, std::shared_ptr<VirtualEmu>> emus;
    QSet<int> silent;
    QSet<int> denied;
    QList<Wire> wires;
    QList<int> asked; // port numbers the program tried to open
    QStringList messages;
    std::unique_ptr<TForm1> form;

    AppRig() {
        Messages::setHandler([this](const QString &t, Messages::Kind) { messages << t; });
        form = std::make_unique<TForm1>(clock);
        form->setAutoSearch(false);
        form->setOpenFileChooser([](QWidget *) { return QString(); });
        form->setSaveFileChooser([](QWidget *) { return QString(); });
        form->session().port().setDeviceFactory([this](int n) -> std::unique_ptr<ByteDevice> {
            asked << n;
            if (emus.contains(n))
                return std::make_unique<RecordingDevice>(emus[n]->makeDevice(), clock, &wires, n);
            if (denied.contains(n))
                return std::make_unique<SilentDevice>(ByteDevice::OpenError::PermissionDenied);
            if (silent.contains(n)) return std::make_unique<SilentDevice>();
            return nullptr;
        });
    }
    ~AppRig() {
        form.reset();
        Messages::setHandler(nullptr);
    }
    VirtualEmu &addEmu(int port, int model = 3) {
        emus[port] = std::make_shared<VirtualEmu>(clock, model);
        return *emus[port];
    }
    Session &s() { return form->session(); }
    // Shows the window as the program does and runs the start-up port search.
    bool showAndSearch() {
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) return false;
        form->FormShow();
        return true;
    }
    // Every byte written, in order.
    QByteArray written() const {
        QByteArray all;
        for (const Wire &w : wires)
            all += w.bytes;
        return all;
    }
};
