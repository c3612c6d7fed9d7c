#include "PrintingForm.h"

#include "Twips.h"

#include <QLabel>
#include <QVBoxLayout>

namespace sonavel {

namespace {
const QString kDesignedCaption = QStringLiteral("Now Printing...");
constexpr double kWidthTwips = 3600;
constexpr double kHeightTwips = 1200;
}  // namespace

PrintingForm::PrintingForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PrintingForm"));
    setWindowTitle(QStringLiteral("Printing"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_label = new QLabel(kDesignedCaption, this);
    m_label->setObjectName(QStringLiteral("labelPrinting"));
    m_label->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_label);
    resize(TwipsToPixels(kWidthTwips, kHeightTwips, this));
}

void PrintingForm::Load() {
    show();
    raise();
    activateWindow();
}

void PrintingForm::SetCaption(const QString& caption) {
    m_label->setText(caption);
}

void PrintingForm::Unload() {
    hide();
    m_label->setText(kDesignedCaption);
}

// Escape, and closing by the window manager, arrive here.
void PrintingForm::done(int result) {
    QDialog::done(result);
    m_label->setText(kDesignedCaption);
}

}  // namespace sonavel
