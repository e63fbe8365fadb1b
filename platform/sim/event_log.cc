#include "platform/sim/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/sim/ansi.h"
#include "platform/sim/codepage.h"
#include "platform/sim/machine.h"
#include "platform/sim/utf.h"

void logEvent(const std::string& line) {
  SimMachine* machine = currentMachine();
  if (machine != nullptr) machine->log.push_back(line);
}

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when none starts there.
size_t utf8SequenceLength(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

void appendEscape(std::u16string* text, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\x%02X", value);
  for (const char* c = escape; *c != '\0'; ++c) text->push_back(static_cast<char16_t>(*c));
}

}  // namespace

std::string quoteLogText(const std::string& ansiText) {
  const bool utf8 = currentAnsiCodePage() == kUtf8CodePage;
  std::u16string text;
  for (size_t at = 0; at < ansiText.size();) {
    char16_t unit = 0;
    std::u16string character;
    if (!utf8) {
      unit = decode1252(static_cast<unsigned char>(ansiText[at]));
      character.push_back(unit);
      ++at;
    } else if (const size_t length = utf8SequenceLength(ansiText, at)) {
      character = utf8ToUtf16(ansiText.substr(at, length));
      unit = character[0];
      at += length;
    } else {
      // A byte that is no part of a character: shown as itself.
      appendEscape(&text, static_cast<unsigned char>(ansiText[at]));
      ++at;
      continue;
    }
    if (unit == u'"' || unit == u'\\') {
      text.push_back(u'\\');
      text.push_back(unit);
    } else if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0)) {
      appendEscape(&text, unit);
    } else {
      text += character;
    }
  }
  return "\"" + utf16ToUtf8(text) + "\"";
}

bool appendLogFile(const std::string& path, const std::vector<std::string>& lines,
                   std::string* error) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = std::string("cannot open the event log: ") + std::strerror(errno);
    return false;
  }
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = std::string("cannot write the event log: ") + std::strerror(errno);
      close(fd);
      return false;
    }
    written += static_cast<size_t>(n);
  }
  if (close(fd) != 0) {
    *error = std::string("cannot write the event log: ") + std::strerror(errno);
    return false;
  }
  return true;
}
