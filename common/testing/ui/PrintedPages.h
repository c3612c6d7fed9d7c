#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QPrinter;

namespace sonavel {

// A printer whose pages go to a PDF file, for reading back what was printed.
std::unique_ptr<QPrinter> PdfPrinter(const QString& path);

// pdftotext's output for the arguments; a failed run fails the test.
QString PdfToText(const QStringList& arguments);

// The printed pages as pdftotext lays them out, each as its lines without the
// blanks around them; empty lines left out.
std::vector<QStringList> PrintedPages(const QString& pdf);

}  // namespace sonavel
