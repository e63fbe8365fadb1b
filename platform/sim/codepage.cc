#include "platform/sim/codepage.h"

namespace {

// Bytes 0x80 to 0x9F; the rest of 1252 is Latin-1.
const char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char16_t decode1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

std::u16string decode1252(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char byte : bytes) out.push_back(decode1252(static_cast<unsigned char>(byte)));
  return out;
}

int encode1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == unit) return 0x80 + i;
  }
  return -1;
}

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
