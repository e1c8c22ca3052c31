// Replays the fuzzer's seed corpus (fuzz/corpus) and every input the fuzzer has found to break
// the setup file reader (tests/fuzz/cases) through the same round-trip property, in a normal
// build: refused with a message, or read, written and read back to the same data.
#include "SetupFileRoundTrip.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TstSetupFileFuzzCases : public QObject {
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
};

void TstSetupFileFuzzCases::replay_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("expectParsed"); // -1: either way
    const QString root = qEnvironmentVariable("EMU_SOURCE_DIR");
    QVERIFY(!root.isEmpty());
    int rows = 0;
    for (const QString &dir :
         {QStringLiteral("/fuzz/corpus"), QStringLiteral("/tests/fuzz/cases")}) {
        const QDir d(root + dir);
        for (const QString &name : d.entryList(QDir::Files, QDir::Name)) {
            // Seeds say in their name what they are; found cases may be either.
            const int parsed = name.startsWith(QLatin1String("valid"))    ? 1
                               : name.startsWith(QLatin1String("broken")) ? 0
                                                                          : -1;
            QTest::newRow(qPrintable(dir.section('/', -1) + '/' + name))
                << d.filePath(name) << parsed;
            ++rows;
        }
    }
    QVERIFY(rows >= 5);
}

void TstSetupFileFuzzCases::replay() {
    QFETCH(QString, path);
    QFETCH(int, expectParsed);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const SetupFileRoundTrip::Outcome o = SetupFileRoundTrip::check(f.readAll());
    QVERIFY2(o.failure.isEmpty(), qPrintable(o.failure));
    if (expectParsed >= 0) QCOMPARE(o.parsed, expectParsed == 1);
}

QTEST_GUILESS_MAIN(TstSetupFileFuzzCases)
#include "tst_setupfile_fuzzcases.moc"
