// Setup files: the writer's exact text, the reader's tolerance and refusals, round trips through
// the table write stream for every model code, and saving that never leaves a broken file.
#include "connection/SetupFile.h"
#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "model/Maps.h"
#include "model/TableStream.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using Identity = std::array<quint8, 7>;
using Table = std::array<quint8, 458>;
Q_DECLARE_METATYPE(Identity)

namespace {
Table sampleTable() {
    Table t{};
    for (int i = 0; i < 457; ++i)
        t[i] = quint8(i % 200 + 1);
    return t;
}

QByteArray sampleFile() {
    return SetupFile::format({1, 3, 12, 0, 0, 5, 6}, "Make", "Model", "Engine", sampleTable());
}

// Makes a folder refuse new entries, also for root (immutable flag); false when impossible.
bool setImmutable(const QString &dir, bool on) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}
} // namespace

class TstSetupFile : public QObject {
    Q_OBJECT
private slots:
    void writtenText();
    void identityLine_data();
    void identityLine();
    void emptyVehicle();
    void vehicleText_data();
    void vehicleText();
    void linesAroundSectionsIgnored();
    void lfOnlyAndNoFinalLineEnd();
    void laterSectionsReplaceEarlier();
    void malformed_data();
    void malformed();
    void applyFillsImage();
    void tableFromReply();
    void tableFromEncodedKeepsZeroBytes();
    void encoding_data();
    void encoding();
    void nonRegularFiles_data();
    void nonRegularFiles();
    void roundTrip_data();
    void roundTrip();
    void readMissingFile();
    void saveReplacesFile();
    void saveIntoMissingFolder();
    void saveIntoReadOnlyFolderKeepsOldFile();
    void fullDiskLeavesWholeFiles_data();
    void fullDiskLeavesWholeFiles();
};

void TstSetupFile::writtenText() {
    const QByteArray text = sampleFile();
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.size(), 8); // seven lines, each ended by CR LF
    QVERIFY(lines.last().isEmpty());
    for (int i = 0; i < 7; ++i)
        QVERIFY(lines[i].endsWith('\r'));
    QCOMPARE(lines[0], QByteArray("#EMU Version\r"));
    QCOMPARE(lines[1], QByteArray("13120044\r"));
    QCOMPARE(lines[2], QByteArray("#VehicleInfo\r"));
    QCOMPARE(lines[3], QByteArray("Make~Model~Engine~\r"));
    QCOMPARE(lines[4], QByteArray("#Table\r"));
    QCOMPARE(lines[5].count(','), 458);
    QCOMPARE(lines[5].count(';'), 1);
    QVERIFY(lines[5].startsWith("1,2,3,"));
    QVERIFY(lines[5].endsWith(",57,0,;\r"));
    QCOMPARE(lines[6], QByteArray("#EOF\r"));
}

void TstSetupFile::identityLine_data() {
    QTest::addColumn<Identity>("identity");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("classic") << Identity{1, 3, 12, 0, 0, 5, 6} << QByteArray("13120044");
    QTest::newRow("classic edges") << Identity{9, 0, 99, 9, 0, 4, 4} << QByteArray("90999044");
    QTest::newRow("release below 10")
        << Identity{1, 3, 5, 0, 0, 5, 6} << QByteArray("13050044:1,3,5,0,0");
    QTest::newRow("release 0") << Identity{1, 2, 0, 0, 0, 5, 6} << QByteArray("12000044:1,2,0,0,0");
    QTest::newRow("big bytes") << Identity{12, 3, 250, 0, 255, 5, 6}
                               << QByteArray("93990944:12,3,250,0,255");
    QTest::newRow("fill bytes") << Identity{48, 48, 48, 48, 48, 48, 48}
                                << QByteArray("99489944:48,48,48,48,48");
}

void TstSetupFile::identityLine() {
    QFETCH(Identity, identity);
    QFETCH(QByteArray, line);
    const QByteArray text = SetupFile::format(identity, "", "", "", Table{});
    QCOMPARE(text.split('\n').at(1), line + '\r');
    SetupFileData data;
    QString error;
    QVERIFY2(SetupFile::parse(text, &data, &error), qPrintable(error));
    const Identity expected = {
        identity[0], identity[1], identity[2], identity[3], identity[4], 4, 4};
    QCOMPARE(data.identity, expected);
}

void TstSetupFile::emptyVehicle() {
    const QByteArray text = SetupFile::format({1, 3, 12, 0, 0, 5, 6}, "", "", "", Table{});
    QCOMPARE(text.split('\n').at(3), QByteArray("~~~\r"));
    SetupFileData data;
    data.vehicleMake = "x";
    QVERIFY(SetupFile::parse(text, &data, nullptr));
    QVERIFY(data.vehicleMake.isEmpty() && data.vehicleModel.isEmpty() && data.engineType.isEmpty());
}

void TstSetupFile::vehicleText_data() {
    QTest::addColumn<QString>("make");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("readMake"); // what a written file reads back as
    QTest::addColumn<QString>("readEngine");
    QTest::newRow("plain") << "Mini"
                           << "Cooper S"
                           << "A-Series"
                           << "Mini"
                           << "A-Series";
    QTest::newRow("three full strings, 57 characters")
        << QString(18, 'a') << QString(18, 'b') << QString(18, 'c') << QString(18, 'a')
        << QString(18, 'c');
    QTest::newRow("spaces kept") << " Ford "
                                 << ""
                                 << "  "
                                 << " Ford "
                                 << "  ";
    QTest::newRow("tilde") << "A~B"
                           << "m"
                           << "e"
                           << "A-B"
                           << "e";
    QTest::newRow("line break") << "A\r\nB"
                                << "m"
                                << "e\n"
                                << "A  B"
                                << "e ";
    QTest::newRow("direction override and zero-width space dropped")
        << QString::fromUtf8("ab\u202Ecd\u200B") << "m" << QString::fromUtf8("\uFEFFe\u2066f\u2069")
        << "abcd"
        << "ef";
    QTest::newRow("latin-1") << "Citroën"
                             << "m"
                             << "Motor€"
                             << "Citroën"
                             << "Motor€";
}

void TstSetupFile::vehicleText() {
    QFETCH(QString, make);
    QFETCH(QString, model);
    QFETCH(QString, engine);
    QFETCH(QString, readMake);
    QFETCH(QString, readEngine);
    const QByteArray text = SetupFile::format({1, 3, 12, 0, 0, 5, 6}, make, model, engine, Table{});
    QCOMPARE(text.count('\n'), 7);
    SetupFileData data;
    QString error;
    QVERIFY2(SetupFile::parse(text, &data, &error), qPrintable(error));
    QCOMPARE(data.vehicleMake, readMake);
    QCOMPARE(data.engineType, readEngine);
    QCOMPARE(data.vehicleModel, SetupFile::cleanVehicleText(model));
    // Reading what was read and writing it again gives the same file.
    QCOMPARE(SetupFile::format(data.identity, data.vehicleMake, data.vehicleModel, data.engineType,
                               data.table)
                 .split('\n')
                 .at(3),
             text.split('\n').at(3));
}

void TstSetupFile::linesAroundSectionsIgnored() {
    QByteArray text = sampleFile();
    text.replace("#VehicleInfo", "between\r\n#VehicleInfo");
    text.replace("#Table", "# Table comment\r\n\r\n#Table");
    text = "first line\r\n#emu version\r\n" + text + "after\r\n#EOF\r\n";
    SetupFileData data;
    QString error;
    QVERIFY2(SetupFile::parse(text, &data, &error), qPrintable(error));
    QCOMPARE(data.identity, (Identity{1, 3, 12, 0, 0, 4, 4}));
    QCOMPARE(data.vehicleModel, QStringLiteral("Model"));
    QCOMPARE(data.table, sampleTable());
}

void TstSetupFile::lfOnlyAndNoFinalLineEnd() {
    QByteArray text = sampleFile();
    text.replace("\r\n", "\n");
    text.chop(1);
    SetupFileData data;
    QVERIFY(SetupFile::parse(text, &data, nullptr));
    QCOMPARE(data.engineType, QStringLiteral("Engine"));
    QCOMPARE(data.table, sampleTable());
}

void TstSetupFile::laterSectionsReplaceEarlier() {
    const QByteArray text =
        sampleFile() + "#VehicleInfo\r\nOther~Car~V8~\r\n#EMU Version\r\n24150044\r\n";
    SetupFileData data;
    QVERIFY(SetupFile::parse(text, &data, nullptr));
    QCOMPARE(data.vehicleMake, QStringLiteral("Other"));
    QCOMPARE(data.identity[2], quint8(15));
}

void TstSetupFile::malformed_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message"); // expected part of the error
    const QByteArray good = sampleFile();
    auto with = [&good](const char *from, const QByteArray &to) {
        QByteArray t = good;
        t.replace(from, to);
        return t;
    };
    const QByteArray tableLine = good.split('\n').at(5);
    QTest::newRow("no version section")
        << with("#EMU Version\r\n13120044\r\n", "") << "no \"#EMU Version\" section";
    QTest::newRow("empty file") << QByteArray() << "no \"#EMU Version\" section";
    QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF", 4) << "not a setup file";
    // Control characters: a NUL ended a number early, an escape reached the terminal.
    QTest::newRow("NUL inside a value") << with("1,2,3,", QByteArray("1,61\0garbage,3,", 15))
                                        << "Line 6: control character \\x00 at position 5";
    QTest::newRow("NUL between digits")
        << with("1,2,3,", QByteArray("1,1\0002,3,", 9)) << "Line 6: control character \\x00";
    QTest::newRow("escape in vehicle")
        << with("Make~", "Ma\x1b[2Jke~") << "Line 4: control character \\x1b at position 3";
    QTest::newRow("CR inside a line")
        << with("Make~", "Ma\rke~") << "Line 4: control character \\x0d at position 3";
    QTest::newRow("tab in identity") << with("13120044", "1312\t0044") << "Line 2: control";
    QTest::newRow("C1 control in UTF-8") << with("Make~", "Ma\xC2\x9B"
                                                          "ke~")
                                         << "\\x9b";
    QTest::newRow("undefined Windows-1252 byte") << with("Make~", "Ma\x81ke~") << "\\x81";
    QTest::newRow("right-to-left override in vehicle")
        << with("Make~", "Ma\xE2\x80\xAEke~") << "Line 4: invisible character U+202E at position 3";
    QTest::newRow("zero-width space in vehicle") << with("Make~", "Make\xE2\x80\x8B~") << "U+200B";
    QTest::newRow("isolate in vehicle") << with("Make~", "\xE2\x81\xA6Make~") << "U+2066";
    QTest::newRow("byte order mark inside") << with("Make~", "Ma\xEF\xBB\xBFke~") << "U+FEFF";
    QTest::newRow("no table section") << with("#Table\r\n", "") << "no \"#Table\" section";
    QTest::newRow("identity letter")
        << with("13120044", "13x20044")
        << "Line 2: identity '13x20044': 'x' is not a valid integer value";
    QTest::newRow("identity short") << with("13120044", "1312") << "Line 2: identity '1312'";
    QTest::newRow("identity widened bad")
        << with("13120044", "13120044:1,3,x,0,0")
        << "Line 2: identity byte 2: 'x' is not a valid integer value";
    QTest::newRow("identity widened four") << with("13120044", "13120044:1,3,0,0") << "Line 2:";
    QTest::newRow("version last line") << QByteArray("#EMU Version\r\n") << "Line 1:";
    QTest::newRow("table without semicolon")
        << with(",;", ",") << "Line 6: the table line does not end with ';'";
    QTest::newRow("table cut short")
        << with(tableLine, tableLine.left(300)) << "Line 6: the table line does not end with ';'";
    QTest::newRow("table 457 values")
        << with(",0,;", ",;") << "Line 6: the table holds 457 values, expected 458";
    QTest::newRow("table 458 values, no final comma")
        << with(",0,;", ",0;") << "Line 6: the table holds 457 values, expected 458 (the last, '0'";
    QTest::newRow("table 459 values")
        << with(",0,;", ",0,0,;") << "Line 6: the table holds more than 458";
    QTest::newRow("table trailing value")
        << with(",0,;", ",0,7;") << "Line 6: the table holds more than 458";
    QTest::newRow("table empty value")
        << with("1,2,3,", "1,,3,") << "Line 6: table value 1: '' is not a valid integer value";
    QTest::newRow("table word") << with("1,2,3,", "1,abc,3,")
                                << "Line 6: table value 1: 'abc' is not a valid integer value";
    QTest::newRow("table 256") << with("1,2,3,", "1,256,3,")
                               << "Line 6: table value 1: '256' is not a byte value";
    QTest::newRow("table negative") << with("1,2,3,", "1,-1,3,") << "'-1' is not a byte value";
    QTest::newRow("table marker last")
        << with("#Table\r\n" + tableLine + "\n#EOF\r\n", "#Table\r\n")
        << "Line 5: the line after \"#Table\" is missing";
}

void TstSetupFile::malformed() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    SetupFileData data;
    data.identity = {7, 7, 7, 7, 7, 7, 7};
    data.vehicleMake = "keep";
    data.table.fill(9);
    const SetupFileData before = data;
    QString error;
    QVERIFY(!SetupFile::parse(content, &data, &error));
    QVERIFY2(error.contains(message, Qt::CaseInsensitive), qPrintable(error));
    QCOMPARE(data.identity, before.identity);
    QCOMPARE(data.vehicleMake, before.vehicleMake);
    QCOMPARE(data.table, before.table);
}

// What a user typed reads back unchanged; files of older versions (Windows-1252) read as before.
void TstSetupFile::encoding_data() {
    QTest::addColumn<QString>("make");
    QTest::addColumn<QByteArray>("written"); // the make as the vehicle line holds it
    QTest::newRow("ascii") << "Mini" << QByteArray("Mini");
    QTest::newRow("Windows-1252 letter") << "Škoda" << QByteArray("\x8Akoda");
    QTest::newRow("Latin-1 letter") << "Citroën" << QByteArray("Citro\xEBn");
    QTest::newRow("euro sign") << "€uro" << QByteArray("\x80uro");
    QTest::newRow("outside Windows-1252") << "Łada Ωmega"
                                          << QByteArray("\xC5\x81"
                                                        "ada \xCE\xA9mega");
    QTest::newRow("Windows-1252 bytes that are UTF-8") << "Ã©" << QByteArray("\xC3\x83\xC2\xA9");
    QTest::newRow("emoji") << "Car 🚗" << QByteArray("Car \xF0\x9F\x9A\x97");
}

void TstSetupFile::encoding() {
    QFETCH(QString, make);
    QFETCH(QByteArray, written);
    const QByteArray text = SetupFile::format({1, 3, 12, 0, 0, 5, 6}, make, "", "", Table{});
    QCOMPARE(text.split('\n').at(3), written + "~~~\r");
    SetupFileData data;
    QString error;
    QVERIFY2(SetupFile::parse(text, &data, &error), qPrintable(error));
    QCOMPARE(data.vehicleMake, make);
}

// Only regular files are read or saved; anything else is refused promptly and left as it is.
void TstSetupFile::nonRegularFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal"); // empty: saved and read
    QTest::newRow("FIFO") << "fifo"
                          << "a FIFO";
    QTest::newRow("device") << "device"
                            << "a device";
    QTest::newRow("socket") << "socket"
                            << "a socket";
    QTest::newRow("folder") << "folder"
                            << "a folder";
    QTest::newRow("link to a FIFO") << "link to fifo"
                                    << "a FIFO";
    QTest::newRow("link to a file") << "link to file" << QString();
}

void TstSetupFile::nonRegularFiles() {
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString path = dir.filePath("x.emu"), target = dir.filePath("target");
    const QByteArray native = QFile::encodeName(kind.startsWith("link") ? target : path);
    if (kind.endsWith("fifo")) {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    } else if (kind == "device") {
        // The same device as /dev/full, made in the test folder.
        if (::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
            QSKIP("cannot make a device node here");
    } else if (kind == "socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, native.constData(), sizeof addr.sun_path);
        QVERIFY(fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
        ::close(fd);
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else {
        QVERIFY(SetupFile::write(target, "old", nullptr));
    }
    if (kind.startsWith("link")) QVERIFY(QFile::link(target, path));
    struct stat before {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &before), 0);

    QString error;
    const bool saved = SetupFile::write(path, sampleFile(), &error);
    SetupFileData data;
    QString readError;
    const bool read = SetupFile::read(path, &data, &readError);
    struct stat after {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode); // still the same kind of thing
    QCOMPARE(after.st_ino, before.st_ino);
    if (refusal.isEmpty()) {
        QVERIFY2(saved && read, qPrintable(error + readError));
        QCOMPARE(data.table, sampleTable());
        QCOMPARE(QFileInfo(path).symLinkTarget(), target); // the target got the content
        return;
    }
    QVERIFY(!saved && !read);
    QVERIFY2(error.contains("x.emu") && error.contains(refusal) && error.contains("left as it is"),
             qPrintable(error));
    QVERIFY2(readError.contains("x.emu") && readError.contains(refusal), qPrintable(readError));
}

void TstSetupFile::applyFillsImage() {
    SetupFileData data;
    QVERIFY(SetupFile::parse(sampleFile(), &data, nullptr));
    EmuImage img;
    img.bytes[EmuImage::FileTableOffset - 1] = 0x11;
    img.bytes[EmuImage::EncodedOffset] = 0x22;
    SetupFile::apply(data, img);
    QCOMPARE(img.signature(), QStringLiteral("44"));
    QCOMPARE(img.modelCode(), 3);
    QCOMPARE(img.vehicleMake, QStringLiteral("Make"));
    QCOMPARE(img.engineType, QStringLiteral("Engine"));
    QCOMPARE(img.fileTable()[0], quint8(1));
    QCOMPARE(img.fileTable()[456], quint8(57));
    QCOMPARE(img.bytes[EmuImage::FileTableOffset - 1], quint8(0x11));
    QCOMPARE(img.bytes[EmuImage::EncodedOffset], quint8(0x22));
}

void TstSetupFile::tableFromReply() {
    QByteArray reply(500, '\x05');
    Table t = SetupFile::tableFromReply(reply);
    QCOMPARE(t[456], quint8(5));
    QCOMPARE(t[457], quint8(0));
    reply[10] = '\0';
    t = SetupFile::tableFromReply(reply);
    QCOMPARE(t[9], quint8(5));
    QCOMPARE(t[10], quint8(0));
    QCOMPARE(t[11], quint8(0));
    QCOMPARE(SetupFile::tableFromReply(QByteArray()), Table{});
}

void TstSetupFile::tableFromEncodedKeepsZeroBytes() {
    QByteArray encoded(458, '\x07');
    encoded[3] = '\0';
    const Table t = SetupFile::tableFromEncoded(encoded);
    QCOMPARE(t[3], quint8(0));
    QCOMPARE(t[4], quint8(7));
    QCOMPARE(t[456], quint8(7));
    QCOMPARE(t[457], quint8(0));
}

void TstSetupFile::roundTrip_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<quint32>("seed");
    for (int model : {0, 1, 2, 3, 5, 6})
        for (quint32 seed : {1u, 2u, 3u})
            QTest::addRow("model %d seed %u", model, seed) << model << seed;
}

// Identity, vehicle, setup block and every map point survive: build the table write stream,
// save it from memory, read the file, apply it and decode as when a file is opened.
void TstSetupFile::roundTrip() {
    QFETCH(int, model);
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    Capabilities caps;
    emu::model::modelInfo(model, nullptr, &caps);

    EmuImage img;
    img.identity = {quint8(rng.bounded(10)), quint8(model), quint8(rng.bounded(256)), 0, 1, 5, 6};
    for (int i = 0; i < 101; ++i)
        img.setSetupByte(i, quint8(rng.bounded(256)));
    img.setSetupByte(emu::model::OffMainJet, 0);   // raw 255: encodes as 0
    img.setSetupByte(emu::model::OffIdleJet, 255); // unset
    img.setSetupByte(emu::model::OffRpmRange, quint8(rng.bounded(2, 120)));
    img.setSetupByte(emu::model::OffMapSensorRange, quint8(rng.bounded(0, 32)));
    const MapAxes axes = emu::model::axesFromSetup(img);
    EmuMaps maps;
    for (MapId id : emu::model::allMaps()) {
        const MapInfo &info = emu::model::mapInfo(id);
        for (int p = 1; p <= info.points; ++p)
            maps.setValue(id, p, int(rng.bounded(256)) - info.bias);
        maps.setValue(id, 1, 255 - info.bias);         // raw 255, stored byte 0
        maps.setValue(id, info.points, 0 - info.bias); // raw 0, stored byte 1
        maps.setValue(id, 2, 254 - info.bias);         // stored byte 255
    }
    const TableStream stream = emu::model::buildTableStream(img, maps, caps);
    const QByteArray text = SetupFile::format(img.identity, "Make", "Mo del", "",
                                              SetupFile::tableFromEncoded(stream.fileTable));
    QTemporaryDir dir;
    const QString path = dir.filePath("setup.emu");
    QString error;
    QVERIFY2(SetupFile::write(path, text, &error), qPrintable(error));

    SetupFileData data;
    QVERIFY2(SetupFile::read(path, &data, &error), qPrintable(error));
    EmuImage back;
    SetupFile::apply(data, back);
    back.copySetupFromFileTable();
    QCOMPARE(back.modelCode(), model);
    QCOMPARE(back.signature(), QStringLiteral("44"));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(back.identity[i], img.identity[i]);
    QCOMPARE(back.vehicleModel, QStringLiteral("Mo del"));
    for (int i = 0; i < 101; ++i)
        QCOMPARE(back.setupByte(i), img.setupByte(i));

    const MapAxes backAxes = emu::model::axesFromSetup(back);
    QCOMPARE(backAxes.timingPoints, axes.timingPoints);
    EmuMaps decoded;
    decoded.decode(back, caps, backAxes);
    for (MapId id : emu::model::allMaps()) {
        if (!emu::model::hasCapability(caps, id)) continue;
        for (int p = 1; p <= decoded.pointCount(id, backAxes); ++p) {
            // Every point comes back as the same byte on the wire; values below raw 255 come
            // back as the same number (raw 255 is stored as 0 and reads as -1 - bias).
            QCOMPARE(decoded.encode(id, p), maps.encode(id, p));
            if (maps.encode(id, p) != 255) QCOMPARE(decoded.value(id, p), maps.value(id, p));
        }
    }
    // The stream built from what was read is the stream that was saved.
    const TableStream again = emu::model::buildTableStream(back, decoded, caps);
    const int timingStart = 101, n = backAxes.timingPoints;
    for (int i = 0; i < 458; ++i) {
        const bool unreadTiming = caps.timing && i >= timingStart + n && i < timingStart + 100;
        if (!unreadTiming) QCOMPARE(again.raw.at(i), stream.raw.at(i));
    }
}

void TstSetupFile::readMissingFile() {
    QTemporaryDir dir;
    SetupFileData data;
    data.vehicleMake = "keep";
    QString error;
    QVERIFY(!SetupFile::read(dir.filePath("none.emu"), &data, &error));
    QVERIFY(error.contains("none.emu"));
    QCOMPARE(data.vehicleMake, QStringLiteral("keep"));
    QVERIFY(!SetupFile::read(dir.path(), &data, &error)); // a folder
}

void TstSetupFile::saveReplacesFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.emu");
    QVERIFY(SetupFile::write(path, "old content that is longer", nullptr));
    QVERIFY(SetupFile::write(path, sampleFile(), nullptr));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), sampleFile());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.emu"});
}

void TstSetupFile::saveIntoMissingFolder() {
    QTemporaryDir dir;
    QString error;
    QVERIFY(!SetupFile::write(dir.filePath("missing/a.emu"), sampleFile(), &error));
    QVERIFY2(error.contains("a.emu"), qPrintable(error));
    QVERIFY(!QFile::exists(dir.filePath("missing/a.emu")));
}

void TstSetupFile::saveIntoReadOnlyFolderKeepsOldFile() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("ro");
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + "/a.emu";
    QVERIFY(SetupFile::write(path, "old", nullptr));
    bool immutable = false;
    if (::geteuid() == 0) {
        immutable = setImmutable(folder, true);
        if (!immutable) QSKIP("running as root on a file system without the immutable flag");
    } else {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    QString error;
    const bool ok = SetupFile::write(path, sampleFile(), &error);
    if (immutable) setImmutable(folder, false);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!ok);
    QVERIFY2(error.contains("a.emu") && error.size() > 30, qPrintable(error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("old"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"a.emu"});
}

// A disk that fills up during a write, made by a file size limit in a child process (writes past
// it fail with "File too large"): a save keeps the old file, a log keeps its whole rows.
void TstSetupFile::fullDiskLeavesWholeFiles_data() {
    QTest::addColumn<bool>("log");
    QTest::newRow("setup file over an old one") << false;
    QTest::newRow("log rows") << true;
}

void TstSetupFile::fullDiskLeavesWholeFiles() {
    QFETCH(bool, log);
    QTemporaryDir dir;
    const QString path = dir.filePath(log ? "run.csv" : "keep.emu");
    const QByteArray old = sampleFile();
    if (!log) QVERIFY(SetupFile::write(path, old, nullptr));
    constexpr rlim_t Limit = 1000; // below the size of a setup file, some rows of a log
    int pipeFd[2];
    QVERIFY(::pipe(pipeFd) == 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(pipeFd[0]);
        const rlimit limit{Limit, Limit};
        ::signal(SIGXFSZ, SIG_IGN);
        bool ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        QString error;
        if (ok && !log) {
            ok = !SetupFile::write(path, sampleFile(), &error);
        } else if (ok) {
            LogWriter w;
            ok = w.open(path, {0, 2}, &error);
            const double values[LogChannels::Count] = {4500, 0, 0.4712345678};
            const bool present[LogChannels::Count] = {true, true, true};
            int rows = 0;
            while (ok && w.writeRow(rows * 0.05, values, present, &error))
                ++rows;
            ok = ok && rows > 10 && w.rows() == rows;
        }
        const QByteArray message = error.toUtf8();
        (void)!::write(pipeFd[1], message.constData(), size_t(message.size()));
        ::_exit(ok ? 0 : 1);
    }
    ::close(pipeFd[1]);
    QByteArray message(4096, '\0');
    const ssize_t got = ::read(pipeFd[0], message.data(), size_t(message.size()));
    message.resize(std::max<ssize_t>(0, got));
    ::close(pipeFd[0]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, message.constData());
    QVERIFY2(message.contains("File too large"), message.constData()); // the system's reason
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    if (!log) {
        QCOMPARE(content, old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.emu"});
        return;
    }
    QVERIFY(content.startsWith("time_s,rpm,vacuum_bar\n"));
    QVERIFY(content.endsWith('\n'));
    for (const QByteArray &row : content.split('\n').mid(1, content.count('\n') - 1))
        QVERIFY2(row.endsWith(",4500,0.4712345678"), row.constData());
}

QTEST_GUILESS_MAIN(TstSetupFile)
#include "tst_setupfile.moc"
