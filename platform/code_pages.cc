#include "platform/code_pages.h"

namespace {

struct CodePageRange {
  uint32_t first;
  uint32_t last;
};

// The code pages that take no conversion flags: the ISO-2022 and HZ forms, GB18030,
// ISCII, UTF-7, UTF-8 and Symbol.
const CodePageRange kFlagFreeCodePages[] = {
    {42, 42},       {50220, 50222}, {50225, 50225}, {50227, 50227}, {50229, 50229},
    {52936, 52936}, {54936, 54936}, {57002, 57011}, {65000, 65000}, {kUtf8CodePage, kUtf8CodePage},
};

}  // namespace

uint32_t ansiConversionFlags(uint32_t codePage) {
  for (const CodePageRange& range : kFlagFreeCodePages) {
    if (codePage >= range.first && codePage <= range.last) return 0;
  }
  return kNoBestFitChars;
}
