// What assistive technology sees and does: every switch acts on its state whoever changed it
// (a click, a key, the accessible press or toggle action, a program), exactly once; the live values
// are read with caption and unit; a chart reached with the keyboard shows it and takes the keys.
#include "AppRig.h"

#include "live/LivePoll.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/RTFrame.h"
#include "tuning/FuelSuggestWindow.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"
#include "tuning/SetupPage.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void switchesActOnTheirState_data();
    void switchesActOnTheirState();
    void liveValuesReadWithCaptionAndUnit_data();
    void liveValuesReadWithCaptionAndUnit();
    void chartTakesKeysWithKeyboardFocus();
    void windowTree();
};

void TestAccessibility::switchesActOnTheirState_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("how");
    for (const char *control : {"SpeedButton3", "AnalogEn", "SpeedButton1", "CheckBox20"})
        for (const char *how : {"mouse", "key", "press", "toggle", "program"})
            QTest::addRow("%s by %s", control, how) << control << how;
}

void TestAccessibility::switchesActOnTheirState() {
    QFETCH(QString, control);
    QFETCH(QString, how);
    AppRig rig;
    rig.addEmu(1);
    TForm1 &f = *rig.form;
    QVERIFY(rig.showAndSearch());
    QTest::mouseClick(f.spConnect, Qt::LeftButton);
    QVERIFY(rig.s().isConnected());

    QTemporaryDir dir;
    int asked = 0; // the logger asks once for its file per start
    DataLoggerPage *logger = f.loggerPage();
    logger->CheckBox19->setChecked(true);
    logger->setSaveFileDialog([&](QWidget *, const QString &) {
        ++asked;
        return dir.filePath(QStringLiteral("log.csv"));
    });

    auto *box = f.findChild<QAbstractButton *>(control);
    QVERIFY(box);
    if (control == QLatin1String("CheckBox20")) {
        f.AnalogEn->setChecked(false); // no live requests between the writes counted
        f.PageControl1->setCurrentIndex(0);
        for (QWidget *w = box; w; w = w->parentWidget())
            if (auto *area = qobject_cast<QScrollArea *>(w)) area->ensureWidgetVisible(box);
    }
    if (control == QLatin1String("SpeedButton1")) f.PageControl1->setCurrentWidget(f.LoggerSheet);
    const bool wanted = !box->isChecked();
    const int wiresBefore = rig.wires.size();

    if (how == QLatin1String("mouse")) {
        // On the indicator: a wide box only takes clicks on its indicator and text.
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    } else if (how == QLatin1String("key")) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
    } else if (how == QLatin1String("program")) {
        box->setChecked(wanted);
    } else {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(box);
        QVERIFY(a && a->actionInterface());
        const QString action = how == QLatin1String("press")
                                   ? QAccessibleActionInterface::pressAction()
                                   : QAccessibleActionInterface::toggleAction();
        // A checkable button lists only its toggle action; press works as on any button.
        if (how == QLatin1String("toggle"))
            QVERIFY(a->actionInterface()->actionNames().contains(action));
        a->actionInterface()->doAction(action);
    }
    QTRY_COMPARE(box->isChecked(), wanted);
    QTest::qWait(0);

    if (control == QLatin1String("SpeedButton3"))
        QCOMPARE(f.mapPages()->mouseTuning(), wanted);
    else if (control == QLatin1String("AnalogEn"))
        QCOMPARE(f.livePoll()->Timer1->isActive(), wanted);
    else if (control == QLatin1String("SpeedButton1")) {
        QCOMPARE(logger->running(), wanted);
        QCOMPARE(asked, 1);
    } else {
        QCOMPARE(rig.s().image().value(49), wanted ? 2 : 1); // two-stroke setting
        QCOMPARE(rig.wires.size() - wiresBefore, 1);         // one write for one change
    }
}

void TestAccessibility::liveValuesReadWithCaptionAndUnit_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("timing") << "Label49"
                            << "Timing"
                            << "24 degrees";
    QTest::newRow("rpm") << "Label50"
                         << "RPM"
                         << "2500 rpm";
    QTest::newRow("vacuum") << "Label51"
                            << "Vacuum"
                            << "0.5 bar";
    QTest::newRow("water") << "Label53"
                           << "Water"
                           << "90 \u00b0C";
    QTest::newRow("air") << "Label54"
                         << "Air"
                         << "25 \u00b0C";
    QTest::newRow("battery") << "Label55"
                             << "Battery"
                             << "12.6 V";
    QTest::newRow("tps") << "Label19"
                         << "TPS"
                         << "42 %";
    QTest::newRow("pot") << "Label20"
                         << "POT"
                         << "50.2 %";
    QTest::newRow("injector time") << "Label10"
                                   << "Injector time"
                                   << "3 ms";
    QTest::newRow("injector duty") << "Label13"
                                   << "Injector duty"
                                   << "15 %";
    QTest::newRow("lambda") << "Label56"
                            << "Lambda"
                            << "0.62 V";
}

void TestAccessibility::liveValuesReadWithCaptionAndUnit() {
    QFETCH(QString, label);
    QFETCH(QString, name);
    QFETCH(QString, value);
    TRT rt;
    LiveValues v;
    v.totalTiming = 24;
    v.rpm = 25;
    v.vacuum = 0.5;
    v.waterTemp = 90;
    v.airTemp = 25;
    v.battery = 126;
    v.tps = 42;
    v.pot = 50.2;
    v.injectorTime = 30;
    v.injectorDuty = 15;
    v.lambda = 62;
    rt.update(v);
    auto *l = rt.findChild<QLabel *>(label);
    QVERIFY(l);
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(l);
    QCOMPARE(a->text(QAccessible::Name), name);
    QCOMPARE(a->text(QAccessible::Value), value);
    QCOMPARE(a->text(QAccessible::Description), value);
    QVERIFY(a->valueInterface());
}

void TestAccessibility::chartTakesKeysWithKeyboardFocus() {
    AppRig rig;
    rig.addEmu(1);
    TForm1 &f = *rig.form;
    QVERIFY(rig.showAndSearch());
    QTest::mouseClick(f.spConnect, Qt::LeftButton);
    f.PageControl1->setCurrentWidget(f.TimingSheet);
    MapChart *chart = f.mapPages()->mapChart(MapPages::Timing);
    QVERIFY(chart->isEnabled());
    const QImage unfocused = chart->grab().toImage();
    chart->setFocus(Qt::TabFocusReason); // reached with Tab: the pointer is elsewhere
    QVERIFY(chart->hasFocus());
    QVERIFY(chart->grab().toImage() != unfocused); // the focus frame shows
    const double before = rig.s().maps().value(MapId::Timing, 1);
    QTest::keyClick(chart, Qt::Key_PageUp); // the whole timing map one degree up
    QCOMPARE(rig.s().maps().value(MapId::Timing, 1), before + 1);
}

// Lists what a screen reader reads for every display of the window: role, name and value.
void TestAccessibility::windowTree() {
    AppRig rig;
    rig.addEmu(1);
    TForm1 &f = *rig.form;
    QVERIFY(rig.showAndSearch());
    QTest::mouseClick(f.spConnect, Qt::LeftButton);
    f.livePoll()->tick();
    QStringList unnamed;
    const bool list = qEnvironmentVariableIsSet("EMU_A11Y_TREE");
    std::function<void(QAccessibleInterface *, int)> walk = [&](QAccessibleInterface *a,
                                                                int depth) {
        const QString name = a->text(QAccessible::Name), value = a->text(QAccessible::Value);
        const QAccessible::Role role = a->role();
        if (list)
            qInfo().noquote() << QString(depth * 2, QLatin1Char(' ')) + QString::number(role)
                              << name
                              << (value.isEmpty() ? QString() : QStringLiteral("= ") + value)
                              << a->text(QAccessible::Description);
        const bool display = role == QAccessible::ProgressBar || role == QAccessible::Dial ||
                             (a->valueInterface() != nullptr && role != QAccessible::ScrollBar);
        if (display && name.isEmpty() && a->object())
            unnamed << a->object()->objectName() + QLatin1Char('/') +
                           QString::fromLatin1(a->object()->metaObject()->className());
        for (int i = 0; i < a->childCount(); ++i)
            if (QAccessibleInterface *c = a->child(i)) walk(c, depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(&f), 0);
    f.showFuelSuggestions(); // a window of its own
    walk(QAccessible::queryAccessibleInterface(f.fuelSuggestWindow()), 0);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char(' '))));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
