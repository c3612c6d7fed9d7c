#include "PrintedPages.h"

#include <gtest/gtest.h>
#include <QPrinter>
#include <QProcess>

namespace sonavel {

std::unique_ptr<QPrinter> PdfPrinter(const QString& path) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    return printer;
}

QString PdfToText(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), arguments);
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::vector<QStringList> PrintedPages(const QString& pdf) {
    std::vector<QStringList> pages;
    const QString text = PdfToText({QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    for (const QString& page : text.split(QLatin1Char('\f'))) {
        QStringList lines;
        for (const QString& line : page.split(QLatin1Char('\n'))) {
            if (!line.trimmed().isEmpty()) lines << line.trimmed();
        }
        if (!lines.isEmpty()) pages.push_back(lines);
    }
    return pages;
}

}  // namespace sonavel
