// The throttle calibration dialog, driven by F1 key presses and button clicks while the
// calibration poll reads the virtual EMU's throttle.
#include "MonitorRig.h"
#include "live/LivePoll.h"
#include "model/EmuImage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/TPSCalForm.h"
#include "support/SessionState.h"
#include "widgets/ALProgressBar.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {
struct CalRig : MonitorRig {
    LivePoll poll{session};
    TTPSCalForm form{session};

    explicit CalRig(int tpsMinimum = 0, int tpsSpan = 100) {
        session.setTpsWorkingValues(tpsMinimum, tpsSpan);
        editImage(session, [&](EmuImage &image) {
            image.storeValue(emu::model::OffTpsMinimum, tpsMinimum);
            image.storeValue(emu::model::OffTpsSpan, tpsSpan);
        });
        subscribeCalibration(poll, form);
        form.open();
        poll.startCalibration();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
    // The throttle reads `tps` on the next calibration poll.
    void throttle(int tps) {
        emu.pinLiveFrame(liveFrame(10, 129, tps, 50, 80, 25, 129, 130, 35));
        poll.calibrationTick();
    }
    void f1(QWidget *target = nullptr) { QTest::keyClick(target ? target : &form, Qt::Key_F1); }
    // Writes after the calibration poll's requests.
    QList<Wire> writes() const {
        QList<Wire> out;
        for (const Wire &w : wires)
            if (w.bytes != QByteArray("\xFC", 1)) out << w;
        return out;
    }
};

QByteArray bytes(std::initializer_list<int> b) {
    QByteArray out;
    for (int v : b)
        out.append(char(quint8(v)));
    return out;
}
} // namespace

class TestTPSCal : public QObject {
    Q_OBJECT
private slots:
    void dialogLayout();
    void showingFillsTheBoxes();
    void fullThenClosedThenOk();
    void sameReadingTwice_data();
    void sameReadingTwice();
    void okRightAfterOpening();
    void okWithoutSpanSendsNothing();
    void resetSendsDefaults();
    void cancelSendsNothing();
    void otherKeysDoNothing();
    void f1ReachesTheFormWhateverHasFocus();
    void secondCalibrationStartsAtTheFirstStep();
};

void TestTPSCal::dialogLayout() {
    CalRig rig;
    QCOMPARE(rig.form.windowTitle(), QStringLiteral("Throttle Position Sensor Calibration"));
    QVERIFY(rig.form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(rig.form.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(rig.form.Button1->text(), QStringLiteral("OK"));
    QCOMPARE(rig.form.Button2->text(), QStringLiteral("Reset"));
    QCOMPARE(rig.form.Button3->text(), QStringLiteral("Cancel"));
    QVERIFY(rig.form.Button1->isEnabled() && rig.form.Button2->isEnabled() &&
            rig.form.Button3->isEnabled());
    QVERIFY(rig.form.Edit1->isReadOnly() && rig.form.Edit2->isReadOnly());
    QCOMPARE(rig.form.TPSCalBar->min(), 0);
    QCOMPARE(rig.form.TPSCalBar->max(), 100);
    QVERIFY(rig.form.TPSCalBar->percentage());
    QVERIFY(!rig.form.TPSCalBar->showPosText());
    QCOMPARE(rig.form.TPSCalBar->barColorStyle(), TALProgressBar::cs1Color);
    QCOMPARE(rig.form.TPSCalBar->barColor1(), QColor(166, 202, 240));
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextOpen);
}

void TestTPSCal::showingFillsTheBoxes() {
    CalRig rig(12, 70);
    QCOMPARE(rig.form.Edit1->text(), QStringLiteral("12"));
    QCOMPARE(rig.form.Edit2->text(), QStringLiteral("82"));
}

void TestTPSCal::fullThenClosedThenOk() {
    CalRig rig;
    QSignalSpy finished(&rig.form, &TTPSCalForm::finished);
    rig.throttle(92);
    QCOMPARE(rig.form.TPSCalBar->position(), 92);
    rig.f1();
    QCOMPARE(rig.form.Edit2->text(), QStringLiteral("92"));
    QVERIFY(rig.form.maxCaptured());
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextRelease);
    rig.throttle(8);
    rig.f1();
    QCOMPARE(rig.form.Edit1->text(), QStringLiteral("8"));
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextCalibrated);
    QCOMPARE(rig.session.tpsMinimum(), 8);
    QCOMPARE(rig.session.tpsSpan(), 84);
    QVERIFY(rig.writes().isEmpty()); // nothing goes out before OK

    const qint64 before = rig.clock.tickMs();
    QTest::mouseClick(rig.form.Button1, Qt::LeftButton);
    const QList<Wire> w = rig.writes();
    QCOMPARE(w.size(), 2);
    QCOMPARE(w[0].bytes, bytes({0xF2, 0x26, 0x08}));
    QCOMPARE(w[1].bytes, bytes({0xF2, 0x27, 0x54}));
    QCOMPARE(w[0].at, before);
    QCOMPARE(w[1].at - w[0].at, 200);
    QCOMPARE(rig.session.image().setupByte(38), quint8(9));
    QCOMPARE(rig.session.image().setupByte(39), quint8(85));
    QCOMPARE(rig.emu.setupValue(38), 8);
    QCOMPARE(rig.emu.setupValue(39), 84);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!rig.form.isVisible());
    QVERIFY(!rig.poll.calibrating());
    QVERIFY(!rig.form.maxCaptured() && !rig.form.minCaptured());

    // Undo and redo send the two values as the calibration did, 200 ms apart.
    rig.session.history().undo();
    rig.session.history().redo();
    const QList<Wire> again = rig.writes().mid(2);
    QCOMPARE(again.size(), 4);
    const QByteArray sent[4] = {bytes({0xF2, 0x26, 0x00}), bytes({0xF2, 0x27, 0x64}),
                                bytes({0xF2, 0x26, 0x08}), bytes({0xF2, 0x27, 0x54})};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(again[i].bytes, sent[i]);
    QCOMPARE(again[1].at - again[0].at, 200);
    QCOMPARE(again[3].at - again[2].at, 200);
}

void TestTPSCal::sameReadingTwice_data() {
    QTest::addColumn<int>("full");
    QTest::addColumn<int>("closed");
    QTest::newRow("same") << 50 << 50;
    QTest::newRow("closed above full") << 40 << 60;
}

void TestTPSCal::sameReadingTwice() {
    QFETCH(int, full);
    QFETCH(int, closed);
    CalRig rig(5, 90);
    QString textDuringWait;
    qint64 waited = 0;
    rig.clock.onAdvance = [&](qint64) {
        if (rig.form.Panel1->text() == TTPSCalForm::TextError && textDuringWait.isEmpty()) {
            textDuringWait = rig.form.Panel1->text();
            waited = rig.clock.tickMs();
        }
    };
    rig.throttle(full);
    rig.f1();
    rig.throttle(closed);
    const qint64 before = rig.clock.tickMs();
    rig.f1();
    rig.clock.onAdvance = nullptr;
    QCOMPARE(textDuringWait, TTPSCalForm::TextError);
    QCOMPARE(waited - before, 1500);
    QCOMPARE(rig.form.Edit1->text(), QStringLiteral("0"));
    QCOMPARE(rig.form.Edit2->text(), QStringLiteral("100"));
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextOpen);
    QVERIFY(!rig.form.maxCaptured() && !rig.form.minCaptured());
    QVERIFY(rig.writes().isEmpty());
    // The capture starts again with full throttle.
    rig.throttle(88);
    rig.f1();
    QCOMPARE(rig.form.Edit2->text(), QStringLiteral("88"));
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextRelease);
}

void TestTPSCal::okRightAfterOpening() {
    CalRig rig(10, 80);
    QTest::mouseClick(rig.form.Button1, Qt::LeftButton);
    const QList<Wire> w = rig.writes();
    QCOMPARE(w.size(), 2);
    QCOMPARE(w[0].bytes, bytes({0xF2, 0x26, 10}));
    QCOMPARE(w[1].bytes, bytes({0xF2, 0x27, 80}));
    QCOMPARE(w[1].at - w[0].at, 200);
    QVERIFY(!rig.form.isVisible());
}

void TestTPSCal::okWithoutSpanSendsNothing() {
    // Full throttle captured below the minimum shown on opening: OK would send a negative span.
    CalRig rig(50, 30);
    QSignalSpy finished(&rig.form, &TTPSCalForm::finished);
    rig.throttle(20);
    rig.f1();
    QTest::mouseClick(rig.form.Button1, Qt::LeftButton);
    QVERIFY(rig.writes().isEmpty());
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextError);
    QVERIFY(rig.form.isVisible());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(rig.session.image().setupByte(39), quint8(31));
}

void TestTPSCal::resetSendsDefaults() {
    CalRig rig(12, 70);
    QSignalSpy finished(&rig.form, &TTPSCalForm::finished);
    rig.throttle(90);
    rig.f1();
    QTest::mouseClick(rig.form.Button2, Qt::LeftButton);
    const QList<Wire> w = rig.writes();
    QCOMPARE(w.size(), 2);
    QCOMPARE(w[0].bytes, bytes({0xF2, 0x26, 0x00}));
    QCOMPARE(w[1].bytes, bytes({0xF2, 0x27, 0x64}));
    QCOMPARE(w[1].at - w[0].at, 200);
    QCOMPARE(rig.form.Edit1->text(), QStringLiteral("0"));
    QCOMPARE(rig.form.Edit2->text(), QStringLiteral("100"));
    QVERIFY(!rig.form.maxCaptured() && !rig.form.minCaptured());
    QVERIFY(rig.form.isVisible());
    QVERIFY(rig.poll.calibrating());
    QCOMPARE(finished.count(), 0);
    // The program keeps what the EMU now holds.
    QCOMPARE(rig.session.image().setupByte(38), quint8(1));
    QCOMPARE(rig.session.image().setupByte(39), quint8(101));
    QCOMPARE(rig.session.tpsMinimum(), 0);
    QCOMPARE(rig.session.tpsSpan(), 100);
}

void TestTPSCal::cancelSendsNothing() {
    CalRig rig(12, 70);
    QSignalSpy finished(&rig.form, &TTPSCalForm::finished);
    rig.throttle(90);
    rig.f1();
    QTest::mouseClick(rig.form.Button3, Qt::LeftButton);
    QVERIFY(rig.writes().isEmpty());
    QCOMPARE(finished.count(), 1);
    QVERIFY(!rig.form.isVisible());
    QVERIFY(!rig.poll.calibrating());
    QVERIFY(!rig.form.maxCaptured());
    QCOMPARE(rig.session.image().setupByte(38), quint8(13));
}

void TestTPSCal::otherKeysDoNothing() {
    CalRig rig;
    rig.throttle(70);
    for (Qt::Key k : {Qt::Key_F2, Qt::Key_Space, Qt::Key_A, Qt::Key_Escape})
        QTest::keyClick(&rig.form, k);
    QVERIFY(!rig.form.maxCaptured());
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextOpen);
    QCOMPARE(rig.form.Edit2->text(), QStringLiteral("100"));
}

void TestTPSCal::f1ReachesTheFormWhateverHasFocus() {
    CalRig rig;
    rig.throttle(77);
    rig.form.Button2->setFocus();
    rig.f1(rig.form.Button2);
    QCOMPARE(rig.form.Edit2->text(), QStringLiteral("77"));
    rig.throttle(3);
    rig.f1(rig.form.Edit1);
    QCOMPARE(rig.form.Edit1->text(), QStringLiteral("3"));
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextCalibrated);
    QVERIFY(rig.writes().isEmpty()); // the Reset button under the focus was not pressed
}

void TestTPSCal::secondCalibrationStartsAtTheFirstStep() {
    CalRig rig;
    rig.throttle(60);
    rig.f1();
    rig.throttle(6);
    rig.f1();
    QTest::mouseClick(rig.form.Button1, Qt::LeftButton);
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextCalibrated);
    rig.form.open();
    rig.poll.startCalibration();
    QCOMPARE(rig.form.Panel1->text(), TTPSCalForm::TextOpen);
    QCOMPARE(rig.form.Edit1->text(), QStringLiteral("6"));
    QCOMPARE(rig.form.Edit2->text(), QStringLiteral("60"));
    QVERIFY(!rig.form.maxCaptured());
}

QTEST_MAIN(TestTPSCal)
#include "tst_tpscal.moc"
