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

// A program that is ending must not sit out the bounds of the waits it is
// nested in: from AbandonWaits on, every running and every later WaitUntil
// returns at its next pass with what its condition says (normally false,
// as at a time-out), until ResumeWaits. Called on the thread that waits.
void AbandonWaits();
void ResumeWaits();
bool WaitsAbandoned();

}  // namespace sonavel
