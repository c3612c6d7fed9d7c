#include "UiText.h"

#include <QLabel>
#include <QStatusBar>

namespace sonavel {

QLabel* AddStatusPanel(QStatusBar* bar, const char* name, const QString& text, const char* tip,
                       int stretch) {
    auto* label = new QLabel(text, bar);
    label->setObjectName(QString::fromLatin1(name));
    if (tip != nullptr) label->setToolTip(QString::fromLatin1(tip));
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    if (stretch > 0) {
        bar->addWidget(label, stretch);
    } else {
        bar->addPermanentWidget(label);
    }
    return label;
}

}  // namespace sonavel
