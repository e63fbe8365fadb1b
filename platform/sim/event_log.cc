#include "platform/sim/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_code_page.h"
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

namespace {

const char kCannotOpen[] = "cannot open the event log: ";
const char kCannotWrite[] = "cannot write the event log: ";

bool fail(const char* what, int cause, int fd, std::string* error) {
  *error = what + describeFileError(cause);
  if (fd >= 0) close(fd);
  return false;
}

}  // namespace

bool appendLogFile(const std::string& path, const std::vector<std::string>& lines,
                   const FileOwner& owner, std::string* error) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  int fd = -1;
  int cause = openBeside(path, O_RDWR | O_APPEND, owner, &fd);
  if (cause != 0) return fail(kCannotOpen, cause, -1, error);
  struct stat facts;
  if (fstat(fd, &facts) != 0) return fail(kCannotOpen, errno, fd, error);
  off_t size = facts.st_size;
  // Rotation only keeps the log small: where the old log cannot be renamed (a folder
  // that is not writable, a folder named "<log>.1"), the lines still go to the current one
  // rather than every later run failing.
  if (size > 0 && size + static_cast<off_t>(text.size()) > kLogRotationBytes &&
      rename(path.c_str(), (path + ".1").c_str()) == 0) {
    close(fd);
    cause = openBeside(path, O_RDWR | O_APPEND, owner, &fd);
    if (cause != 0) return fail(kCannotOpen, cause, -1, error);
    size = 0;
  }
  char last = '\n';
  if (size > 0 && pread(fd, &last, 1, size - 1) != 1) return fail(kCannotWrite, errno, fd, error);
  if (last != '\n') text.insert(0, "\n");
  cause = writeAll(fd, text);
  if (cause != 0) {
    // A short write is taken back, and a log that was empty is removed rather than left
    // behind (it is created again on the next line); should that fail too, the next run
    // ends the torn line.
    if (size > 0 || unlink(path.c_str()) != 0) static_cast<void>(ftruncate(fd, size) == 0);
    return fail(kCannotWrite, cause, fd, error);
  }
  if (close(fd) != 0) return fail(kCannotWrite, errno, -1, error);
  return true;
}
