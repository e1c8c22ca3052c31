#include "dialogs/Printing.h"

#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <algorithm>
#include <qcustomplot.h>

namespace Printing {
namespace {

DialogRunner &installedRunner() {
    static DialogRunner runner;
    return runner;
}

// The chart's size on screen; a chart that was never laid out gets a sensible default.
QSize chartSize(const QCustomPlot *chart) {
    QSize s = chart->size();
    if (s.width() < 50 || s.height() < 50) s = QSize(800, 500);
    return s;
}

void presetOrientation(QPrinter *printer, const QSize &chart) {
    printer->setPageOrientation(chart.width() > chart.height() ? QPageLayout::Landscape
                                                               : QPageLayout::Portrait);
}

QString defaultPdfName() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty()) dir = QDir::homePath();
    return QDir(dir).filePath(QStringLiteral("timing-map.pdf"));
}

} // namespace

QRectF chartRectOnPage(const QSize &chart, const QSizeF &page) {
    if (chart.isEmpty() || page.isEmpty()) return QRectF();
    const double scale = std::min(page.width() / chart.width(), page.height() / chart.height());
    const double w = chart.width() * scale;
    const double h = chart.height() * scale;
    return QRectF((page.width() - w) / 2, (page.height() - h) / 2, w, h);
}

bool printTimingChart(QCustomPlot *chart, QPrinter *printer) {
    if (!chart || !printer) return false;
    const QSize size = chartSize(chart);
    // Device pixels of the page at the screen's resolution, so that the chart's fonts (in
    // points) keep their size relative to the chart; the output stays vector graphics.
    printer->setResolution(chart->logicalDpiY());
    QCPPainter painter;
    if (!painter.begin(printer)) return false;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);

    // The painter's origin is the top left corner of the printable area.
    const QRectF page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QRectF target = chartRectOnPage(size, page.size());
    painter.translate(target.topLeft());
    painter.scale(target.width() / size.width(), target.height() / size.height());
    chart->toPainter(&painter, size.width(), size.height());
    return painter.end();
}

bool savePdf(QCustomPlot *chart, const QString &path) {
    if (!chart || path.isEmpty()) return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(QStringLiteral("Timing Map"));
    printer.setCreator(QStringLiteral("EMU Interface"));
    presetOrientation(&printer, chartSize(chart));
    if (!printTimingChart(chart, &printer)) return false;
    return QFileInfo::exists(path);
}

bool runPrintDialog(QPrinter *printer, QWidget *parent) {
    QPrintDialog dialog(printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    dialog.setWindowTitle(QStringLiteral("Print Timing Map"));
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

void setDialogRunner(DialogRunner runner) {
    installedRunner() = std::move(runner);
}

bool printWithDialog(QCustomPlot *chart, QWidget *parent, const DialogRunner &runner) {
    if (!chart) return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Timing Map"));
    printer.setCreator(QStringLiteral("EMU Interface"));
    printer.setCopyCount(1);
    presetOrientation(&printer, chartSize(chart));
    // Without any printer the dialog offers only the file: give it a name to start from.
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(defaultPdfName());
    }
    const DialogRunner &run = runner ? runner : installedRunner();
    const bool confirmed = run ? run(&printer, parent) : runPrintDialog(&printer, parent);
    if (!confirmed) return false;
    return printTimingChart(chart, &printer);
}

} // namespace Printing
