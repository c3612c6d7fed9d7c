#include "Session.h"

namespace sonavel {

QString Session::ProductName() const {
    return m_product == Product::Player ? QStringLiteral("Player") : QStringLiteral("Creator");
}

QString Session::OwnSection() const {
    return QString::fromLatin1(m_product == Product::Player ? kPlayerSection : kCreatorSection);
}

}  // namespace sonavel
