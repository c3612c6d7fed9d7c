#include "HourlyClockForms.h"

#include "DialogKeys.h"
#include "FormatModule.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sonavel {

namespace {

enum Shortcut { kWeekdays, kWeekend, kAll };

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QCheckBox* Box(QWidget* parent, const QString& name, const QString& caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QString Indexed(const char* name, int index) {
    return QString::fromLatin1(name) + QLatin1Char('_') + QString::number(index);
}

// Shows the owner again as the dialog goes, as the dialogs always have.
void ShowOwner(QWidget* dialog) {
    if (QWidget* owner = dialog->parentWidget()) {
        owner->show();
        owner->activateWindow();
    }
}

}  // namespace

void HourlyGrid::Build(QWidget* owner, bool rowShortcuts) {
    static const char* const kDayBoxes[] = {"checkMon", "checkTue", "checkWed", "checkThu",
                                            "checkFri", "checkSat", "checkSun"};
    // The two tabs' column headers have always carried these names.
    static const char* const kAmHeaders[] = {"textMon", "textTue", "textWed", "testThu",
                                             "textFri", "textSat", "textSun"};
    static const char* const kPmHeaders[] = {"Text1", "Text2", "Text3", "Text4",
                                             "Text5", "Text6", "Text7"};
    SSTab1 = new QTabWidget(owner);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    for (int half = 0; half < 2; ++half) {
        auto* page = new QWidget(SSTab1);
        auto* layout = new QGridLayout(page);
        for (int day = 0; day < kGridDays; ++day) {
            auto* header = new QLineEdit(HourlyClocks::DayToken(day), page);
            header->setObjectName(
                QString::fromLatin1(half == 0 ? kAmHeaders[day] : kPmHeaders[day]));
            header->setReadOnly(true);
            header->setFocusPolicy(Qt::NoFocus);
            header->setAlignment(Qt::AlignCenter);
            header->setMaximumWidth(
                header->fontMetrics().horizontalAdvance(QStringLiteral("00:00")) * 2);
            layout->addWidget(header, 0, day);
        }
        for (int row = 0; row < 12; ++row) {
            const int hour = half * 12 + row;
            const QString caption =
                HourName(static_cast<std::int16_t>(hour)).left(2) + QStringLiteral(":00");
            for (int day = 0; day < kGridDays; ++day) {
                days[day][hour] = Box(page, Indexed(kDayBoxes[day], hour), caption);
                layout->addWidget(days[day][hour], row + 1, day);
            }
            if (!rowShortcuts) continue;
            checkWeekdays[hour] =
                Box(page, Indexed("checkWeekdays", hour), QStringLiteral("Weekdays"));
            checkWeekend[hour] =
                Box(page, Indexed("checkWeekend", hour), QStringLiteral("Weekend"));
            checkAll[hour] = Box(page, Indexed("checkAll", hour), QStringLiteral("All"));
            layout->addWidget(checkWeekdays[hour], row + 1, kGridDays + 1);
            layout->addWidget(checkWeekend[hour], row + 1, kGridDays + 2);
            layout->addWidget(checkAll[hour], row + 1, kGridDays + 3);
        }
        // A gap sets the shortcuts apart from the days.
        if (rowShortcuts) layout->setColumnMinimumWidth(kGridDays, 12);
        SSTab1->addTab(page, half == 0 ? QStringLiteral("AM") : QStringLiteral("PM"));
    }
}

SlotGrid HourlyGrid::Ticked() const {
    SlotGrid ticked{};
    for (int day = 0; day < kGridDays; ++day) {
        for (int hour = 0; hour < kGridHours; ++hour) {
            ticked[day][hour] = days[day][hour]->isChecked();
        }
    }
    return ticked;
}

// ---------------------------------------------------------------------------

SaveHourlyClockForm::SaveHourlyClockForm(HourlyClocks& clocks, QWidget* owner)
    : QWidget(owner, Qt::Window), m_clocks(clocks) {
    setObjectName(QStringLiteral("SaveHourlyClockForm"));
    setWindowTitle(QStringLiteral("Save As Hourly Clock"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_grid.Build(this, true);
    for (int hour = 0; hour < kGridHours; ++hour) {
        connect(m_grid.checkWeekdays[hour], &QCheckBox::clicked, this,
                [this, hour] { RowShortcut_Click(hour, kWeekdays); });
        connect(m_grid.checkWeekend[hour], &QCheckBox::clicked, this,
                [this, hour] { RowShortcut_Click(hour, kWeekend); });
        connect(m_grid.checkAll[hour], &QCheckBox::clicked, this,
                [this, hour] { RowShortcut_Click(hour, kAll); });
    }
    m_selectAll = Button(this, "commandSelectAll", "Select &All");
    m_clear = Button(this, "commandClear", "&Clear");
    m_save = Button(this, "commandSave", "&Save");
    m_close = Button(this, "commandClose", "&Close");
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressSaveHourly"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    connect(m_selectAll, &QPushButton::clicked, this, &SaveHourlyClockForm::commandSelectAll_Click);
    connect(m_clear, &QPushButton::clicked, this, &SaveHourlyClockForm::commandClear_Click);
    connect(m_save, &QPushButton::clicked, this, &SaveHourlyClockForm::commandSave_Click);
    connect(m_close, &QPushButton::clicked, this, &SaveHourlyClockForm::commandClose_Click);
    m_save->setDefault(true);
    // While the slots are written Close is disabled, and so is Escape.
    UseDialogKeys(this, m_close);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_selectAll, m_clear})
        buttons->addWidget(button);
    buttons->addStretch();
    for (QPushButton* button : {m_save, m_close})
        buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid.SSTab1);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
}

void SaveHourlyClockForm::RowShortcut_Click(int hour, int which) {
    QCheckBox* shortcuts[] = {m_grid.checkWeekdays[hour], m_grid.checkWeekend[hour],
                              m_grid.checkAll[hour]};
    const bool ticked = shortcuts[which]->isChecked();
    for (int day = 0; day < kGridDays; ++day) {
        const bool weekend = day >= 5;
        bool tick = false;
        if (ticked) tick = which == kAll || (which == kWeekend) == weekend;
        m_grid.days[day][hour]->setChecked(tick);
    }
    // While one shortcut holds the row the other two stand aside.
    for (int other = 0; other < 3; ++other) {
        if (other != which) shortcuts[other]->setEnabled(!ticked);
    }
}

void SaveHourlyClockForm::commandSelectAll_Click() {
    for (int hour = 0; hour < kGridHours; ++hour) {
        m_grid.checkAll[hour]->setChecked(true);
        m_grid.checkAll[hour]->setEnabled(true);
        for (QCheckBox* other : {m_grid.checkWeekdays[hour], m_grid.checkWeekend[hour]}) {
            other->setChecked(false);
            other->setEnabled(false);
        }
        for (int day = 0; day < kGridDays; ++day)
            m_grid.days[day][hour]->setChecked(true);
    }
}

void SaveHourlyClockForm::commandClear_Click() {
    for (int hour = 0; hour < kGridHours; ++hour) {
        for (QCheckBox* shortcut :
             {m_grid.checkWeekdays[hour], m_grid.checkWeekend[hour], m_grid.checkAll[hour]}) {
            shortcut->setChecked(false);
            shortcut->setEnabled(true);
        }
        for (int day = 0; day < kGridDays; ++day)
            m_grid.days[day][hour]->setChecked(false);
    }
}

void SaveHourlyClockForm::SetSelecting(bool enabled) {
    m_close->setEnabled(enabled);
    m_selectAll->setEnabled(enabled);
    m_clear->setEnabled(enabled);
    m_grid.SSTab1->setEnabled(enabled);
}

void SaveHourlyClockForm::commandSave_Click() {
    SetSelecting(false);
    const auto outcome = m_clocks.SaveHourlyClocks(m_grid.Ticked(), [this](int value, int maximum) {
        m_progress->setRange(0, maximum);
        m_progress->setValue(value);
    });
    switch (outcome) {
        case HourlyClocks::SaveOutcome::NothingSelected:
        case HourlyClocks::SaveOutcome::EmptyClock:
            SetSelecting(true);
            break;
        case HourlyClocks::SaveOutcome::Failed:
        case HourlyClocks::SaveOutcome::Saved:
            // Done or aborted: the dialog can only be closed now.
            m_save->setEnabled(false);
            m_close->setEnabled(true);
            break;
    }
}

void SaveHourlyClockForm::commandClose_Click() {
    ShowOwner(this);
    close();
}

// ---------------------------------------------------------------------------

OpenHourlyClockForm::OpenHourlyClockForm(HourlyClocks& clocks, QWidget* owner)
    : QWidget(owner, Qt::Window), m_clocks(clocks) {
    setObjectName(QStringLiteral("OpenHourlyClockForm"));
    setWindowTitle(QStringLiteral("Open Hourly Clock"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_grid.Build(this, false);
    for (int day = 0; day < kGridDays; ++day) {
        for (int hour = 0; hour < kGridHours; ++hour) {
            connect(m_grid.days[day][hour], &QCheckBox::clicked, this, [this, day, hour] {
                Slot_Click({day, hour});
            });
        }
    }
    auto* info = new QLabel(
        QStringLiteral(
            "Note: Only those hourly clocks that have previously been saved can be selected."),
        this);
    info->setObjectName(QStringLiteral("labelInfo"));
    m_open = Button(this, "commandOpen", "&Open");
    QPushButton* cancel = Button(this, "commandCancel", "&Cancel");
    connect(m_open, &QPushButton::clicked, this, &OpenHourlyClockForm::commandOpen_Click);
    connect(cancel, &QPushButton::clicked, this, &OpenHourlyClockForm::commandCancel_Click);
    m_open->setDefault(true);
    UseDialogKeys(this, cancel);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(info, 1);
    buttons->addWidget(m_open);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid.SSTab1);
    layout->addLayout(buttons);

    EnableExistingClocks();
    m_open->setEnabled(false);
}

void OpenHourlyClockForm::showEvent(QShowEvent* event) {
    RefreshGrid();
    QWidget::showEvent(event);
}

void OpenHourlyClockForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) RefreshGrid();
    QWidget::changeEvent(event);
}

void OpenHourlyClockForm::RefreshGrid() {
    if (!m_selectedPath.isEmpty() && QFileInfo::exists(m_selectedPath)) return;
    for (auto& column : m_grid.days) {
        for (QCheckBox* box : column)
            box->setChecked(false);
    }
    EnableExistingClocks();
    m_selectedPath.clear();
    m_open->setEnabled(false);
}

bool OpenHourlyClockForm::EnableExistingClocks() {
    const SlotGrid existing = m_clocks.ExistingClocks();
    bool any = false;
    for (int day = 0; day < kGridDays; ++day) {
        for (int hour = 0; hour < kGridHours; ++hour) {
            m_grid.days[day][hour]->setEnabled(existing[day][hour]);
            any = any || existing[day][hour];
        }
    }
    return any;
}

void OpenHourlyClockForm::DisableAllClocks() {
    for (auto& column : m_grid.days) {
        for (QCheckBox* box : column)
            box->setEnabled(false);
    }
}

void OpenHourlyClockForm::Slot_Click(HourlySlot slot) {
    QCheckBox* box = m_grid.days[slot.day][slot.hour];
    if (box->isChecked()) {
        m_selectedPath = m_clocks.SlotPath(slot);
        DisableAllClocks();
        box->setEnabled(true);
        m_open->setEnabled(true);
    } else {
        EnableExistingClocks();
        m_selectedPath.clear();
        m_open->setEnabled(false);
    }
}

void OpenHourlyClockForm::commandOpen_Click() {
    if (m_selectedPath.isEmpty()) return;
    switch (m_clocks.OpenHourlyClock(m_selectedPath)) {
        case HourlyClocks::OpenOutcome::Opened:
            ShowOwner(this);
            close();
            break;
        case HourlyClocks::OpenOutcome::Kept:
            break;
        case HourlyClocks::OpenOutcome::Missing:
            // Show the week as it is now, with nothing picked.
            m_selectedPath.clear();
            RefreshGrid();
            break;
    }
}

void OpenHourlyClockForm::commandCancel_Click() {
    ShowOwner(this);
    close();
}

}  // namespace sonavel
