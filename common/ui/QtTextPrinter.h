#pragma once

#include "Windows.h"

#include <QString>
#include <memory>

class QPainter;
class QPrinter;

namespace sonavel {

// Lines on a QPrinter, one line height apart from the top of the printable
// area down. The program has one: the printer dialogs set it up and every
// print command prints on it.
class QtTextPrinter final : public TextPrinter {
  public:
    // The system's default printer, looked up when first needed: asking the
    // print system can take a while, and most runs never print.
    QtTextPrinter();
    // A printer set up by the caller, such as a PDF file.
    explicit QtTextPrinter(std::unique_ptr<QPrinter> device);
    ~QtTextPrinter() override;
    QtTextPrinter(const QtTextPrinter&) = delete;
    QtTextPrinter& operator=(const QtTextPrinter&) = delete;

    QPrinter& Device();

    void BeginJob(const QString& fontName, double fontSize) override;
    void PrintLine(const QString& text) override;
    void NewPage() override;
    void EndJob() override;

  private:
    std::unique_ptr<QPrinter> m_device;
    std::unique_ptr<QPainter> m_painter;
    double m_y = 0;
    double m_lineHeight = 0;
    double m_ascent = 0;
    double m_pageHeight = 0;
};

}  // namespace sonavel
