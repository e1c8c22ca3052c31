#include "ScriptedDevice.h"
#include "link/Clock.h"
#include "link/QCCom32.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {
struct Prompts {
    QStringList texts;
    QList<bool> abortRetry;
    QList<TQCCom32::PromptAnswer> answers; // taken in order; Abort when exhausted
    TQCCom32::Prompt prompt() {
        return [this](const QString &text, bool ar) {
            texts << text;
            abortRetry << ar;
            return answers.isEmpty() ? TQCCom32::PromptAnswer::Abort : answers.takeFirst();
        };
    }
};
} // namespace

class TestQCCom32 : public QObject {
    Q_OBJECT

    FakeClock clock;
    std::shared_ptr<ScriptedLine> line;
    std::unique_ptr<TQCCom32> com;
    Prompts prompts;

private slots:
    void init() {
        clock = FakeClock();
        line = std::make_shared<ScriptedLine>(&clock);
        com = std::make_unique<TQCCom32>(nullptr, &clock);
        com->setDeviceFactory(scriptedFactory(line));
        prompts = Prompts();
        com->setPrompt(prompts.prompt());
    }
    void cleanup() { com.reset(); }

    void defaults() {
        TQCCom32 c;
        QCOMPARE(c.AllowEvents(), false);
        QCOMPARE(c.Baud(), 9600);
        QCOMPARE(c.EndOfResponse(), QString());
        QCOMPARE(c.Handshaking(), hsNone);
        QCOMPARE(c.InUse(), false);
        QCOMPARE(c.ResponseTime(), 1000);
        QCOMPARE(c.Opened(), false);
        QCOMPARE(c.Port(), 1);
        QCOMPARE(c.ShowErrors(), true);
        QCOMPARE(c.TimedOut(), false);
        QCOMPARE(c.Version(), QStringLiteral("1.4.0"));
        c.setVersion(QStringLiteral("2.0"));
        QCOMPARE(c.Version(), QStringLiteral("1.4.0"));
        QCOMPARE(c.InCount(), 0);
    }

    void defaultPromptNeverBlocks() {
        // Without an installed box the answer is Abort: a failed open returns after one try.
        TQCCom32 c(nullptr, &clock);
        c.setDeviceFactory([](int) { return std::unique_ptr<ByteDevice>(); });
        QVERIFY(c.ShowErrors());
        QVERIFY(!c.Open());
        QCOMPARE(c.lastOpenError(), ByteDevice::OpenError::NotFound);
    }

    void endOfResponse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("marker");
        QTest::newRow("crlf escapes") << "OK#13#10" << QByteArray("OK\r\n");
        QTest::newRow("single escape") << "#65" << QByteArray("A");
        QTest::newRow("non-digit keeps text") << "#6x#" << QByteArray("#6x#");
        QTest::newRow("trailing hash adds nothing") << "OK#13#" << QByteArray("OK\r");
        QTest::newRow("lone hash") << "#" << QByteArray();
        QTest::newRow("empty number keeps text") << "##65" << QByteArray("##65");
        QTest::newRow("plain text") << "END" << QByteArray("END");
        QTest::newRow("several") << "A#66#67" << QByteArray("ABC");
        QTest::newRow("zero byte") << "#0" << QByteArray(1, '\0');
        QTest::newRow("too large keeps text") << "#300" << QByteArray("#300");
        QTest::newRow("sign keeps text") << "#+65" << QByteArray("#+65");
        QTest::newRow("empty") << "" << QByteArray();
    }
    void endOfResponse() {
        QFETCH(QString, text);
        QFETCH(QByteArray, marker);
        com->setEndOfResponse(text);
        QCOMPARE(com->EndOfResponse(), text);
        QCOMPARE(com->endMarker(), marker);
    }

    void receiveEmptyMarkerNothingQueued() {
        QVERIFY(com->Open());
        QCOMPARE(com->Receive(), QByteArray());
        QCOMPARE(clock.tickMs(), 0);
        QVERIFY(!com->InUse());
    }

    void receiveEmptyMarkerTakesExactlyWhatIsQueued() {
        QVERIFY(com->Open());
        line->replyAt(0, QByteArray("\x05\x00\x07", 3));
        line->replyAt(50, "late");
        QCOMPARE(com->InCount(), 3);
        QCOMPARE(com->Receive(), QByteArray("\x05\x00\x07", 3));
        QCOMPARE(com->Receive(), QByteArray());
        clock.advance(50);
        QCOMPARE(com->Receive(), QByteArray("late"));
    }

    void receiveOpensClosedPort() {
        QVERIFY(!com->Opened());
        QCOMPARE(com->Receive(), QByteArray());
        QVERIFY(com->Opened());
        line->present = false;
        com->Close();
        QCOMPARE(com->Receive(), QByteArray());
        QVERIFY(!com->Opened());
    }

    void receiveWaitsForMarker() {
        com->setEndOfResponse("#13#10");
        com->setResponseTime(100);
        QVERIFY(com->Open());
        line->replyAt(10, "O");
        line->replyAt(30, "K\r\nrest");
        int timeouts = 0;
        com->OnTimeout = [&](QObject *) { ++timeouts; };
        QCOMPARE(com->Receive(), QByteArray("OK\r\nrest"));
        QVERIFY(!com->TimedOut());
        QCOMPARE(timeouts, 0);
        QVERIFY(clock.tickMs() >= 30 && clock.tickMs() < 40);
        QVERIFY(!com->InUse());
    }

    void receiveTimesOut() {
        com->setEndOfResponse("#13");
        com->setResponseTime(100);
        com->setShowErrors(false);
        QVERIFY(com->Open());
        line->replyAt(5, "part");
        QObject *sender = nullptr;
        int timeouts = 0;
        com->OnTimeout = [&](QObject *s) {
            ++timeouts;
            sender = s;
            QVERIFY(com->TimedOut());
        };
        QCOMPARE(com->Receive(), QByteArray("part"));
        QVERIFY(com->TimedOut());
        QCOMPARE(timeouts, 1);
        QCOMPARE(sender, com.get());
        QVERIFY(prompts.texts.isEmpty());
        QVERIFY(clock.tickMs() > 100 && clock.tickMs() < 110);
    }

    void receiveTimeoutRetryKeepsBytes() {
        com->setEndOfResponse("#13");
        com->setResponseTime(100);
        QVERIFY(com->Open());
        line->replyAt(5, "AB");
        line->replyAt(150, "C\r");
        prompts.answers = {TQCCom32::PromptAnswer::Retry};
        int timeouts = 0;
        com->OnTimeout = [&](QObject *) { ++timeouts; };
        QCOMPARE(com->Receive(), QByteArray("ABC\r"));
        QCOMPARE(timeouts, 1);
        QCOMPARE(prompts.texts, QStringList{"Timeout waiting for response."});
        QCOMPARE(prompts.abortRetry, QList<bool>{true});
        QVERIFY(!com->TimedOut());
    }

    void receiveTimeoutAbortReturnsPartial() {
        com->setEndOfResponse("#13");
        com->setResponseTime(50);
        QVERIFY(com->Open());
        line->replyAt(5, "AB");
        line->replyAt(500, "C\r");
        prompts.answers = {TQCCom32::PromptAnswer::Retry, TQCCom32::PromptAnswer::Abort};
        QCOMPARE(com->Receive(), QByteArray("AB"));
        QCOMPARE(prompts.texts.size(), 2);
        QVERIFY(com->TimedOut());
        QVERIFY(!com->InUse());
    }

    void reentryReturnsEmpty() {
        com->setEndOfResponse("#13");
        com->setResponseTime(20);
        QVERIFY(com->Open());
        line->replyAt(1, "xyz");
        QByteArray inner = "not called";
        bool inUseInside = false;
        com->OnTimeout = [&](QObject *) {
            inUseInside = com->InUse();
            inner = com->Receive();
        };
        QCOMPARE(com->Receive(), QByteArray("xyz"));
        QVERIFY(inUseInside);
        QCOMPARE(inner, QByteArray());
        QVERIFY(prompts.texts.contains("Port is in use -- operation aborted"));
        QCOMPARE(prompts.abortRetry.first(), false);
        QVERIFY(!com->InUse());
    }

    void allowEventsProcessesEvents_data() {
        QTest::addColumn<bool>("allow");
        QTest::newRow("events allowed") << true;
        QTest::newRow("events held") << false;
    }
    void allowEventsProcessesEvents() {
        QFETCH(bool, allow);
        com->setEndOfResponse("#13");
        com->setResponseTime(20);
        com->setShowErrors(false);
        com->setAllowEvents(allow);
        QVERIFY(com->Open());
        bool ran = false;
        QByteArray inner = "not called";
        QTimer::singleShot(0, this, [&] {
            ran = true;
            inner = com->Receive();
        });
        com->Receive();
        QCOMPARE(ran, allow);
        if (allow) QCOMPARE(inner, QByteArray()); // refused while the outer call runs
        QCoreApplication::processEvents();
        QVERIFY(ran);
    }

    void sameValueDoesNotReopen_data() {
        QTest::addColumn<int>("which"); // 0 port, 1 baud, 2 handshaking
        QTest::newRow("port") << 0;
        QTest::newRow("baud") << 1;
        QTest::newRow("handshaking") << 2;
    }
    void sameValueDoesNotReopen() {
        QFETCH(int, which);
        auto setSame = [&] {
            if (which == 0)
                com->setPort(com->Port());
            else if (which == 1)
                com->setBaud(com->Baud());
            else
                com->setHandshaking(com->Handshaking());
        };
        auto setOther = [&] {
            if (which == 0)
                com->setPort(4);
            else if (which == 1)
                com->setBaud(19200);
            else
                com->setHandshaking(hsHardware);
        };
        QVERIFY(com->Open());
        QCOMPARE(line->opens, 1);
        setSame();
        QCOMPARE(line->opens, 1);
        QCOMPARE(line->closes, 0);
        setOther();
        QCOMPARE(line->closes, 1);
        QCOMPARE(line->opens, 2);
        QVERIFY(com->Opened());
        QCOMPARE(line->portsAsked.last(), which == 0 ? 4 : 1);
        QCOMPARE(line->lastBaud, which == 1 ? 19200 : 9600);
        QCOMPARE(line->lastHardware, which == 2);
        // While closed, a change only records the value.
        com->Close();
        com->setPort(7);
        com->setBaud(4800);
        QCOMPARE(line->opens, 2);
        QVERIFY(!com->Opened());
    }

    void failedOpenWithoutBoxesTriesOnce() {
        com->setShowErrors(false);
        line->present = false;
        line->openError = ByteDevice::OpenError::PermissionDenied;
        QVERIFY(!com->Open());
        QCOMPARE(line->openAttempts, 1);
        QVERIFY(prompts.texts.isEmpty());
        QCOMPARE(com->lastOpenError(), ByteDevice::OpenError::PermissionDenied);
        QVERIFY(!com->Opened());
        QVERIFY(!com->Send("x"));
        QCOMPARE(com->Receive(), QByteArray());
        QCOMPARE(com->InCount(), 0);
    }

    void failedOpenBoxRetry() {
        com->setPort(3);
        line->present = false;
        prompts.answers = {TQCCom32::PromptAnswer::Retry};
        // The box's Retry comes after the adapter was plugged in.
        com->setPrompt([&](const QString &text, bool ar) {
            prompts.texts << text;
            prompts.abortRetry << ar;
            line->present = true;
            return TQCCom32::PromptAnswer::Retry;
        });
        QVERIFY(com->Open());
        QCOMPARE(prompts.texts, QStringList{"Error opening COM3: "});
        QCOMPARE(prompts.abortRetry, QList<bool>{true});
        QCOMPARE(line->openAttempts, 2);
        QCOMPARE(com->lastOpenError(), ByteDevice::OpenError::None);
    }

    void failedOpenBoxAbort() {
        line->present = false;
        QVERIFY(!com->Open());
        QCOMPARE(line->openAttempts, 1);
        QCOMPARE(prompts.texts, QStringList{"Error opening COM1: "});
    }

    void unmappedPortFailsLikeMissingPort() {
        com->setDeviceFactory([](int) { return std::unique_ptr<ByteDevice>(); });
        com->setShowErrors(false);
        QVERIFY(!com->Open());
        QCOMPARE(com->lastOpenError(), ByteDevice::OpenError::NotFound);
        QVERIFY(!com->Send(QByteArray(1, char(0xFF))));
    }

    void sendOpensAndWritesWhole() {
        QVERIFY(!com->Opened());
        const QByteArray cmd("\xF2\x00\x00", 3);
        QVERIFY(com->Send(cmd));
        QVERIFY(com->Opened());
        QCOMPARE(line->written, cmd);
        QCOMPARE(line->writes.size(), 1);
    }

    void openStartsWithEmptyQueue() {
        line->replyAt(0, "stale");
        QVERIFY(com->Open());
        QCOMPARE(com->InCount(), 0);
    }

    void openClosesFirst() {
        QVERIFY(com->Open());
        QVERIFY(com->Open());
        QCOMPARE(line->closes, 1);
        QCOMPARE(line->opens, 2);
    }

    void deviceLost() {
        com->setShowErrors(false);
        QSignalSpy spy(com.get(), &TQCCom32::lostDevice);
        com->setPort(2);
        QVERIFY(com->Open());
        line->replyAt(0, "abc");
        line->lost = true;
        line->present = false; // unplugged: reopening fails too
        QVERIFY(com->deviceLost());
        QVERIFY(!com->Opened());
        QVERIFY(!com->Send("x"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().at(0).toInt(), 2);
        QCOMPARE(spy.first().at(1).toString(), QStringLiteral("scripted"));
        QVERIFY(!com->deviceLost());
        QCOMPARE(com->Receive(), QByteArray());
        QCOMPARE(com->InCount(), 0);
        com->ClearInput();
        QVERIFY(!com->Send("y"));
        QCOMPARE(spy.count(), 1); // once per loss
        QCOMPARE(line->written, QByteArray());

        // Plugged in again: the next Send opens it, and a second loss is reported again.
        line->present = true;
        QVERIFY(com->Send("z"));
        line->lost = true;
        QCOMPARE(com->InCount(), 0);
        QCOMPARE(spy.count(), 2);
    }

    void deviceLostDuringMarkerWait() {
        com->setEndOfResponse("#13");
        com->setResponseTime(1000);
        QVERIFY(com->Open());
        line->replyAt(10, "ab");
        clock.onAdvance = [&](qint64 now) {
            if (now >= 20) line->lost = true;
        };
        QSignalSpy spy(com.get(), &TQCCom32::lostDevice);
        QCOMPARE(com->Receive(), QByteArray("ab"));
        QVERIFY(clock.tickMs() < 100); // gave up at once, no time-out wait
        QCOMPARE(spy.count(), 1);
        QVERIFY(!com->InUse());
        QVERIFY(prompts.texts.isEmpty());
    }

    void deviceNameFollowsPort() {
        QCOMPARE(com->deviceName(), QStringLiteral("scripted"));
        com->setDeviceFactory([](int) { return std::unique_ptr<ByteDevice>(); });
        QCOMPARE(com->deviceName(), QString());
    }
};

QTEST_GUILESS_MAIN(TestQCCom32)
#include "tst_qccom32.moc"
