// Printing of the timing chart: one page, the chart's proportions, the print dialog with one
// copy preset, "Print to File (PDF)" and a cancelled dialog that prints nothing.
#include "dialogs/Printing.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

namespace {

// A chart like the timing map: a curve of advance over engine speed with a title.
std::unique_ptr<QCustomPlot> makeChart(int w = 800, int h = 400) {
    auto chart = std::make_unique<QCustomPlot>();
    chart->setObjectName("TimingChart");
    chart->resize(w, h);
    chart->plotLayout()->insertRow(0);
    chart->plotLayout()->addElement(0, 0, new QCPTextElement(chart.get(), "Timing Map"));
    QCPGraph *g = chart->addGraph();
    for (int k = 1; k <= 70; ++k)
        g->addData(k, std::min(10 + k * 0.6, 35.0));
    chart->xAxis->setRange(0, 70);
    chart->yAxis->setRange(0, 45);
    chart->xAxis->setLabel("RPM x 100");
    chart->yAxis->setLabel("Degrees");
    chart->replot();
    return chart;
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Page objects of a PDF (the page tree node "/Type /Pages" is not one).
int pageCount(const QByteArray &pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![A-Za-z])"));
    int n = 0;
    auto it = page.globalMatch(QString::fromLatin1(pdf));
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

} // namespace

class TstPrinting : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

private slots:
    void cleanup() { Printing::setDialogRunner(nullptr); }

    void savePdfOnePage() {
        auto chart = makeChart();
        const QString path = dir.filePath("chart.pdf");
        QVERIFY(Printing::savePdf(chart.get(), path));
        const QByteArray pdf = readAll(path);
        QVERIFY(pdf.startsWith("%PDF"));
        QCOMPARE(pageCount(pdf), 1);
    }

    // The chart's drawing is on the page: far more than an empty page holds.
    void pdfHoldsTheChart() {
        auto chart = makeChart();
        const QString path = dir.filePath("drawn.pdf");
        QVERIFY(Printing::savePdf(chart.get(), path));
        const QString blank = dir.filePath("blank.pdf");
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(blank);
            QPainter p(&printer);
        }
        QVERIFY(readAll(path).size() > readAll(blank).size() + 2000);
    }

    void savePdfToUnwritablePlace() {
        auto chart = makeChart();
        QVERIFY(!Printing::savePdf(chart.get(), "/nonexistent-dir/chart.pdf"));
        QVERIFY(!Printing::savePdf(chart.get(), QString()));
        QVERIFY(!Printing::savePdf(nullptr, dir.filePath("none.pdf")));
    }

    void fitOnPage_data() {
        QTest::addColumn<QSize>("chart");
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("wide chart, tall page")
            << QSize(800, 400) << QSizeF(1000, 1400) << QRectF(0, 450, 1000, 500);
        QTest::newRow("wide chart, wide page")
            << QSize(800, 400) << QSizeF(1400, 1000) << QRectF(0, 150, 1400, 700);
        QTest::newRow("tall chart")
            << QSize(300, 600) << QSizeF(1400, 1000) << QRectF(450, 0, 500, 1000);
        QTest::newRow("same ratio")
            << QSize(400, 300) << QSizeF(800, 600) << QRectF(0, 0, 800, 600);
        QTest::newRow("empty chart") << QSize(0, 0) << QSizeF(800, 600) << QRectF();
    }
    void fitOnPage() {
        QFETCH(QSize, chart);
        QFETCH(QSizeF, page);
        QFETCH(QRectF, rect);
        QCOMPARE(Printing::chartRectOnPage(chart, page), rect);
    }

    // The dialog sees one copy; confirming "Print to File (PDF)" writes the chart on one page.
    void dialogConfirmedPrintsOnePage() {
        auto chart = makeChart();
        const QString path = dir.filePath("dialog.pdf");
        int copies = -1;
        int shown = 0;
        const bool printed =
            Printing::printWithDialog(chart.get(), nullptr, [&](QPrinter *printer, QWidget *) {
                ++shown;
                copies = printer->copyCount();
                printer->setOutputFormat(QPrinter::PdfFormat);
                printer->setOutputFileName(path);
                return true;
            });
        QVERIFY(printed);
        QCOMPARE(shown, 1);
        QCOMPARE(copies, 1);
        QCOMPARE(pageCount(readAll(path)), 1);
    }

    void dialogCancelledPrintsNothing() {
        auto chart = makeChart();
        const QString path = dir.filePath("cancelled.pdf");
        const bool printed =
            Printing::printWithDialog(chart.get(), nullptr, [&](QPrinter *printer, QWidget *) {
                printer->setOutputFormat(QPrinter::PdfFormat);
                printer->setOutputFileName(path);
                return false;
            });
        QVERIFY(!printed);
        QVERIFY(!QFile::exists(path));
    }

    // The runner installed for the program replaces the dialog of spPrint.
    void installedRunnerIsUsed() {
        auto chart = makeChart();
        int shown = 0;
        Printing::setDialogRunner([&](QPrinter *, QWidget *) {
            ++shown;
            return false;
        });
        QVERIFY(!Printing::printWithDialog(chart.get(), nullptr));
        QCOMPARE(shown, 1);
    }

    // The real print dialog, cancelled with Escape, prints nothing.
    void realDialogCancelled() {
        auto chart = makeChart();
        bool sawDialog = false;
        int copies = -1;
        QTimer::singleShot(200, [&] {
            auto *dlg = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            if (!dlg) return;
            sawDialog = true;
            copies = dlg->printer()->copyCount();
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
        QVERIFY(!Printing::printWithDialog(chart.get(), nullptr));
        QVERIFY(sawDialog);
        QCOMPARE(copies, 1);
    }
};

QTEST_MAIN(TstPrinting)
#include "tst_printing.moc"
