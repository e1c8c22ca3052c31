#include "ScriptedDevice.h"
#include "link/Clock.h"
#include "link/EmuLink.h"
#include "link/QCCom32.h"

#include <QtTest>
#include <array>

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out.append(char(b));
    return out;
}

QByteArray tableStream() {
    QByteArray s(emu::link::TableStreamSize, '\0');
    for (int i = 0; i < s.size(); ++i)
        s[i] = char(i % 7 == 0 ? 0 : i & 0xFF); // zero bytes inside must go out too
    return s;
}

enum Op { Identify100, Identify200, Identify300, ReadImage, LiveData, Parameter, Point, Tables };
} // namespace

class TestEmuLink : public QObject {
    Q_OBJECT

    FakeClock clock;
    std::shared_ptr<ScriptedLine> line;
    std::unique_ptr<TQCCom32> com;
    std::unique_ptr<EmuLink> link;

    int identify(int waitMs, quint8 *id) {
        int received = -1;
        link->identify(waitMs, [&](const EmuLink::Reply &r) {
            emu::link::fillAndCopy(r.bytes, id, 7, 7, false);
            received = int(r.bytes.size());
        });
        return received;
    }
    QByteArray liveData() {
        QByteArray reply("not answered");
        link->liveData([&](const EmuLink::Reply &r) { reply = r.bytes; });
        return reply;
    }

    void setUpEfi() {
        // The main window's settings.
        com->setAllowEvents(false);
        com->setBaud(19200);
        com->setHandshaking(hsNone);
        com->setResponseTime(100);
        com->setPort(1);
        com->setShowErrors(false);
        com->setEndOfResponse(QString());
    }

private slots:
    void init() {
        clock = FakeClock();
        line = std::make_shared<ScriptedLine>(&clock);
        com = std::make_unique<TQCCom32>(nullptr, &clock);
        com->setDeviceFactory(scriptedFactory(line));
        setUpEfi();
        link = std::make_unique<EmuLink>(*com, clock);
    }
    void cleanup() {
        link.reset();
        com.reset();
    }

    void commands_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("c");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<qint64>("slept");

        QTest::newRow("identify probe")
            << int(Identify100) << 0 << 0 << 0 << bytes({0xFF}) << 100LL;
        QTest::newRow("identify refresh")
            << int(Identify200) << 0 << 0 << 0 << bytes({0xFF}) << 200LL;
        QTest::newRow("identify connect")
            << int(Identify300) << 0 << 0 << 0 << bytes({0xFF}) << 300LL;
        QTest::newRow("read image") << int(ReadImage) << 0 << 0 << 0 << bytes({0xFD}) << 500LL;
        QTest::newRow("live data") << int(LiveData) << 0 << 0 << 0 << bytes({0xFC}) << 20LL;
        QTest::newRow("parameter zero value")
            << int(Parameter) << 0x00 << 0x00 << 0 << bytes({0xF2, 0x00, 0x00}) << 0LL;
        QTest::newRow("parameter 0x63")
            << int(Parameter) << 0x63 << 200 << 0 << bytes({0xF2, 0x63, 0xC8}) << 0LL;
        QTest::newRow("vacuum timing point 1 at -10")
            << int(Point) << 0xE8 << 100 << 0 << bytes({0xE8, 0x64, 0x00}) << 0LL;
        QTest::newRow("timing point 100 at 45")
            << int(Point) << 0xE8 << 99 << 45 << bytes({0xE8, 0x63, 0x2D}) << 0LL;
        QTest::newRow("fuel high point 32 at -50")
            << int(Point) << 0xCA << 63 << 50 << bytes({0xCA, 0x3F, 0x32}) << 0LL;
        QTest::newRow("correction point")
            << int(Point) << 0xD4 << 0 << 0 << bytes({0xD4, 0, 0}) << 0LL;
        QTest::newRow("write tables")
            << int(Tables) << 0 << 0 << 0 << (bytes({0xF3}) + tableStream()) << 100LL;
    }
    void commands() {
        QFETCH(int, op);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(int, c);
        QFETCH(QByteArray, wire);
        QFETCH(qint64, slept);
        std::array<quint8, 8> id{};
        switch (Op(op)) {
        case Identify100:
            identify(emu::link::WaitIdentifyProbe, id.data());
            break;
        case Identify200:
            identify(emu::link::WaitIdentifyRefresh, id.data());
            break;
        case Identify300:
            identify(emu::link::WaitIdentifyConnect, id.data());
            break;
        case ReadImage:
            link->readImage({});
            break;
        case LiveData:
            liveData();
            break;
        case Parameter:
            link->parameterWrite(quint8(a), quint8(b));
            break;
        case Point:
            link->pointWrite(quint8(a), quint8(b), quint8(c));
            break;
        case Tables:
            link->writeTables(tableStream());
            break;
        }
        QCOMPARE(line->written.toHex(' '), wire.toHex(' '));
        QCOMPARE(clock.slept(), slept);
        QCOMPARE(line->lastBaud, 19200);
        QCOMPARE(line->lastHardware, false);
        if (op == Tables) {
            // Two writes: the command byte, then after the pause the whole stream.
            QCOMPARE(line->writes.size(), 2);
            QCOMPARE(line->writes[0].second, bytes({0xF3}));
            QCOMPARE(line->writes[1].first - line->writes[0].first, 100);
            QCOMPARE(line->writes[1].second.size(), emu::link::TableStreamSize);
        } else {
            QCOMPARE(line->writes.size(), 1); // one write per command
        }
    }

    void replyIsTakenAfterTheWait() {
        // The EMU answers 80 ms after the command: inside the 100 ms wait, so it is all there.
        line->respond = [](ScriptedLine &l, const QByteArray &cmd) {
            if (cmd == bytes({0xFF})) l.replyAfter(80, bytes({3, 3, 12, 1, 2, 5, 6}));
        };
        std::array<quint8, 7> id{};
        identify(emu::link::WaitIdentifyProbe, id.data());
        QCOMPARE(emu::link::signature(id.data()), QByteArray("56"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(id.data()), 7),
                 bytes({3, 3, 12, 1, 2, 5, 6}));
    }

    void identity_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("identity");
        QTest::addColumn<QByteArray>("signature");
        QTest::newRow("live EMU") << bytes({3, 3, 12, 1, 2, 5, 6}) << bytes({3, 3, 12, 1, 2, 5, 6})
                                  << QByteArray("56");
        QTest::newRow("any first bytes") << bytes({200, 9, 1, 255, 4, 5, 6})
                                         << bytes({200, 9, 1, 255, 4, 5, 6}) << QByteArray("56");
        QTest::newRow("three bytes")
            << bytes({3, 3, 12}) << bytes({3, 3, 12, 48, 48, 48, 48}) << QByteArray("4848");
        QTest::newRow("no answer") << QByteArray() << QByteArray(7, '0') << QByteArray("4848");
        QTest::newRow("zero byte ends copy")
            << bytes({3, 0, 12, 1, 2, 5, 6}) << bytes({3, 48, 48, 48, 48, 48, 48})
            << QByteArray("4848");
        QTest::newRow("too long") << bytes({1, 2, 3, 4, 5, 5, 6, 9, 9})
                                  << bytes({1, 2, 3, 4, 5, 5, 6}) << QByteArray("56");
        QTest::newRow("file signature")
            << bytes({3, 3, 12, 1, 2, 4, 4}) << bytes({3, 3, 12, 1, 2, 4, 4}) << QByteArray("44");
    }
    void identity() {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, identity);
        QFETCH(QByteArray, signature);
        line->respond = [reply](ScriptedLine &l, const QByteArray &) { l.replyAfter(5, reply); };
        std::array<quint8, 9> buf;
        buf.fill(0xEE); // the two bytes behind the block must stay untouched
        identify(emu::link::WaitIdentifyConnect, buf.data());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(buf.data()), 7).toHex(' '),
                 identity.toHex(' '));
        QCOMPARE(buf[7], quint8(0xEE));
        QCOMPARE(buf[8], quint8(0xEE));
        QCOMPARE(emu::link::signature(buf.data()), signature);
    }

    void fillAndCopy_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("destLen");
        QTest::addColumn<int>("maxCopy");
        QTest::addColumn<bool>("terminate");
        QTest::addColumn<int>("copied");
        QTest::addColumn<QByteArray>("dest");

        QByteArray image(emu::link::ImageStreamMax, char(20));
        image[2] = 0;
        QByteArray setup(emu::link::SetupSize, '0');
        setup[0] = char(20);
        setup[1] = char(20);
        QTest::newRow("zero at position 2 of the image")
            << image << emu::link::SetupSize << emu::link::SetupSize << false << 2 << setup;
        QTest::newRow("terminated short copy") << QByteArray("AB") << 5 << 5 << true << 2
                                               << QByteArray("AB\0"
                                                             "00",
                                                             5);
        QTest::newRow("full copy has no room for the end")
            << QByteArray("ABCDE") << 5 << 5 << true << 5 << QByteArray("ABCDE");
        QTest::newRow("limit below the block")
            << QByteArray("ABCDEFG") << 6 << 3 << false << 3 << QByteArray("ABC000");
        QTest::newRow("limit above the block")
            << QByteArray("ABCDEFGHIJ") << 4 << 10 << false << 4 << QByteArray("ABCD");
        QTest::newRow("empty reply") << QByteArray() << 3 << 3 << true << 0
                                     << QByteArray("\0"
                                                   "00",
                                                   3);
    }
    void fillAndCopy() {
        QFETCH(QByteArray, reply);
        QFETCH(int, destLen);
        QFETCH(int, maxCopy);
        QFETCH(bool, terminate);
        QFETCH(int, copied);
        QFETCH(QByteArray, dest);
        QByteArray buf(destLen + 4, char(0xEE));
        auto *p = reinterpret_cast<quint8 *>(buf.data());
        QCOMPARE(emu::link::fillAndCopy(reply, p, destLen, maxCopy, terminate), copied);
        QCOMPARE(buf.left(destLen), dest);
        QCOMPARE(buf.mid(destLen), QByteArray(4, char(0xEE)));
    }

    void copyReplyStopsAtZeroAndLimit() {
        quint8 d[4] = {9, 9, 9, 9};
        QCOMPARE(emu::link::copyReply(bytes({1, 2, 0, 4}), d, 4), 2);
        QCOMPARE(d[2], quint8(9));
        QCOMPARE(emu::link::copyReply(bytes({1, 2, 3, 4}), d, 3), 3);
        QCOMPARE(d[3], quint8(9));
    }

    void lateReplyDoesNotShiftLaterReplies() {
        const QByteArray identity = bytes({3, 3, 12, 1, 2, 5, 6});
        const QByteArray frame = bytes({10, 20, 30, 40, 50, 60, 70, 80, 90, 100});
        // A slow EMU: the identity comes 150 ms after the command, the live frame in 10 ms.
        line->respond = [&](ScriptedLine &l, const QByteArray &cmd) {
            if (cmd == bytes({0xFF}))
                l.replyAfter(150, identity);
            else if (cmd == bytes({0xFC}))
                l.replyAfter(10, frame);
        };
        std::array<quint8, 7> id{};
        identify(emu::link::WaitIdentifyProbe, id.data());
        QCOMPARE(emu::link::signature(id.data()), QByteArray("4848")); // too late for its read
        clock.advance(100);                                            // the identity arrives now
        QCOMPARE(liveData(), frame);
        QCOMPARE(liveData(), frame);
    }

    // Nothing that was written is ever dropped, and every command starts on a free line: the
    // next request waits until the bytes before it have been carried (10 bits a byte at 19200
    // baud, rounded up to whole ms), and only the input side is cleared before it.
    void requestsWaitForTheLine_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<QList<qint64>>("times"); // of each write, the live request last
        QTest::addColumn<qint64>("slept");
        // 0xF3 at 0, the stream at 100 (239 ms on the line), 0xFC at 339, then its 20 ms.
        QTest::newRow("table write") << int(Tables) << QList<qint64>{0, 100, 339} << 359LL;
        // Three bytes need 1.56 ms: the live request goes out 2 ms after the parameter write.
        QTest::newRow("parameter write") << int(Parameter) << QList<qint64>{0, 2} << 22LL;
        QTest::newRow("point write") << int(Point) << QList<qint64>{0, 2} << 22LL;
    }
    void requestsWaitForTheLine() {
        QFETCH(int, op);
        QFETCH(QList<qint64>, times);
        QFETCH(qint64, slept);
        QVERIFY(com->Open());
        line->input = "stale";
        if (op == Tables)
            link->writeTables(tableStream());
        else if (op == Parameter)
            link->parameterWrite(0x26, 8);
        else
            link->pointWrite(emu::link::SectionTiming, 4, 20);
        const QByteArray sent = line->written;
        liveData();
        QCOMPARE(line->written, sent + bytes({0xFC}));
        QList<qint64> at;
        for (const auto &w : line->writes)
            at << w.first;
        QCOMPARE(at, times);
        QCOMPARE(clock.slept(), slept);
        QCOMPARE(line->input, QByteArray()); // the stale input went before the request
    }

    // Before a live request the bytes still owed by earlier replies are waited for and dropped:
    // the request goes out as soon as exactly that many came, or once the line has been quiet
    // for 36 ms (more came than was owed, or not all of it), or after 200 ms of bytes that keep
    // coming. The reply says how the wait ended and what was dropped.
    void liveRequestWaitsForOwedBytes_data() {
        QTest::addColumn<int>("owed");
        QTest::addColumn<QList<int>>("arrivals"); // ms of each byte's arrival
        QTest::addColumn<qint64>("sentAt");       // of the 0xFC
        QTest::addColumn<int>("settle");
        QTest::addColumn<int>("settled");
        QTest::addColumn<int>("stale");
        using S = EmuLink::Settle;
        QTest::newRow("rest in two parts")
            << 7 << QList<int>{10, 10, 10, 25, 25, 25, 25} << 25LL << int(S::Owed) << 7 << 0;
        QTest::newRow("rest never comes") << 9 << QList<int>{} << 36LL << int(S::Quiet) << 0 << 0;
        QTest::newRow("more than owed")
            << 2 << QList<int>{5, 5, 5, 5} << 41LL << int(S::Quiet) << 4 << 0;
        QTest::newRow("count unknown")
            << int(EmuLink::OwedUnknown) << QList<int>{10, 12} << 48LL << int(S::Quiet) << 2 << 0;
        QList<int> babble;
        for (int t = 20; t <= 300; t += 20)
            babble << t;
        QTest::newRow("bytes keep coming")
            << int(EmuLink::OwedUnknown) << babble << 200LL << int(S::Streaming) << 10 << 0;
        QTest::newRow("nothing owed") << 0 << QList<int>{0, 0} << 0LL << int(S::None) << 0 << 2;
    }
    void liveRequestWaitsForOwedBytes() {
        QFETCH(int, owed);
        QFETCH(QList<int>, arrivals);
        QFETCH(qint64, sentAt);
        QFETCH(int, settle);
        QFETCH(int, settled);
        QFETCH(int, stale);
        QVERIFY(com->Open());
        for (int t : arrivals)
            line->replyAt(t, bytes({0x42}));
        EmuLink::Reply reply;
        link->liveData([&](const EmuLink::Reply &r) { reply = r; }, [owed] { return owed; });
        QCOMPARE(line->writes.size(), 1);
        QCOMPARE(line->writes[0].first, sentAt);
        QCOMPARE(line->writes[0].second, bytes({0xFC}));
        QCOMPARE(reply.sentAt, sentAt);
        QCOMPARE(int(reply.settle), settle);
        QCOMPARE(reply.settled, settled);
        QCOMPARE(reply.stale, stale);
        QCOMPARE(clock.slept(), sentAt + emu::link::WaitLiveData);
    }

    // Nothing waits in a sleep: with a clock the test moves by hand, an exchange stays out until
    // its time has passed. A sequence (a table read) holds the link: what its own steps send
    // goes out within it; a user's edit and the poll made meanwhile follow it, in order.
    void editDuringASequenceFollowsIt() {
        clock.setManual(true);
        QVERIFY(com->Open());
        line->respond = [](ScriptedLine &l, const QByteArray &cmd) {
            if (cmd == bytes({0xFD})) l.replyAfter(100, QByteArray(457, char(1)));
        };
        const int sequence = link->beginSequence();
        QByteArray image;
        {
            const EmuLink::Scope scope(*link, sequence);
            link->readImage([&](const EmuLink::Reply &r) {
                image = r.bytes;
                link->parameterWrite(0x50, 4); // the read's own step: an editor follows
            });
        }
        link->pointWrite(emu::link::SectionTiming, 4, 20); // the user's drag
        QByteArray frame("none");
        link->liveData([&](const EmuLink::Reply &r) { frame = r.bytes; });
        QCOMPARE(line->written, bytes({0xFD}));
        clock.advance(499);
        QVERIFY(image.isEmpty());
        clock.advance(1);
        QCOMPARE(image.size(), 457);
        QCOMPARE(line->written, bytes({0xFD, 0xF2, 0x50, 4}));
        clock.advance(100);
        QCOMPARE(line->written, bytes({0xFD, 0xF2, 0x50, 4})); // held until the read's end
        link->endSequence(sequence);
        QVERIFY(link->busy());
        clock.advance(30);
        QCOMPARE(line->written, bytes({0xFD, 0xF2, 0x50, 4, 0xE8, 4, 20, 0xFC}));
        QList<qint64> at;
        for (const auto &w : line->writes)
            at << w.first;
        // The drag goes out at once, the request once the drag's three bytes have left.
        QCOMPARE(at, (QList<qint64>{0, 500, 600, 602}));
        QCOMPARE(frame, QByteArray());
        QVERIFY(!link->busy());
    }

    void closedPortDropsCommands() {
        line->present = false;
        link->parameterWrite(3, 4);
        link->pointWrite(emu::link::SectionTiming, 0, 10);
        std::array<quint8, 7> id{};
        identify(emu::link::WaitIdentifyConnect, id.data());
        QCOMPARE(emu::link::signature(id.data()), QByteArray("4848"));
        QCOMPARE(liveData(), QByteArray());
        QCOMPARE(line->written, QByteArray());
        QVERIFY(!com->Opened());
    }
};

QTEST_GUILESS_MAIN(TestEmuLink)
#include "tst_emulink.moc"
