// Renders the program icon, as drawn by emu::ui::programPixmap, into a hicolor icon tree:
//   OUTDIR/hicolor/NxN/apps/emutune.png for each size, and
//   OUTDIR/hicolor/scalable/apps/emutune.svg (the drawing at 512 pixels, wrapped as SVG).
// Run at build time, headless (QT_QPA_PLATFORM=offscreen).
#include "dialogs/ProgramIcon.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

namespace {

bool writeFile(const QString &path, const QByteArray &data) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit();
}

QByteArray png(const QPixmap &pm) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return pm.save(&buffer, "PNG") ? bytes : QByteArray();
}

} // namespace

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fputs("usage: render_icon OUTDIR\n", stderr);
        return 2;
    }
    const QString root = args.at(1) + QStringLiteral("/hicolor/");
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path = root + QStringLiteral("%1x%1/apps/emutune.png").arg(size);
        const QByteArray data = png(emu::ui::programPixmap(size));
        if (data.isEmpty() || !writeFile(path, data)) {
            std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(path));
            return 2;
        }
    }
    // 256 units wide, drawn at twice that so it stays sharp when a desktop scales it up.
    const QByteArray big = png(emu::ui::programPixmap(256, 2.0));
    const QByteArray svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
        "<image width=\"256\" height=\"256\" xlink:href=\"data:image/png;base64," +
        big.toBase64() + "\"/>\n</svg>\n";
    const QString svgPath = root + QStringLiteral("scalable/apps/emutune.svg");
    if (big.isEmpty() || !writeFile(svgPath, svg)) {
        std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(svgPath));
        return 2;
    }
    return 0;
}
