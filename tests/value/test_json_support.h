// Helpers shared by the JSON tests: capturing standard error around a call.
#pragma once

#include <string>

#include "support/capture.h"

// Runs f with standard error captured and returns what was written there.
template <class F> std::string capture_stderr(F f) {
    Capture err(stderr);
    f();
    return err.text();
}
