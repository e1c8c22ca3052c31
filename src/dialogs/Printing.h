#pragma once
// Printing of the timing chart: one chart on one page, keeping its width-to-height ratio, on the
// printer chosen in the print dialog or into a PDF file.
#include <QRectF>
#include <QSize>
#include <QString>
#include <functional>

class QCustomPlot;
class QPrinter;
class QWidget;

namespace Printing {

// Where a chart of the given size lands on a printable area of the given size: as large as fits,
// width-to-height ratio kept, centred.
QRectF chartRectOnPage(const QSize &chart, const QSizeF &page);

// Draws the chart on one page of the printer (already set up), scaled to fit the printable area
// with its width-to-height ratio kept, centred. Returns false when the printer could not be
// started (the platform's printing service reports why).
bool printTimingChart(QCustomPlot *chart, QPrinter *printer);

// Writes the chart into a one-page PDF file. Returns false when the file could not be written.
bool savePdf(QCustomPlot *chart, const QString &path);

// The print dialog: shows it for the printer and returns true when the user confirmed. The
// printer comes with one copy preset. "Print to File (PDF)" of the dialog writes a PDF.
using DialogRunner = std::function<bool(QPrinter *printer, QWidget *parent)>;
bool runPrintDialog(QPrinter *printer, QWidget *parent);

// Replaces the dialog for every later print (tests); an empty runner restores the real dialog.
void setDialogRunner(DialogRunner runner);

// spPrint's work: the print dialog with one copy preset, then the chart on the chosen printer.
// Returns true when something was printed; a cancelled dialog prints nothing. runner, when
// given, replaces the dialog for this call.
bool printWithDialog(QCustomPlot *chart, QWidget *parent, const DialogRunner &runner = {});

} // namespace Printing
