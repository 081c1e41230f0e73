#pragma once

#include <string>

// How benchmarks print their figures: one "key value [note]" line each, so
// that runs can be compared line by line and searched with grep.
void benchPrint(const std::string& key, double value, const char* note = "");

// Lets the event loop run for this long (timers, queued calls, painting).
void runEventLoop(double seconds);
