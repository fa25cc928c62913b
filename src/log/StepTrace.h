#pragma once

// Where the time of a step goes, for bench/e2e/step_pixels: with QUILLON_STEP_TRACE set in the
// environment, each mark is one line on standard error, "quillon-step <what> <ms>", in
// milliseconds of the monotonic clock that the browser's own event times also use. Without it
// nothing is written and nothing more is asked of the browser.
namespace StepTrace {
bool enabled();
// `monotonicMs` below zero: now.
void mark(const char* what, double monotonicMs = -1);
} // namespace StepTrace
