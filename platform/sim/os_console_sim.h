// Standard output of the native build, and its redirection for in-process tests.
#pragma once

#include <string>

// Sends what writeOutput writes to *sink (UTF-8, appended) instead of standard output;
// null restores standard output. Returns the sink that was set before.
std::string* setOutputSink(std::string* sink);
