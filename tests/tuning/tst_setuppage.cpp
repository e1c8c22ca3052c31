// The Setup tab against the virtual EMU: what each editor puts on the wire and into the image.
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"
#include "sim/VirtualEmu.h"
#include "support/SessionState.h"
#include "tuning/SetupPage.h"
#include "tuning/SetupRadioGroup.h"
#include "widgets/Autosize.h"
#include "widgets/Messages.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

#include <memory>

namespace {

QByteArray hex(const char *text) {
    return QByteArray::fromHex(text);
}

struct Rig {
    FakeClock clock;
    VirtualEmu emu{clock, 3};
    Session s{clock};
    SetupPage page{s};
    Rig() {
        s.port().setDeviceFactory([this](int) { return emu.makeDevice(); });
        page.resize(1400, 900);
        page.show();
    }
    QLineEdit *edit(const char *name) {
        auto *e = page.findChild<QLineEdit *>(QLatin1String(name));
        if (!e) qFatal("no edit %s", name);
        return e;
    }
    template <class T> T *get(const char *name) {
        auto *w = page.findChild<T *>(QLatin1String(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    // What a loaded setup looks like: every field set to a sensible value.
    void baseline() {
        EmuImage image = s.image();
        auto &b = image.bytes;
        for (int i = 0; i < EmuImage::SetupSize; ++i)
            b[i] = 1;
        b[0] = 11;  // timing sensor 10
        b[1] = 37;  // gear teeth 36
        b[5] = 3;   // TPS sensor active
        b[6] = 3;   // water temp active
        b[7] = 2;   // air temp off
        b[8] = 3;   // lambda active
        b[9] = 2;   // map sensor off
        b[10] = 46; // lambda 0.45 V
        b[12] = 11; // control delay 10
        b[13] = 11;
        b[23] = 6;  // map pump sensitivity 5
        b[24] = 4;  // map pump enrichment 3 -> 30 %
        b[25] = 21; // map pump max 20 -> 2000 RPM
        b[26] = 6;
        b[27] = 4;
        b[28] = 21;
        b[29] = 2;  // output 1 source RPM
        b[30] = 11; // 1000 RPM
        b[31] = 46; // 4500 RPM
        b[32] = 1;  // output 2 source None
        b[37] = 2;  // accelerator pump Map
        b[40] = 31; // 0.3 bar
        b[41] = 81; // 0.8 bar
        b[80] = 5;  // 4 cylinders
        b[81] = 71; // 7000 RPM
        b[82] = 21; // 10 ms
        b[83] = 11; // 100 kPa
        b[84] = 61; // 6000 RPM
        b[86] = 2;  // wasted spark
        s.loadImage(image);
    }
    // Setup bytes as a load would leave them (nothing sent).
    void setBytes(std::initializer_list<std::pair<int, int>> bytes) {
        editImage(s, [&bytes](EmuImage &image) {
            for (auto [offset, b] : bytes)
                image.bytes[std::size_t(offset)] = quint8(b);
        });
    }
    void enablePanels() {
        page.setSetupPanelsEnabled(true);
        page.setPumpPanelEnabled(true);
    }
    void arm() {
        s.enableEditing();
        enablePanels();
    }
    // Loads the baseline silently (flag clear) and arms the editors, forgetting the sends of
    // the radio groups.
    void loadAndArm() {
        baseline();
        page.decodeSetup();
        arm();
        emu.clearWritten();
    }
    QByteArray sent() const { return emu.written(); }
};

// A real click, after scrolling the control into view as a user would: on the indicator of a
// check box or radio button (their label may be much narrower than the row).
void click(QWidget *w) {
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget())
        if (auto *area = qobject_cast<QScrollArea *>(p)) {
            area->ensureWidgetVisible(w);
            break;
        }
    const bool indicator = qobject_cast<QCheckBox *>(w) || qobject_cast<QRadioButton *>(w);
    QTest::mouseClick(w, Qt::LeftButton, {},
                      indicator ? QPoint(8, w->height() / 2) : w->rect().center());
}

// One change of the whole text, as a paste over a selection makes it.
void paste(QLineEdit *e, const QString &text) {
    e->setFocus();
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
}

} // namespace

class TestSetupPage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlsCarryTheirNamesAndCaptions_data();
    void controlsCarryTheirNamesAndCaptions();
    void sliderCaptionsShowWhole();
    void editorsDoNotOverlap();
    void panelsStartDisabled();

    void typingCylindersSendsEveryValidKeystroke();
    void nothingIsSentWhileEditingIsDisabled();
    void conversionErrorsSendNothing_data();
    void conversionErrorsSendNothing();
    void limiterBoundFollowsTheRpmRange();
    void outputLimitsFollowTheirSource();
    void familyBResetsToZero_data();
    void familyBResetsToZero();
    void thresholdsReachTheSession();
    void familyCIsQuiet();
    void calibrationEditsRejectValuesThatDoNotFitAByte();
    void radioGroupsSendWithoutTheFlag_data();
    void radioGroupsSendWithoutTheFlag();
    void pumpTrackBarTopIsTheLargestValue();
    void lambdaTargetTrackBar();
    void sensorBoxesToggleCalibrate();
    void calibrationEditRevealedByItsButton();
    void vehicleBoxesKeepTheImageInStep();
    void everyFieldThroughItsEditor_data();
    void everyFieldThroughItsEditor();

    void decodeShowsFields_data();
    void decodeShowsFields();
    void decodeRadioGroups_data();
    void decodeRadioGroups();
    void decodeWithFlagClearSendsOnlyRadioSelections();
    void decodeWithFlagSetSendsChangedFields();
    void decodeSetsSessionWorkingValues();
    void decodePumpTrackBars();
    void refreshAfterWriteDropsTheRpmDefault();
    void refillAfterDiscardRestoresTheBlock();
    void calibrateButtonsOnConnect();

private:
    std::unique_ptr<Rig> r;
    QStringList messages;
};

void TestSetupPage::initTestCase() {
    // The offscreen platform warns about every window that is shown; nothing to see there.
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (!text.contains(QLatin1String("propagateSizeHints"))) previous(type, context, text);
        });
    Messages::setHandler([this](const QString &text, Messages::Kind) { messages << text; });
}

void TestSetupPage::init() {
    messages.clear();
    r = std::make_unique<Rig>();
    QVERIFY(QTest::qWaitForWindowExposed(&r->page));
}

void TestSetupPage::cleanup() {
    r.reset();
}

// ---------------------------------------------------------------------------------------------

void TestSetupPage::controlsCarryTheirNamesAndCaptions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char *rows[][2] = {
        {"Edit9", "Vehicle Make"},
        {"Edit10", "Vehicle Model"},
        {"Edit11", "Engine Type"},
        {"Edit6", "EMU Version"},
        {"Edit7", "EMU Model"},
        {"Edit8", "EMU Frimware Release"},
        {"Edit18", "EMU Type"},
        {"Edit12", "Cylinders"},
        {"Edit13", "RPM Range"},
        {"Edit14", "Coil Time (ms)"},
        {"Edit15", "Map Sensor (kPa x10)"},
        {"Edit20", "RPM Limiter"},
        {"Edit100", "Timing Sensor °BTDC"},
        {"Edit34", "Gear Teeth"},
        {"Edit59", "Trailing Degrees"},
        {"Edit54", "Timing °"},
        {"Edit53", "RPM Limiter "},
        {"Edit55", "Fuel %"},
        {"Edit35", "Start enrichment "},
        {"Edit36", "Max Fueling "},
        {"Edit37", "Low throttle vacuum "},
        {"Edit38", "High throttle vacuum"},
        {"Edit57", "Fuel Cut-off Vac"},
        {"Edit41", "Fuel Cut-off RPM"},
        {"Edit56", "Fuel Cut-off TPS"},
        {"Edit39", "RPM"},
        {"Edit40", "Start %"},
        {"Edit33", "Start Prime Pulse"},
        {"Edit48", "Target Volts"},
        {"Edit49", "Control Percentage"},
        {"Edit50", "Control Delay "},
        {"Edit51", "Control Variable"},
        {"Edit16", "Min"},
        {"Edit17", "Max"},
        {"Edit1", "Min"},
        {"Edit24", "Max"},
        {"CheckBox1", "Throttle Position Sensor"},
        {"CheckBox2", "Lambda Sensor"},
        {"CheckBox3", "TDC Sensor"},
        {"CheckBox4", "Air Temp Sensor"},
        {"CheckBox5", "Map Sensor"},
        {"CheckBox6", "Water Temp Sensor"},
        {"CheckBox20", "Two Stroke"},
        {"RadioGroup2", "Accelerator Pump"},
        {"RadioGroup3", "Coil Combination"},
        {"RadioGroup4", "Tuning POT Input"},
        {"RadioButton1", "RPM"},
        {"RadioButton7", "None"},
        {"RadioButton11", "None"},
        {"RadioButton12", "Lambda"},
        {"RadioButton14", "Air Temp"},
        {"CalBtn", "Calibrate"},
        {"Button3", "Calibrate"},
        {"TrackBar4", "% Enrichment"},
        {"TrackBar5", "Max RPM"},
        {"TrackBar2", "Sensitivity"},
        {"Edit47", "% Enrichment"},
        {"Edit43", "Max RPM"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1]);
}

void TestSetupPage::controlsCarryTheirNamesAndCaptions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    auto *w = r->page.findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->accessibleName(), caption);
    if (auto *b = qobject_cast<QAbstractButton *>(w)) QCOMPARE(b->text(), caption);
    if (auto *g = qobject_cast<QGroupBox *>(w)) QCOMPARE(g->title(), caption);
}

void TestSetupPage::sliderCaptionsShowWhole() {
    // The turned captions beside the accelerator pump sliders: every letter inside the box.
    const auto labels = r->page.findChildren<TAutoSizeLabel *>();
    QVERIFY(labels.size() >= 6);
    for (TAutoSizeLabel *l : labels) {
        QFont f;
        double stretch = 1;
        QVERIFY(TAutoSizeLabel::fitFont(l->font(), l->labelText(), l->angle(), l->size(), &f,
                                        &stretch));
        const double run = QFontMetricsF(f).horizontalAdvance(l->labelText()) * stretch;
        QVERIFY2(
            run <= l->height() + 0.01,
            qPrintable(
                QString("'%1': %2 px on %3 px").arg(l->labelText()).arg(run).arg(l->height())));
        QVERIFY(l->height() >= 70); // still about as long as its slider
    }
}

void TestSetupPage::editorsDoNotOverlap() {
    r->arm();
    QList<QWidget *> controls;
    for (QWidget *w : r->page.findChildren<QWidget *>())
        if ((qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractButton *>(w) ||
             qobject_cast<QSlider *>(w)) &&
            w->isVisible())
            controls << w;
    QVERIFY(controls.size() > 60);
    for (int i = 0; i < controls.size(); ++i) {
        const QRect a(controls[i]->mapTo(&r->page, QPoint(0, 0)), controls[i]->size());
        for (int j = i + 1; j < controls.size(); ++j) {
            const QRect b(controls[j]->mapTo(&r->page, QPoint(0, 0)), controls[j]->size());
            QVERIFY2(!a.intersects(b), qPrintable(controls[i]->objectName() + " overlaps " +
                                                  controls[j]->objectName()));
        }
    }
    QCOMPARE(r->page.rtHost()->width(), 190);
}

void TestSetupPage::panelsStartDisabled() {
    for (const char *name : {"Panel2", "Panel22", "Panel19"})
        QVERIFY2(!r->get<QWidget>(name)->isEnabled(), name);
    for (const char *name : {"CalBtn", "Button1", "Button2", "Button3"})
        QVERIFY(!r->get<QPushButton>(name)->isEnabled());
    QVERIFY(!r->get<QCheckBox>("CheckBox5")->isEnabled());
    QVERIFY(r->edit("Edit18")->isReadOnly());
    r->page.setSetupPanelsEnabled(true);
    QVERIFY(r->get<QWidget>("Panel2")->isEnabled());
    QVERIFY(r->get<QWidget>("Panel22")->isEnabled());
    QVERIFY(!r->get<QWidget>("Panel19")->isEnabled());
    r->page.setPumpPanelEnabled(true);
    QVERIFY(r->get<QWidget>("Panel19")->isEnabled());
}

// ---------------------------------------------------------------------------------------------
// Editors

void TestSetupPage::typingCylindersSendsEveryValidKeystroke() {
    r->arm();
    QSignalSpy edited(&r->page, &SetupPage::setupEdited);
    QLineEdit *e = r->edit("Edit12");
    QTest::keyClicks(e, QStringLiteral("12"));
    QCOMPARE(r->sent(), hex("F25001F2500C"));
    QCOMPARE(int(r->s.image().bytes[80]), 13);
    QVERIFY(r->s.isModified());
    QCOMPARE(edited.count(), 2);
    QCOMPARE(r->page.cylinders(), 12);

    r->emu.clearWritten();
    paste(e, QStringLiteral("13"));
    QCOMPARE(e->text(), QStringLiteral("12"));
    QCOMPARE(r->sent(), hex("F2500C")); // 13 never goes out; the put-back 12 does
    QCOMPARE(int(r->s.image().bytes[80]), 13);
    QVERIFY(messages.isEmpty());
}

void TestSetupPage::nothingIsSentWhileEditingIsDisabled() {
    r->page.setSetupPanelsEnabled(true);
    r->page.setPumpPanelEnabled(true);
    r->setBytes({{80, 5}});
    QTest::keyClicks(r->edit("Edit12"), QStringLiteral("8"));
    QTest::keyClicks(r->edit("Edit35"), QStringLiteral("99"));
    QTest::keyClicks(r->edit("Edit50"), QStringLiteral("7"));
    r->get<QSlider>("TrackBar4")->setFocus();
    QTest::keyClick(r->get<QSlider>("TrackBar4"), Qt::Key_Home);
    QCOMPARE(r->sent(), QByteArray());
    QCOMPARE(int(r->s.image().bytes[80]), 5);
    QVERIFY(!r->s.isModified());
    QCOMPARE(r->edit("Edit35")->text(), QStringLiteral("99")); // not even reset
}

void TestSetupPage::conversionErrorsSendNothing_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("integer field") << "Edit12"
                                   << ""
                                   << "4x"
                                   << "'4x' is not a valid integer value";
    QTest::newRow("decimal field") << "Edit14"
                                   << ""
                                   << "1,,5"
                                   << "'1,,5' is not a valid floating point value";
    QTest::newRow("integer limiter in RPM") << "Edit20"
                                            << ""
                                            << "5.5"
                                            << "'5.5' is not a valid integer value";
    QTest::newRow("family B decimal") << "Edit37"
                                      << ""
                                      << "abc"
                                      << "'abc' is not a valid floating point value";
    QTest::newRow("launch limiter decimal entry") << "Edit53"
                                                  << ""
                                                  << "1500.5"
                                                  << "'1500.5' is not a valid integer value";
    QTest::newRow("family C empty box") << "Edit33"
                                        << "5"
                                        << ""
                                        << "'' is not a valid integer value";
    QTest::newRow("calibration text") << "Edit58"
                                      << ""
                                      << "x1"
                                      << "'x1' is not a valid integer value";
    QTest::newRow("calibration empty") << "Edit58"
                                       << "5"
                                       << ""
                                       << "";
    QTest::newRow("family A empty") << "Edit12"
                                    << "5"
                                    << ""
                                    << "";
    QTest::newRow("family B empty") << "Edit35"
                                    << "5"
                                    << ""
                                    << "";
}

void TestSetupPage::conversionErrorsSendNothing() {
    QFETCH(QString, edit);
    QFETCH(QString, before);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QLineEdit *e = r->edit(qPrintable(edit));
    e->setText(before); // flag still clear: silent
    r->arm();
    const auto image = r->s.image().bytes;
    if (text.isEmpty()) {
        e->setFocus();
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(e, Qt::Key_Delete);
        QCOMPARE(e->text(), QString());
    } else {
        paste(e, text);
    }
    QCOMPARE(r->sent(), QByteArray());
    QVERIFY(r->s.image().bytes == image);
    QCOMPARE(messages, message.isEmpty() ? QStringList() : QStringList{message});
    QVERIFY(!r->s.isModified());
}

void TestSetupPage::limiterBoundFollowsTheRpmRange() {
    r->loadAndArm(); // RPM range 7000, limiter 6000
    QLineEdit *limiter = r->edit("Edit20");
    paste(limiter, QStringLiteral("8000"));
    QCOMPARE(limiter->text(), QStringLiteral("6000"));
    QCOMPARE(r->sent(), hex("F2543C"));
    r->emu.clearWritten();
    paste(r->edit("Edit13"), QStringLiteral("9000"));
    QCOMPARE(r->sent(), hex("F2515A"));
    QCOMPARE(r->page.rpmRange(), 9000.0);
    r->emu.clearWritten();
    paste(limiter, QStringLiteral("8000"));
    QCOMPARE(limiter->text(), QStringLiteral("8000"));
    QCOMPARE(r->sent(), hex("F25450"));
    QCOMPARE(int(r->s.image().bytes[84]), 81);
}

void TestSetupPage::outputLimitsFollowTheirSource() {
    r->arm();
    click(r->get<QRadioButton>("RadioButton1"));
    QCOMPARE(r->sent(), hex("F21D01"));
    QCOMPARE(int(r->s.image().bytes[29]), 2);
    r->emu.clearWritten();

    QLineEdit *min = r->edit("Edit16");
    paste(min, QStringLiteral("3000"));
    QCOMPARE(r->sent(), hex("F21E1E"));
    QCOMPARE(int(r->s.image().bytes[30]), 31);
    r->emu.clearWritten();
    paste(min, QStringLiteral("20000"));
    QCOMPARE(min->text(), QStringLiteral("3000"));
    QCOMPARE(r->sent(), hex("F21E1E"));
    r->emu.clearWritten();

    // The boxes keep their text when the source changes; the next edit uses the new source.
    click(r->get<QRadioButton>("RadioButton2")); // Vacuum
    QCOMPARE(min->text(), QStringLiteral("3000"));
    paste(r->edit("Edit17"), QStringLiteral("0.8"));
    QCOMPARE(r->sent(), hex("F21D02F21F50"));
    r->emu.clearWritten();
    // 3 bar would be device value 300, which does not fit a byte: put back, not truncated.
    paste(r->edit("Edit17"), QStringLiteral("3"));
    QCOMPARE(r->edit("Edit17")->text(), QStringLiteral("0.8"));
    QCOMPARE(r->sent(), hex("F21F50"));
    r->emu.clearWritten();

    // Output 2 uses its own source (Lambda: display x 100).
    click(r->get<QRadioButton>("RadioButton12"));
    paste(r->edit("Edit24"), QStringLiteral("0.45"));
    QCOMPARE(r->sent(), hex("F22004F2222D"));
    QCOMPARE(r->page.outputSource(2), 4);
    QCOMPARE(r->page.outputMax(2), 0.45);
}

void TestSetupPage::familyBResetsToZero_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("stored");
    QTest::newRow("start enrichment 30 -> 0") << "Edit35"
                                              << "30"
                                              << "0" << hex("F22B00") << 43 << 1;
    QTest::newRow("start enrichment 2.5") << "Edit35"
                                          << "2.5"
                                          << "2.5" << hex("F22B19") << 43 << 26;
    QTest::newRow("max fueling 25") << "Edit36"
                                    << "25"
                                    << "25" << hex("F22AFA") << 42 << 251;
    QTest::newRow("fuel cut vacuum 0.45") << "Edit57"
                                          << "0.45"
                                          << "0.45" << hex("F2102D") << 16 << 46;
    QTest::newRow("fuel cut vacuum 2.6 does not fit") << "Edit57"
                                                      << "2.6"
                                                      << "0" << hex("F21000") << 16 << 1;
    QTest::newRow("launch limiter 2500") << "Edit53"
                                         << "2500"
                                         << "2500" << hex("F22E19") << 46 << 26;
    QTest::newRow("launch limiter negative") << "Edit53"
                                             << "-100"
                                             << "0" << hex("F22E00") << 46 << 1;
    QTest::newRow("idle RPM 850 rounds to even") << "Edit39"
                                                 << "850"
                                                 << "850" << hex("F22308") << 35 << 9;
    QTest::newRow("idle RPM 950 rounds to even") << "Edit39"
                                                 << "950"
                                                 << "950" << hex("F2230A") << 35 << 11;
    QTest::newRow("fuel cut RPM 10001") << "Edit41"
                                        << "10001"
                                        << "0" << hex("F20F00") << 15 << 1;
    QTest::newRow("fuel cut TPS 100") << "Edit56"
                                      << "100"
                                      << "100" << hex("F21164") << 17 << 101;
}

void TestSetupPage::familyBResetsToZero() {
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QByteArray, wire);
    QFETCH(int, offset);
    QFETCH(int, stored);
    r->arm();
    QSignalSpy edited(&r->page, &SetupPage::setupEdited);
    QLineEdit *e = r->edit(qPrintable(edit));
    paste(e, text);
    QCOMPARE(e->text(), shown);
    QCOMPARE(r->sent(), wire);
    QCOMPARE(int(r->s.image().bytes[offset]), stored);
    QVERIFY(r->s.isModified());
    QCOMPARE(edited.count(), 1);
}

void TestSetupPage::thresholdsReachTheSession() {
    r->arm();
    QSignalSpy changed(&r->s, &Session::thresholdsChanged);
    paste(r->edit("Edit37"), QStringLiteral("0.35"));
    QCOMPARE(r->sent(), hex("F22823"));
    QCOMPARE(r->s.lowThrottleVacuum(), 0.35);
    paste(r->edit("Edit38"), QStringLiteral("1.2"));
    QCOMPARE(r->s.highThrottleVacuum(), 1.2);
    QCOMPARE(changed.count(), 2);
    // A rejected entry leaves the threshold as it was until the "0" is accepted.
    paste(r->edit("Edit38"), QStringLiteral("4"));
    QCOMPARE(r->s.highThrottleVacuum(), 0.0);
    QCOMPARE(r->sent().right(3), hex("F22900"));
}

void TestSetupPage::familyCIsQuiet() {
    r->arm();
    QSignalSpy edited(&r->page, &SetupPage::setupEdited);
    QLineEdit *delay = r->edit("Edit50");
    QTest::keyClicks(delay, QStringLiteral("3"));
    QCOMPARE(delay->text(), QStringLiteral("0"));
    QCOMPARE(r->sent(), QByteArray()); // 0 is below 5 too
    delay->clear();
    messages.clear(); // the emptied box reported its conversion error
    QTest::keyClicks(delay, QStringLiteral("25"));
    // "2" is below the range and becomes "0"; the "5" then makes "05", which is accepted.
    QCOMPARE(delay->text(), QStringLiteral("05"));
    QCOMPARE(r->sent(), hex("F20C05"));
    QCOMPARE(int(r->s.image().bytes[12]), 6);

    r->emu.clearWritten();
    paste(r->edit("Edit40"), QStringLiteral("199"));
    paste(r->edit("Edit55"), QStringLiteral("200"));
    QCOMPARE(r->edit("Edit55")->text(), QStringLiteral("0"));
    QCOMPARE(r->sent(), hex("F224C7F23000"));
    // Start prime pulse 255 would store 256: rejected like any out-of-range value.
    r->emu.clearWritten();
    paste(r->edit("Edit33"), QStringLiteral("255"));
    QCOMPARE(r->sent(), hex("F20400"));
    paste(r->edit("Edit33"), QStringLiteral("254"));
    QCOMPARE(int(r->s.image().bytes[4]), 255);
    QCOMPARE(edited.count(), 0);
    QVERIFY(!r->s.isModified());
}

void TestSetupPage::calibrationEditsRejectValuesThatDoNotFitAByte() {
    r->arm();
    QLineEdit *water = r->edit("Edit52");
    QTest::keyClicks(water, QStringLiteral("12"));
    QCOMPARE(r->sent(), hex("F22C01F22C0C"));
    QCOMPARE(int(r->s.image().bytes[44]), 13);
    r->emu.clearWritten();
    for (const char *text : {"-3", "500", "255", "499"}) {
        paste(water, QLatin1String(text));
        QCOMPARE(water->text(), QStringLiteral("0"));
        QCOMPARE(r->sent(), hex("F22C00"));
        QCOMPARE(int(r->s.image().bytes[44]), 1);
        r->emu.clearWritten();
        water->setText(QStringLiteral("7"));
        r->emu.clearWritten();
    }
    paste(r->edit("Edit60"), QStringLiteral("254"));
    QCOMPARE(r->sent(), hex("F234FE"));
    QVERIFY(!r->s.isModified());
}

void TestSetupPage::radioGroupsSendWithoutTheFlag_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("item");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("stored");
    QTest::newRow("Multi Coil") << "RadioGroup3" << 2 << hex("F25603") << 86 << 3;
    QTest::newRow("Single") << "RadioGroup3" << 0 << hex("F25601") << 86 << 1;
    QTest::newRow("Launch") << "RadioGroup4" << 4 << hex("F20E04") << 14 << 5;
    QTest::newRow("Off") << "RadioGroup4" << 0 << hex("F20E00") << 14 << 1;
    QTest::newRow("Both") << "RadioGroup2" << 3 << hex("F22503") << 37 << 4;
}

void TestSetupPage::radioGroupsSendWithoutTheFlag() {
    QFETCH(QString, group);
    QFETCH(int, item);
    QFETCH(QByteArray, wire);
    QFETCH(int, offset);
    QFETCH(int, stored);
    r->page.setSetupPanelsEnabled(true);
    r->page.setPumpPanelEnabled(true);
    auto *g = r->get<SetupRadioGroup>(qPrintable(group));
    click(g->button(item));
    QCOMPARE(g->itemIndex(), item);
    QCOMPARE(r->sent(), wire);
    QCOMPARE(int(r->s.image().bytes[offset]), stored);
    // Clicking the selected item again changes nothing.
    click(g->button(item));
    QCOMPARE(r->sent(), wire);
    QVERIFY(!r->s.isModified());
}

void TestSetupPage::pumpTrackBarTopIsTheLargestValue() {
    r->arm();
    auto *bar = r->get<QSlider>("TrackBar4");
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Home);
    QCOMPARE(bar->value(), 1);
    QCOMPARE(r->edit("Edit47")->text(), QStringLiteral("100"));
    QCOMPARE(r->sent(), hex("F2180A"));
    QCOMPARE(int(r->s.image().bytes[24]), 11);
    // Down moves away from the top: smaller values.
    r->emu.clearWritten();
    QTest::keyClick(bar, Qt::Key_Down);
    QCOMPARE(r->edit("Edit47")->text(), QStringLiteral("90"));
    QCOMPARE(r->sent(), hex("F21809"));
    auto *rpm = r->get<QSlider>("TrackBar6");
    rpm->setFocus();
    r->emu.clearWritten();
    QTest::keyClick(rpm, Qt::Key_Home);
    QCOMPARE(r->edit("Edit43")->text(), QStringLiteral("4000"));
    QCOMPARE(r->sent(), hex("F21C28"));
    QVERIFY(!r->s.isModified());
}

void TestSetupPage::lambdaTargetTrackBar() {
    r->loadAndArm(); // 0.45 V
    QSignalSpy moved(&r->s, &Session::lambdaTargetChanged);
    QSignalSpy focus(&r->page, &SetupPage::lambdaTargetFocusChanged);
    auto *bar = r->get<QSlider>("TrackBar7");
    bar->setFocus();
    QCOMPARE(focus.count(), 1);
    QCOMPARE(focus.at(0).at(0).toBool(), true);
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(r->sent(), hex("F20A2E"));
    QCOMPARE(int(r->s.image().bytes[10]), 47);
    QCOMPARE(r->s.lambdaTarget(), 0.46);
    QCOMPARE(r->edit("Edit48")->text(), QStringLiteral("0.46"));
    QCOMPARE(moved.count(), 1);
    QVERIFY(r->s.isModified());
    r->edit("Edit49")->setFocus();
    QCOMPARE(focus.count(), 2);
    QCOMPARE(focus.at(1).at(0).toBool(), false);
}

void TestSetupPage::sensorBoxesToggleCalibrate() {
    r->s.markConnected();
    r->loadAndArm(); // map sensor off
    auto *map = r->get<QCheckBox>("CheckBox5");
    auto *cal = r->get<QPushButton>("Button3");
    QVERIFY(map->isEnabled());
    QVERIFY(!map->isChecked());
    click(map);
    QCOMPARE(r->sent(), hex("F20902"));
    QCOMPARE(int(r->s.image().bytes[9]), 3);
    QVERIFY(cal->isEnabled());
    r->emu.clearWritten();
    click(map);
    QCOMPARE(r->sent(), hex("F20901"));
    QCOMPARE(int(r->s.image().bytes[9]), 2);
    QVERIFY(!cal->isEnabled());

    r->emu.clearWritten();
    auto *two = r->get<QCheckBox>("CheckBox20");
    click(two);
    QCOMPARE(r->sent(), hex("F23102"));
    QVERIFY(r->s.twoStroke());
    // A check box changed by code runs its handler like a click.
    r->emu.clearWritten();
    r->get<QCheckBox>("CheckBox3")->setChecked(true);
    QCOMPARE(r->sent(), hex("F22D02"));
    QVERIFY(!r->s.isModified());
}

void TestSetupPage::calibrationEditRevealedByItsButton() {
    r->s.markConnected();
    r->baseline();
    r->setBytes({{44, 21}});
    r->page.decodeSetup();
    r->arm();
    r->page.updateCalibrateButtons();
    auto *button = r->get<QPushButton>("Button1");
    QLineEdit *cal = r->edit("Edit52");
    QVERIFY(button->isEnabled()); // water sensor active
    QVERIFY(!cal->isVisible());
    QCOMPARE(cal->text(), QStringLiteral("20"));
    click(button);
    QVERIFY(cal->isVisible());
    QTRY_VERIFY(cal->hasFocus());
    r->edit("Edit12")->setFocus();
    QTRY_VERIFY(!cal->isVisible());
    QVERIFY(button->isVisible());
    QSignalSpy tps(&r->page, &SetupPage::calibrateTpsRequested);
    click(r->get<QPushButton>("CalBtn"));
    QCOMPARE(tps.count(), 1);
}

void TestSetupPage::vehicleBoxesKeepTheImageInStep() {
    QLineEdit *make = r->edit("Edit9");
    QTest::keyClicks(make, QStringLiteral("A very long make name 12345"));
    QCOMPARE(make->text(), QStringLiteral("A very long make n"));
    QCOMPARE(r->s.image().vehicleMake, QStringLiteral("A very long make n"));
    // What a file cannot show as it is (a separator, an invisible direction override or
    // zero-width space) is refused as it is typed.
    for (const QChar c : QStringLiteral("ab~\u202Ec\u200Bd"))
        QTest::sendKeyEvent(QTest::Click, r->edit("Edit10"), Qt::Key_unknown, QString(c),
                            Qt::NoModifier);
    QCOMPARE(r->s.image().vehicleModel, QStringLiteral("abcd"));
    r->s.setVehicleText(&EmuImage::vehicleModel, QStringLiteral("Model X"));
    r->s.setVehicleText(&EmuImage::engineType, QStringLiteral("1.6 16V"));
    r->page.showVehicleInfo();
    QCOMPARE(r->edit("Edit10")->text(), QStringLiteral("Model X"));
    QCOMPARE(r->edit("Edit11")->text(), QStringLiteral("1.6 16V"));
    QCOMPARE(r->s.image().vehicleMake, QStringLiteral("A very long make n"));
    QCOMPARE(r->sent(), QByteArray());

    r->s.setIdentity({1, 3, 12, 0, 0, 5, 6});
    r->page.showIdentity();
    r->page.setEmuType(QStringLiteral("Fuel and Timing"));
    QCOMPARE(r->edit("Edit6")->text(), QStringLiteral("1"));
    QCOMPARE(r->edit("Edit7")->text(), QStringLiteral("3"));
    QCOMPARE(r->edit("Edit8")->text(), QStringLiteral("12"));
    QCOMPARE(r->edit("Edit18")->text(), QStringLiteral("Fuel and Timing"));
}

// Every field of the setup table through its editor, with real key presses and clicks: the edges
// of its range (and of what fits a byte) give the parameter write the table implies, or the
// field's rejection; no accepted value may leave a 0 in the block.
void TestSetupPage::everyFieldThroughItsEditor_data() {
    QTest::addColumn<int>("offset");
    for (const SetupField &f : emu::model::setupFields())
        if (f.entry != Entry::None) QTest::newRow(f.name) << f.offset;
}

void TestSetupPage::everyFieldThroughItsEditor() {
    QFETCH(int, offset);
    const SetupField &f = *emu::model::setupFieldAt(offset);
    r->loadAndArm();
    const QByteArray code(1, char(f.offset));
    auto write = [&code](int value) { return hex("F2") + code + QByteArray(1, char(value)); };
    auto expectStored = [&](int value) {
        QCOMPARE(r->sent(), write(value));
        QCOMPARE(int(r->s.image().bytes[f.offset]), value + 1);
        QVERIFY(r->s.image().bytes[f.offset] != 0);
        r->emu.clearWritten();
    };
    auto text = [](double v) { return emu::num::formatGeneral(v); };
    const QString name = QLatin1String(f.editor);

    switch (f.entry) {
    case Entry::CheckBox: {
        auto *box = r->get<QCheckBox>(f.editor);
        for (int i = 0; i < 2; ++i) {
            click(box);
            expectStored(box->isChecked() ? 2 : 1);
        }
        return;
    }
    case Entry::Radio: {
        auto *g = r->get<SetupRadioGroup>(f.editor);
        QCOMPARE(g->items(), f.items());
        for (int i = g->count() - 1; i >= 0; --i) {
            const bool was = g->itemIndex() == i;
            click(g->button(i));
            if (was) {
                QCOMPARE(r->sent(), QByteArray());
                continue;
            }
            QCOMPARE(r->sent(), write(int(f.min) + i));
            QCOMPARE(int(r->s.image().bytes[f.offset]), i + 1); // byte n is item n - 1
            r->emu.clearWritten();
        }
        return;
    }
    case Entry::SourceButtons: {
        const QStringList buttons = f.itemEditors();
        for (int c = int(buttons.size()) - 1; c >= 0; --c) {
            auto *b = r->get<QRadioButton>(qPrintable(buttons.at(c)));
            QCOMPARE(b->text(), f.items().at(c));
            const bool was = b->isChecked();
            click(b);
            if (was)
                QCOMPARE(r->sent(), QByteArray());
            else
                expectStored(c);
        }
        return;
    }
    case Entry::Slider:
    case Entry::SliderTopMax: {
        // Home takes the bar to its lowest position, End to its highest; pressing the key again
        // at the end sends nothing.
        auto *bar = r->get<QSlider>(f.editor);
        bar->setFocus();
        const bool top = f.entry == Entry::SliderTopMax;
        for (auto [key, display] : {std::pair{Qt::Key_Home, top ? f.max : f.min},
                                    std::pair{Qt::Key_End, top ? f.min : f.max}}) {
            QTest::keyClick(bar, key);
            expectStored(emu::num::roundInt(display / f.scale));
            QCOMPARE(r->edit(f.companion)->text(), text(display));
            QTest::keyClick(bar, key);
            QCOMPARE(r->sent(), QByteArray());
        }
        return;
    }
    default:
        break;
    }

    // Text boxes. The output limits are walked under the TPS source, which converts 1:1.
    if (f.kind == FieldKind::OutputLimit) {
        const int source = emu::model::sourceOffsetOf(f.offset);
        click(r->get<QRadioButton>(
            qPrintable(emu::model::setupFieldAt(source)->itemEditors().at(3))));
        r->emu.clearWritten();
    }
    QLineEdit *box = r->edit(f.editor);
    const double step = f.decimal() ? std::pow(10.0, -f.decimals) : 1;
    const double hi = f.boundBy == emu::model::OffRpmRange ? r->page.rpmRange() : f.max;
    QCOMPARE(f.boundBy < 0 || f.boundBy == emu::model::OffRpmRange, true);
    QList<double> edges = {f.min, f.min - step, hi, hi + step};
    const double fitting = SetupPage::MaxRawValue * f.scale;
    if (fitting < hi) edges << fitting << fitting + step;
    double last = 0;
    for (double v : edges) {
        // Start from an empty box, so that every entry is a change of the text.
        {
            const QSignalBlocker quiet(box);
            box->clear();
        }
        r->emu.clearWritten();
        paste(box, text(v));
        const int raw = int(std::nearbyint(v / f.scale));
        const QByteArray tag = name.toLatin1() + " <- " + text(v).toLatin1();
        if (v >= f.min && v <= hi && raw <= SetupPage::MaxRawValue) {
            QVERIFY2(box->text() == text(v), tag);
            QVERIFY2(r->sent() == write(raw), tag);
            expectStored(raw);
            last = v;
        } else if (f.entry == Entry::PutBack || f.entry == Entry::PutBackStored) {
            QVERIFY2(box->text() == text(last), tag);
            QVERIFY2(r->sent() == write(int(std::nearbyint(last / f.scale))), tag);
        } else {
            QVERIFY2(box->text() == QStringLiteral("0"), tag);
            QVERIFY2(r->sent() == (f.min <= 0 ? write(0) : QByteArray()), tag);
        }
    }
    QVERIFY(messages.isEmpty());
    // An unscaled range must stop where the stored byte still fits (no 255 or 499).
    if (f.scale == 1 && f.kind == FieldKind::Number) QVERIFY(hi <= SetupPage::MaxRawValue);
}

// ---------------------------------------------------------------------------------------------
// Decoding

void TestSetupPage::decodeShowsFields_data() {
    QTest::addColumn<QList<int>>("bytes"); // offset, byte pairs over the baseline
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("shown"); // "" = disabled
    QTest::newRow("RPM range byte 1 -> 7000") << QList<int>{81, 1} << "Edit13"
                                              << "7000";
    QTest::newRow("RPM range byte 71") << QList<int>{81, 71} << "Edit13"
                                       << "7000";
    QTest::newRow("RPM range byte 91") << QList<int>{81, 91} << "Edit13"
                                       << "9000";
    QTest::newRow("RPM range unset") << QList<int>{81, 255} << "Edit13"
                                     << "";
    QTest::newRow("coil time byte 21") << QList<int>{82, 21} << "Edit14"
                                       << "10";
    QTest::newRow("coil time byte 22") << QList<int>{82, 22} << "Edit14"
                                       << "10.5";
    QTest::newRow("cylinders unset") << QList<int>{80, 255} << "Edit12"
                                     << "";
    QTest::newRow("output RPM limit 46") << QList<int>{29, 2, 31, 46} << "Edit17"
                                         << "4500";
    QTest::newRow("output vacuum limit 81") << QList<int>{29, 3, 30, 81} << "Edit16"
                                            << "0.8";
    QTest::newRow("output 2 lambda limit 46") << QList<int>{32, 5, 34, 46} << "Edit24"
                                              << "0.45";
    QTest::newRow("output source None forces 0") << QList<int>{32, 1, 33, 46} << "Edit1"
                                                 << "0";
    QTest::newRow("output limit unset") << QList<int>{29, 2, 31, 255} << "Edit17"
                                        << "";
    QTest::newRow("low vacuum byte 1 -> 0.1") << QList<int>{40, 1} << "Edit37"
                                              << "0.1";
    QTest::newRow("low vacuum byte 31") << QList<int>{40, 31} << "Edit37"
                                        << "0.3";
    QTest::newRow("high vacuum byte 1 -> 0.9") << QList<int>{41, 1} << "Edit38"
                                               << "0.9";
    QTest::newRow("high vacuum unset") << QList<int>{41, 255} << "Edit38"
                                       << "";
    QTest::newRow("start enrichment 26") << QList<int>{43, 26} << "Edit35"
                                         << "2.5";
    QTest::newRow("fuel cut vacuum 46") << QList<int>{16, 46} << "Edit57"
                                        << "0.45";
    QTest::newRow("launch RPM 41") << QList<int>{46, 41} << "Edit53"
                                   << "4000";
    QTest::newRow("launch timing unset") << QList<int>{47, 255} << "Edit54"
                                         << "";
    QTest::newRow("lambda target 46") << QList<int>{10, 46} << "Edit48"
                                      << "0.45";
    QTest::newRow("lambda target unset") << QList<int>{10, 255} << "Edit48"
                                         << "";
    QTest::newRow("control delay unset") << QList<int>{12, 255} << "Edit50"
                                         << "";
    QTest::newRow("trailing degrees") << QList<int>{51, 16} << "Edit59"
                                      << "15";
    QTest::newRow("calibration unset shows 254") << QList<int>{50, 255} << "Edit58"
                                                 << "254";
    QTest::newRow("short reply byte 48") << QList<int>{80, 48} << "Edit12"
                                         << "47";
}

void TestSetupPage::decodeShowsFields() {
    QFETCH(QList<int>, bytes);
    QFETCH(QString, edit);
    QFETCH(QString, shown);
    r->enablePanels();
    r->baseline();
    for (int i = 0; i + 1 < bytes.size(); i += 2)
        r->setBytes({{bytes[i], bytes[i + 1]}});
    r->page.decodeSetup();
    QLineEdit *e = r->edit(qPrintable(edit));
    if (shown.isEmpty()) {
        QVERIFY(!e->isEnabled());
    } else {
        QVERIFY(e->isEnabled());
        QCOMPARE(e->text(), shown);
    }
}

void TestSetupPage::decodeRadioGroups_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("item"); // -2: disabled
    QTest::newRow("coil byte 0 -> Single") << "RadioGroup3" << 86 << 0 << 0;
    QTest::newRow("coil byte 1 -> Single") << "RadioGroup3" << 86 << 1 << 0;
    QTest::newRow("coil byte 3 -> Multi Coil") << "RadioGroup3" << 86 << 3 << 2;
    QTest::newRow("coil unset") << "RadioGroup3" << 86 << 255 << -2;
    QTest::newRow("pot byte 5 -> Launch") << "RadioGroup4" << 14 << 5 << 4;
    QTest::newRow("pot byte 0 -> Off") << "RadioGroup4" << 14 << 0 << 0;
    QTest::newRow("pump byte 4 -> Both") << "RadioGroup2" << 37 << 4 << 3;
    QTest::newRow("pump beyond the items") << "RadioGroup2" << 37 << 48 << -1;
    QTest::newRow("pump unset") << "RadioGroup2" << 37 << 255 << -2;
}

void TestSetupPage::decodeRadioGroups() {
    QFETCH(QString, group);
    QFETCH(int, offset);
    QFETCH(int, byte);
    QFETCH(int, item);
    r->enablePanels();
    r->baseline();
    r->setBytes({{offset, byte}});
    r->page.decodeSetup();
    auto *g = r->get<SetupRadioGroup>(qPrintable(group));
    if (item == -2) {
        QVERIFY(!g->isEnabled());
    } else {
        QVERIFY(g->isEnabled());
        QCOMPARE(g->itemIndex(), item);
    }
}

void TestSetupPage::decodeWithFlagClearSendsOnlyRadioSelections() {
    r->baseline();
    r->page.decodeSetup();
    // Output 1 RPM, output 2 None, Wasted Spark, POT Off, pump Map: nothing else.
    QCOMPARE(r->sent(), hex("F21D01F22000F25602F20E00F22501"));
    QCOMPARE(r->edit("Edit12")->text(), QStringLiteral("4"));
    QVERIFY(!r->s.isModified());
    r->emu.clearWritten();
    r->page.decodeSetup();
    QCOMPARE(r->sent(), QByteArray()); // nothing changed
    // A source the program has no button for leaves none checked and sends nothing.
    r->setBytes({{29, 255}});
    r->page.decodeSetup();
    QCOMPARE(r->sent(), QByteArray());
    for (const char *b : {"RadioButton1", "RadioButton2", "RadioButton7"})
        QVERIFY(!r->get<QRadioButton>(b)->isChecked());
}

void TestSetupPage::decodeWithFlagSetSendsChangedFields() {
    r->loadAndArm();
    r->setBytes({{80, 7},    // 6 cylinders
                 {6, 2},     // water sensor now off
                 {24, 11},   // map pump enrichment 10
                 {86, 3},    // multi coil
                 {41, 71}}); // high vacuum 0.7
    r->page.decodeSetup();
    QCOMPARE(r->sent(), hex("F25006" // cylinders
                            "F20601" // water sensor
                            "F25603" // coil combination (stored byte)
                            "F2180A" // pump enrichment
                            "F22946" // high throttle vacuum
                            ));
    QVERIFY(r->s.isModified());
    QCOMPARE(int(r->s.image().bytes[86]), 3);
}

void TestSetupPage::decodeSetsSessionWorkingValues() {
    QSignalSpy thresholds(&r->s, &Session::thresholdsChanged);
    QSignalSpy lambda(&r->s, &Session::lambdaTargetChanged);
    r->baseline();
    r->setBytes({{38, 11},
                 {39, 1}, // span 0 -> minimum 0, span 100
                 {49, 3}, // two-stroke
                 {83, 16},
                 {81, 1}});
    r->page.decodeSetup();
    ConnectionController::deriveFromSetup(r->s);
    QCOMPARE(r->s.lowThrottleVacuum(), 0.3);
    QCOMPARE(r->s.highThrottleVacuum(), 0.8);
    QCOMPARE(r->s.lambdaTarget(), 0.45);
    QVERIFY(r->s.twoStroke());
    QCOMPARE(r->s.tpsMinimum(), 0);
    QCOMPARE(r->s.tpsSpan(), 100);
    QCOMPARE(r->s.rpmRange(), 7000.0);
    QCOMPARE(r->s.timingPoints(), 70);
    QCOMPARE(r->s.mapSensorRange(), 15);
    QVERIFY(thresholds.count() >= 1);
    QVERIFY(lambda.count() >= 1);
    QVERIFY(r->get<QCheckBox>("CheckBox1")->isChecked());
    QVERIFY(!r->get<QCheckBox>("CheckBox5")->isChecked());
    QVERIFY(r->get<QCheckBox>("CheckBox20")->isChecked());
    for (const char *c :
         {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5", "CheckBox6"})
        QVERIFY(r->get<QCheckBox>(c)->isEnabled());

    r->setBytes({{38, 21}, {39, 61}});
    r->page.decodeSetup();
    ConnectionController::deriveFromSetup(r->s);
    QCOMPARE(r->s.tpsMinimum(), 20);
    QCOMPARE(r->s.tpsSpan(), 60);
}

void TestSetupPage::decodePumpTrackBars() {
    r->baseline();
    r->setBytes({{24, 11},  // 10 -> top
                 {25, 255}, // unset: the bar stops at its end
                 {28, 2}}); // 1 -> bottom
    r->page.decodeSetup();
    QCOMPARE(r->get<QSlider>("TrackBar4")->value(), 1);
    QCOMPARE(r->edit("Edit47")->text(), QStringLiteral("100"));
    QCOMPARE(r->get<QSlider>("TrackBar5")->value(), 1);
    QCOMPARE(r->get<QSlider>("TrackBar6")->value(), 40);
    QCOMPARE(r->edit("Edit43")->text(), QStringLiteral("100"));
    QCOMPARE(r->get<QSlider>("TrackBar3")->value(), 6); // sensitivity 5
    QCOMPARE(r->edit("Edit46")->text(), QStringLiteral("5"));
}

void TestSetupPage::refreshAfterWriteDropsTheRpmDefault() {
    r->baseline();
    r->setBytes({{81, 1}});
    r->page.decodeSetup();
    QCOMPARE(r->edit("Edit13")->text(), QStringLiteral("7000"));
    r->arm();
    r->emu.clearWritten();
    r->page.refreshAfterWrite();
    QCOMPARE(r->edit("Edit13")->text(), QStringLiteral("0"));
    QCOMPARE(r->sent(), hex("F25100"));
    QCOMPARE(r->page.rpmRange(), 0.0);

    // Other fields follow the block too; unchanged ones send nothing.
    r->emu.clearWritten();
    r->setBytes({{1, 61},     // gear teeth 60
                 {84, 255}}); // limiter unset
    r->page.refreshAfterWrite();
    QCOMPARE(r->sent(), hex("F2013C"));
    QVERIFY(!r->edit("Edit20")->isEnabled());
}

void TestSetupPage::refillAfterDiscardRestoresTheBlock() {
    r->baseline();
    r->page.decodeSetup();
    r->emu.clearWritten();
    // Entries made while editing is off never reach the block.
    r->page.setSetupPanelsEnabled(true);
    paste(r->edit("Edit12"), QStringLiteral("9"));
    paste(r->edit("Edit16"), QStringLiteral("77"));
    r->page.refillAfterDiscard();
    QCOMPARE(r->edit("Edit12")->text(), QStringLiteral("4"));
    QCOMPARE(r->edit("Edit16")->text(), QStringLiteral("1000"));
    QCOMPARE(r->sent(), QByteArray());
}

void TestSetupPage::calibrateButtonsOnConnect() {
    r->baseline();
    r->page.decodeSetup();
    r->page.updateCalibrateButtons(); // not connected: stay disabled
    QVERIFY(!r->get<QPushButton>("CalBtn")->isEnabled());
    r->s.markConnected();
    r->page.updateCalibrateButtons();
    QVERIFY(r->get<QPushButton>("CalBtn")->isEnabled());  // TPS active
    QVERIFY(r->get<QPushButton>("Button1")->isEnabled()); // water active
    QVERIFY(!r->get<QPushButton>("Button2")->isEnabled());
    QVERIFY(!r->get<QPushButton>("Button3")->isEnabled());
}

QTEST_MAIN(TestSetupPage)
#include "tst_setuppage.moc"
