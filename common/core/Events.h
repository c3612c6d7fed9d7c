#pragma once

#include <functional>

namespace sonavel {

// Serves the pending events of the message queue, so that long work keeps the
// window alive and timer ticks and clicks are handled inside it.
void DoEvents();

// Polls the condition at most maxPasses times, serving events once per pass
// and waiting up to 1 ms when none are pending: about ten seconds for the
// default bound on any machine. True when the condition became true.
bool WaitUntil(const std::function<bool()>& condition, int maxPasses = 10000);

}  // namespace sonavel
