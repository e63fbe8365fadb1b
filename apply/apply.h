// Carrying out a checked set request.
#pragma once

#include <cstdint>

#include "cli/set_request.h"

// 0 when the driver control channel opened (the request was carried out and saved),
// non-zero when nothing was changed.
int applySetRequest(const SetRequest* request);

// The value of the first run of decimal digits in the text, saturated at INT32_MAX;
// 0 when the text holds no digit.
int32_t firstNumberInText(const wchar_t* text);
