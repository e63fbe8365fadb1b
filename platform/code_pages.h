// What the conversion of wide text to a code page may ask for, by code page.
#pragma once

#include <cstdint>

constexpr uint32_t kUtf8CodePage = 65001;
constexpr uint32_t kNoBestFitChars = 0x400;  // WC_NO_BEST_FIT_CHARS

// The flags for WideCharToMultiByte into `codePage` (an actual code page, never CP_ACP):
// no best fit, so that a character the code page lacks becomes '?' and never a
// look-alike such as ':' for a full-width colon; 0 for the code pages that refuse every
// flag but WC_ERR_INVALID_CHARS (the call fails with ERROR_INVALID_FLAGS there). UTF-8
// among them has no best fit to guard against: it holds every character.
uint32_t ansiConversionFlags(uint32_t codePage);
