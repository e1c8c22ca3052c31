// The about box and the serial-number service: the identity lines, the hidden access-code path
// with real key and mouse events, and the six parameter writes of an update.
#include "connection/Session.h"
#include "dialogs/AboutBox.h"
#include "dialogs/SerialFrm.h"
#include "link/Clock.h"
#include "link/EmuLink.h"
#include "sim/VirtualEmu.h"
#include "support/SessionState.h"
#include "widgets/Messages.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

class TstAboutBox : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<FakeClock> clock;
    std::unique_ptr<VirtualEmu> emu;
    std::unique_ptr<Session> s;
    std::unique_ptr<QWidget> mainWindow;
    std::unique_ptr<TForm2> about;
    QStringList messages;

    // The part of Connect the about box relies on: identity, texts, setup block, serial text.
    void connectEmu() {
        // The port settings of the program.
        s->port().setAllowEvents(false);
        s->port().setBaud(19200);
        s->port().setHandshaking(hsNone);
        s->port().setResponseTime(100);
        s->port().setShowErrors(false);
        s->port().setEndOfResponse(QString());
        s->port().setPort(1);
        QVERIFY(s->port().Open());
        s->link().identify(emu::link::WaitIdentifyConnect, [this](const EmuLink::Reply &r) {
            std::array<quint8, 7> id;
            emu::link::fillAndCopy(r.bytes, id.data(), 7, 7, false);
            s->setIdentity(id);
        });
        QCOMPARE(s->image().signature(), QString("56"));
        s->markConnected();
        const auto &id = s->image().identity;
        s->setIdentityTexts(QString::number(id[0]),
                            QString::number(id[1]) + "." + QString::number(id[2]));
        QString name;
        Capabilities caps;
        if (emu::model::modelInfo(s->image().modelCode(), &name, &caps)) {
            s->setModuleTypeName(name);
            s->addCapabilities(caps);
        }
        editImage(*s, [](EmuImage &image) { image.fillSetup(); });
        s->link().readImage([this](const EmuLink::Reply &r) {
            editImage(*s, [&r](EmuImage &image) {
                emu::link::copyReply(r.bytes, image.setup(), emu::link::SetupSize);
            });
        });
        emu->clearWritten();
    }

    QStringList memoLines() const { return about->Memo1->toPlainText().split('\n'); }

    // Alt and Ctrl pressed on the box (keys reach it through whatever has the focus).
    void holdAltCtrl(QWidget *target) {
        QTest::keyPress(target, Qt::Key_Alt, Qt::NoModifier);
        QTest::keyPress(target, Qt::Key_Control, Qt::AltModifier);
    }
    void clickSpot() {
        QTest::mouseClick(about->Image4, Qt::LeftButton, Qt::AltModifier | Qt::ControlModifier,
                          QPoint(6, 7));
    }
    void openSerialForm() {
        about->showAbout();
        holdAltCtrl(about.get());
        clickSpot();
        QVERIFY(about->Edit1->isVisible());
        QTest::keyClicks(about->Edit1, TForm2::AccessCode);
        QTest::mouseClick(about->Button2, Qt::LeftButton);
        QVERIFY(about->serialForm()->isVisible());
    }
    // Replaces a number box's text by typing, as the technician does.
    static void retype(QLineEdit *e, const QString &text) {
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        if (!text.isEmpty()) QTest::keyClicks(e, text);
    }

private slots:
    void init() {
        messages.clear();
        Messages::setHandler([this](const QString &t, Messages::Kind) { messages << t; });
        clock = std::make_unique<FakeClock>();
        s = std::make_unique<Session>(*clock);
        emu = std::make_unique<VirtualEmu>(*clock, 3);
        s->port().setDeviceFactory([this](int) { return emu->makeDevice(); });
        mainWindow = std::make_unique<QWidget>();
        mainWindow->resize(800, 600);
        mainWindow->show();
        about = std::make_unique<TForm2>(*s, mainWindow.get());
    }
    void cleanup() {
        about.reset();
        mainWindow.reset();
        s.reset();
        emu.reset();
        Messages::setHandler(nullptr);
    }

    void captionsAndControls() {
        QCOMPARE(about->windowTitle(), QString("About the EMU Interface"));
        QCOMPARE(about->Button1->text(), QString("OK"));
        QCOMPARE(about->Button2->text(), QString("OK"));
        QCOMPARE(about->Edit1->maxLength(), 16);
        QCOMPARE(about->Edit1->echoMode(), QLineEdit::Password);
        QCOMPARE(about->Image4->size(), QSize(13, 14));
        about->showAbout();
        QCOMPARE(about->Image4->geometry().bottomLeft(), QPoint(0, about->height() - 1));
        QVERIFY(!about->Edit1->isVisible());
        QVERIFY(!about->Button2->isVisible());
    }

    void memoBeforeConnect() {
        about->showAbout();
        const QStringList lines = memoLines();
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.mid(0, 4), (QStringList{"", "Model: EMU ", "Version: ", "Type: "}));
        QVERIFY(lines[4].startsWith("Serial: "));
    }

    void memoAfterConnect() {
        emu->setIdentity(QByteArray("\x01\x03\x0C\x01\x01\x05\x06", 7));
        const quint8 serial[6] = {6, 13, 100, 2, 66, 67}; // offsets 94..99
        for (int i = 0; i < 6; ++i)
            emu->setSetupByte(94 + i, serial[i]);
        connectEmu();
        about->showAbout();
        QCOMPARE(memoLines(), (QStringList{"", "Model: EMU 1", "Version: 3.12",
                                           "Type: Fuel and Timing", "Serial: AB-051299-01"}));
    }

    // The serial text is rebuilt each time the box is shown.
    void memoFollowsTheImage() {
        connectEmu();
        about->showAbout();
        about->Button1->click();
        editImage(*s, [](EmuImage &image) { image.bytes[94] = 43; });
        about->showAbout();
        QVERIFY(memoLines().at(4).contains("-42"));
    }

    void mainWindowDisabledWhileShown() {
        about->showAbout();
        QVERIFY(about->isVisible());
        QVERIFY(!mainWindow->isEnabled());
        QVERIFY(about->isEnabled()); // a window of its own, not disabled with the main window
        QTest::mouseClick(about->Button1, Qt::LeftButton);
        QVERIFY(!about->isVisible());
        QVERIFY(mainWindow->isEnabled());
    }

    void windowManagerCloseEnablesMainWindow() {
        about->showAbout();
        QVERIFY(!mainWindow->isEnabled());
        about->close();
        QVERIFY(mainWindow->isEnabled());
    }

    void accessField_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("alt");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<bool>("releaseBetween");
        QTest::addColumn<bool>("throughFocusedButton");
        QTest::addColumn<bool>("shown");
        QTest::newRow("Alt+Ctrl, connected") << true << true << true << false << false << true;
        QTest::newRow("keys seen through the focused button")
            << true << true << true << false << true << true;
        QTest::newRow("not connected") << false << true << true << false << false << false;
        QTest::newRow("Alt only") << true << true << false << false << false << false;
        QTest::newRow("Ctrl only") << true << false << true << false << false << false;
        QTest::newRow("a key released before the click")
            << true << true << true << true << false << false;
    }
    void accessField() {
        QFETCH(bool, connected);
        QFETCH(bool, alt);
        QFETCH(bool, ctrl);
        QFETCH(bool, releaseBetween);
        QFETCH(bool, throughFocusedButton);
        QFETCH(bool, shown);
        if (connected) connectEmu();
        about->showAbout();
        QVERIFY(QTest::qWaitForWindowExposed(about.get()));
        QWidget *target = about.get();
        if (throughFocusedButton) {
            about->Button1->setFocus();
            target = about->Button1;
        }
        if (alt) QTest::keyPress(target, Qt::Key_Alt);
        if (ctrl) QTest::keyPress(target, Qt::Key_Control);
        if (releaseBetween) QTest::keyRelease(target, Qt::Key_Shift);
        clickSpot();
        QCOMPARE(about->Edit1->isVisible(), shown);
        QCOMPARE(about->Button2->isVisible(), shown);
        QVERIFY(emu->written().isEmpty());
    }

    // A click elsewhere on the box does nothing, even with the keys held.
    void clickBesideTheSpot() {
        connectEmu();
        about->showAbout();
        holdAltCtrl(about.get());
        QTest::mouseClick(about.get(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(20, about->height() - 20));
        QVERIFY(!about->Edit1->isVisible());
    }

    void accessCode_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right code") << "ZKVDecant638&" << true;
        QTest::newRow("lower case") << "zkvdecant638&" << false;
        QTest::newRow("without the last character") << "ZKVDecant638" << false;
        QTest::newRow("trailing space") << "ZKVDecant638& " << false;
        QTest::newRow("longer than the field") << "ZKVDecant638&ZKVDecant" << false;
        QTest::newRow("empty") << "" << false;
    }
    void accessCode() {
        QFETCH(QString, code);
        QFETCH(bool, accepted);
        connectEmu();
        about->showAbout();
        holdAltCtrl(about.get());
        clickSpot();
        QVERIFY(about->Edit1->isVisible());
        QVERIFY(about->Edit1->hasFocus() || !about->isActiveWindow());
        QTest::keyClicks(about->Edit1, code);
        QTest::mouseClick(about->Button2, Qt::LeftButton);
        TSerialFrm *form = about->serialForm();
        QCOMPARE(form->isVisible(), accepted);
        QCOMPARE(about->Edit1->text(), QString());
        QCOMPARE(about->Edit1->isVisible(), !accepted);
        QCOMPARE(about->Button2->isVisible(), !accepted);
        QCOMPARE(about->isEnabled(), !accepted);
        QVERIFY(!mainWindow->isEnabled());
        QVERIFY(emu->written().isEmpty());
    }

    void exitGivesTheBoxBack() {
        connectEmu();
        openSerialForm();
        TSerialFrm *form = about->serialForm();
        QVERIFY(!about->isEnabled());
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QVERIFY(about->isEnabled());
        QVERIFY(!mainWindow->isEnabled());
        QTest::mouseClick(about->Button1, Qt::LeftButton);
        QVERIFY(mainWindow->isEnabled());
        QVERIFY(emu->written().isEmpty());
    }

    void serialFormShows_data() {
        QTest::addColumn<QByteArray>("bytes");  // offsets 94..99 as stored
        QTest::addColumn<QStringList>("texts"); // Edit1, Edit6, Edit2..Edit5
        QTest::newRow("example") << QByteArray("\x06\x0D\x64\x02\x42\x43", 6)
                                 << QStringList{"A", "B", "05", "12", "99", "01"};
        QTest::newRow("zero letter bytes") << QByteArray("\x01\x0B\x01\x01\x00\x00", 6)
                                           << QStringList{"A", "A", "00", "10", "00", "00"};
        QTest::newRow("digits as letters") << QByteArray("\x0B\x01\x01\x01\x32\x3A", 6)
                                           << QStringList{"1", "9", "10", "00", "00", "00"};
    }
    void serialFormShows() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, texts);
        connectEmu();
        editImage(*s, [&bytes](EmuImage &image) {
            for (int i = 0; i < 6; ++i)
                image.bytes[std::size_t(94 + i)] = quint8(bytes[i]);
        });
        openSerialForm();
        TSerialFrm *f = about->serialForm();
        QCOMPARE((QStringList{f->Edit1->text(), f->Edit6->text(), f->Edit2->text(),
                              f->Edit3->text(), f->Edit4->text(), f->Edit5->text()}),
                 texts);
        QVERIFY(!f->Button1->isEnabled());
        QCOMPARE(f->Button1->text(), QString("Update"));
        QCOMPARE(f->Button2->text(), QString("Exit"));
    }

    void updateSendsSixParameterWrites() {
        emu->setIdentity(QByteArray("\x01\x03\x0C\x01\x01\x05\x06", 7));
        connectEmu();
        const quint8 serial[6] = {2, 3, 4, 5, 66, 67}; // 01 02 03 04, "AB"
        editImage(*s, [&serial](EmuImage &image) {
            for (int i = 0; i < 6; ++i)
                image.bytes[std::size_t(94 + i)] = serial[i];
        });
        openSerialForm();
        TSerialFrm *f = about->serialForm();
        QSignalSpy status(s.get(), &Session::status);
        retype(f->Edit2, "5");
        QVERIFY(f->Button1->isEnabled());
        QTest::mouseClick(f->Button1, Qt::LeftButton);
        QVERIFY(messages.isEmpty());
        const QByteArray expected("\xF2\x62\x41"
                                  "\xF2\x63\x42"
                                  "\xF2\x5E\x05"
                                  "\xF2\x5F\x02"
                                  "\xF2\x60\x03"
                                  "\xF2\x61\x04",
                                  18);
        QCOMPARE(emu->written().toHex(' '), expected.toHex(' '));
        QCOMPARE(int(s->image().bytes[94]), 6);
        QCOMPARE(int(s->image().bytes[98]), 0x42);
        QCOMPARE(s->image().serialText(), QString("AB-050203-04"));
        // The EMU holds the same bytes.
        QCOMPARE(int(emu->setupByte(94)), 6);
        QCOMPARE(int(emu->setupByte(99)), 0x43);
        QCOMPARE(status.size(), 1);
        QCOMPARE(status[0][0].toInt(), 1);
        QCOMPARE(status[0][1].toString(), QString("EMU 1 v3.12 :: AB-050203-04"));
        QCOMPARE(memoLines(),
                 (QStringList{"Serial number updated...", "New serial number is AB-050203-04"}));
        // The form stays open.
        QVERIFY(f->isVisible());
        QVERIFY(!about->isEnabled());
    }

    void typedLettersAreUpperCase() {
        connectEmu();
        openSerialForm();
        TSerialFrm *f = about->serialForm();
        retype(f->Edit1, "x");
        retype(f->Edit6, "q");
        QCOMPARE(f->Edit1->text(), QString("X"));
        QCOMPARE(f->Edit6->text(), QString("Q"));
        QTest::mouseClick(f->Button1, Qt::LeftButton);
        QCOMPARE(emu->written().left(6), QByteArray("\xF2\x62X\xF2\x63Q", 6));
        QCOMPARE(s->image().serialText().left(3), QString("XQ-"));
    }

    // "A" shown for a zero byte goes to the EMU as "A".
    void zeroLetterWrittenAsA() {
        connectEmu();
        editImage(*s, [](EmuImage &image) { image.bytes[98] = 0; });
        openSerialForm();
        TSerialFrm *f = about->serialForm();
        QCOMPARE(f->Edit1->text(), QString("A"));
        retype(f->Edit5, "7");
        QTest::mouseClick(f->Button1, Qt::LeftButton);
        QCOMPARE(emu->written().left(3), QByteArray("\xF2\x62\x41", 3));
        QCOMPARE(int(s->image().bytes[98]), 0x42);
    }

    void zeroBecomesDoubleZero() {
        connectEmu();
        openSerialForm();
        TSerialFrm *f = about->serialForm();
        retype(f->Edit3, "0");
        QTest::mouseClick(f->Button1, Qt::LeftButton);
        QCOMPARE(f->Edit3->text(), QString("00"));
        QCOMPARE(emu->written().mid(9, 3), QByteArray("\xF2\x5F\x00", 3));
        QCOMPARE(int(s->image().bytes[95]), 1);
    }

    // A box that holds no number stops the update before anything is written.
    void badBoxWritesNothing_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty number") << "Edit4"
                                      << ""
                                      << "'' is not a valid integer value";
        QTest::newRow("empty letter") << "Edit6"
                                      << ""
                                      << "'' is not a valid serial letter: enter one letter or "
                                         "digit in each \"Cust\" box";
    }
    void badBoxWritesNothing() {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, message);
        connectEmu();
        openSerialForm();
        TSerialFrm *f = about->serialForm();
        const QByteArray before(reinterpret_cast<const char *>(s->image().bytes.data() + 94), 6);
        auto *edit = f->findChild<QLineEdit *>(box);
        QVERIFY(edit);
        retype(edit, text);
        QTest::mouseClick(f->Button1, Qt::LeftButton);
        QCOMPARE(messages, QStringList{message});
        QVERIFY(emu->written().isEmpty());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(s->image().bytes.data() + 94), 6),
                 before);
    }

    // The number boxes take digits only, so no negative or three-digit part can be typed.
    void numberBoxesTakeDigitsOnly() {
        connectEmu();
        openSerialForm();
        TSerialFrm *f = about->serialForm();
        retype(f->Edit2, "-7x123");
        QCOMPARE(f->Edit2->text(), QString("71"));
    }

    void screenshot() {
        const QString dir = qEnvironmentVariable("EMU_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("EMU_SCREENSHOT_DIR not set");
        emu->setIdentity(QByteArray("\x01\x03\x0C\x01\x01\x05\x06", 7));
        const quint8 serial[6] = {6, 13, 100, 2, 66, 67};
        for (int i = 0; i < 6; ++i)
            emu->setSetupByte(94 + i, serial[i]);
        connectEmu();
        about->showAbout();
        QVERIFY(QTest::qWaitForWindowExposed(about.get()));
        about->grab().save(QDir(dir).filePath("about_box.png"));
        holdAltCtrl(about.get());
        clickSpot();
        about->grab().save(QDir(dir).filePath("about_box_code.png"));
        QTest::keyClicks(about->Edit1, TForm2::AccessCode);
        QTest::mouseClick(about->Button2, Qt::LeftButton);
        about->serialForm()->grab().save(QDir(dir).filePath("serial_form.png"));
    }
};

QTEST_MAIN(TstAboutBox)
#include "tst_aboutbox.moc"
