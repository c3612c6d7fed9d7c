#pragma once

#include <QCoreApplication>
#include <QEvent>

namespace sonavel {

// Windows closed with deleteLater() are gone once this returns, as they
// would be when the event loop next turned.
inline void FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace sonavel
