#pragma once

#include "RuntimeError.h"

#include <functional>

namespace sonavel {

// The run-time error number a call raised, or 0 when it raised none.
inline int ErrorNumberOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& error) {
        return error.Number();
    }
    return 0;
}

}  // namespace sonavel
