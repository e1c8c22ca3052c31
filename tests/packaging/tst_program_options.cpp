// --help and --version of every program: exit 0 with the usage or the project version on
// stdout, and exit 2 with a message when stdout cannot take the answer.
#include <QProcess>
#include <QtTest>

class TstProgramOptions : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
};

void TstProgramOptions::answers_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<QStringList>("expected"); // lines stdout must hold
    const QString version = QStringLiteral(EMU_VERSION);
    const QStringList tunes{QStringLiteral("--port ComN=DEVICE"), QStringLiteral("--demo"),
                            QStringLiteral("--version")};
    for (const char *program : {"emutune", "emutool", "emu-sim"}) {
        const QString name = QLatin1String(program);
        const QStringList help =
            name == QLatin1String("emutune") ? tunes
            : name == QLatin1String("emutool")
                ? QStringList{QStringLiteral("emutool info FILE.emu"),
                              QStringLiteral("emutool --help | --version")}
                : QStringList{QStringLiteral("--fault F"), QStringLiteral("--version")};
        for (const char *option : {"--help", "-h"})
            QTest::addRow("%s %s", program, option)
                << name << QString(QLatin1String(option)) << false << help;
        QTest::addRow("%s --version", program)
            << name << QStringLiteral("--version") << false << QStringList{name + ' ' + version};
        QTest::addRow("%s --version, stdout full", program)
            << name << QStringLiteral("--version") << true << QStringList{};
    }
}

void TstProgramOptions::answers() {
    QFETCH(QString, program);
    QFETCH(QString, option);
    QFETCH(bool, fullDisk);
    QFETCH(QStringList, expected);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY")); // the answers must not need a window system
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    if (fullDisk) p.setStandardOutputFile(QStringLiteral("/dev/full"));
    p.start(qEnvironmentVariable("EMU_BIN_DIR") + '/' + program, {option});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    if (fullDisk) {
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(err.contains(QLatin1String("cannot write output: ")), qPrintable(err));
        return;
    }
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(err.isEmpty(), qPrintable(err));
    for (const QString &line : expected)
        QVERIFY2(out.contains(line), qPrintable(out));
    if (option == QLatin1String("--version")) QCOMPARE(out, expected.first() + '\n');
}

QTEST_GUILESS_MAIN(TstProgramOptions)
#include "tst_program_options.moc"
