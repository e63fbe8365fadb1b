#include "platform/sim/case_fold.h"

char16_t foldBeyondAscii(char16_t unit) {
  if (unit < 0xE0) return unit;
  if (unit <= 0xFE) return unit == 0xF7 ? unit : unit - 0x20;
  if (unit == 0xFF) return 0x178;
  // Latin Extended-A: pairs of capital and small letter, in two runs of opposite parity.
  if ((unit >= 0x100 && unit <= 0x137) || (unit >= 0x14A && unit <= 0x177)) {
    return (unit & 1) ? unit - 1 : unit;
  }
  if ((unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E)) {
    return (unit & 1) ? unit : unit - 1;
  }
  if (unit == 0x3C2) return 0x3A3;
  if (unit >= 0x3B1 && unit <= 0x3CB) return unit - 0x20;
  if (unit >= 0x430 && unit <= 0x44F) return unit - 0x20;
  if (unit >= 0x450 && unit <= 0x45F) return unit - 0x50;
  return unit;
}

std::u16string foldCase(const std::u16string& text) {
  std::u16string out(text);
  for (char16_t& unit : out) unit = foldCase(unit);
  return out;
}
