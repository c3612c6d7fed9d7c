#include "HourReportForm.h"

#include "PrintModule.h"
#include "Twips.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMenuBar>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace sonavel {

namespace {
constexpr double kReportMinWidthTwips = 5280;
constexpr double kReportMinHeightTwips = 6690;
// Wide enough for the table's columns without wrapping, tall enough for a day.
constexpr int kShownColumns = 100;
constexpr int kShownLines = 30;
}  // namespace

HourReportForm::HourReportForm(Session& session, hours::Report report, QWidget* parent)
    : QMainWindow(parent, parent != nullptr ? Qt::Window : Qt::WindowFlags()),
      m_session(session),
      m_report(std::move(report)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("HourReportForm"));
    setWindowTitle(QStringLiteral("Hour Report"));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    QAction* setup = file->addAction(QStringLiteral("Print &Setup"));
    setup->setObjectName(QStringLiteral("menuPrintSetup"));
    connect(setup, &QAction::triggered, this, &HourReportForm::menuPrintSetup_Click);
    QAction* print = file->addAction(QStringLiteral("&Print"));
    print->setObjectName(QStringLiteral("menuPrint"));
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(print, &QAction::triggered, this, &HourReportForm::menuPrint_Click);
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("menuExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    auto* inner = new QWidget(this);
    m_text = new QTextEdit(inner);
    m_text->setObjectName(QStringLiteral("textReport"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QTextEdit::NoWrap);
    // The table's columns line up only in a fixed-pitch type.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    m_text->setFont(fixed);
    m_text->setPlainText(hours::TableLines(m_report.facts, m_report.heading).join(u'\n'));
    m_close = new QPushButton(QStringLiteral("Close"), inner);
    m_close->setObjectName(QStringLiteral("commandClose"));
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    auto* layout = new QVBoxLayout(inner);
    layout->addWidget(m_text);
    layout->addWidget(m_close, 0, Qt::AlignRight);
    setCentralWidget(inner);

    setMinimumSize(TwipsToPixels(kReportMinWidthTwips, kReportMinHeightTwips, this));
    const QFontMetrics metrics(m_text->font());
    resize(metrics.horizontalAdvance(QString(kShownColumns, u'0')),
           metrics.lineSpacing() * kShownLines);
}

void HourReportForm::menuPrintSetup_Click() {
    PrintSetup(m_session);
}

void HourReportForm::menuPrint_Click() {
    hours::PrintReport(m_session, m_report, m_text->toPlainText());
}

}  // namespace sonavel
