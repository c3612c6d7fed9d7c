#include "QtTextPrinter.h"

#include "RuntimeError.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

namespace sonavel {

namespace {

RuntimeError PrinterError(const QString& detail) {
    return MakeError(err::kPrinterError, detail);
}

QString Described(QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        return QStringLiteral("the file ") + printer.outputFileName();
    }
    return QStringLiteral("the printer ") + printer.printerName();
}

}  // namespace

QtTextPrinter::QtTextPrinter() = default;

QtTextPrinter::QtTextPrinter(std::unique_ptr<QPrinter> device) : m_device(std::move(device)) {}

QtTextPrinter::~QtTextPrinter() {
    if (m_painter && m_painter->isActive()) m_painter->end();
}

QPrinter& QtTextPrinter::Device() {
    if (!m_device) m_device = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_device;
}

void QtTextPrinter::BeginJob(const QString& fontName, double fontSize) {
    if (m_painter && m_painter->isActive()) {
        throw PrinterError(QStringLiteral("the printer is still busy with another job"));
    }
    QPrinter& device = Device();
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(&device)) {
        m_painter.reset();
        // Without a print system or a printer, Qt falls back to a PDF file it
        // has no name for: say so rather than name an empty file.
        const bool noPrinter =
            device.outputFormat() == QPrinter::PdfFormat && device.outputFileName().isEmpty();
        throw PrinterError(noPrinter ? QStringLiteral("no printer is set up")
                                     : Described(device) + QStringLiteral(" cannot be opened"));
    }
    QFont font(fontName);
    font.setPointSizeF(fontSize);
    m_painter->setFont(font);
    const QFontMetricsF metrics(m_painter->font(), &device);
    m_lineHeight = metrics.lineSpacing();
    m_ascent = metrics.ascent();
    // The painter's origin is the top left of the printable area.
    m_pageHeight = device.pageLayout().paintRectPixels(device.resolution()).height();
    m_y = 0;
}

void QtTextPrinter::PrintLine(const QString& text) {
    if (!m_painter || !m_painter->isActive()) {
        throw PrinterError(QStringLiteral("no print job has been started"));
    }
    // A line the page cannot hold goes to the next page rather than off the
    // paper, as a printer with wide margins would otherwise lose it.
    if (m_y > 0 && m_y + m_lineHeight > m_pageHeight) NewPage();
    QString line = text;
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (!line.isEmpty()) m_painter->drawText(QPointF(0, m_y + m_ascent), line);
    m_y += m_lineHeight;
}

void QtTextPrinter::NewPage() {
    if (!m_painter || !m_painter->isActive()) {
        throw PrinterError(QStringLiteral("no print job has been started"));
    }
    if (!m_device->newPage()) {
        throw PrinterError(Described(*m_device) + QStringLiteral(" cannot start a new page"));
    }
    m_y = 0;
}

void QtTextPrinter::EndJob() {
    // Ending a job that is no longer open is no failure: a retried end finds
    // the job already gone.
    if (!m_painter || !m_painter->isActive()) return;
    const bool sent = m_painter->end();
    m_painter.reset();
    if (!sent) throw PrinterError(Described(*m_device) + QStringLiteral(" did not take the job"));
}

}  // namespace sonavel
