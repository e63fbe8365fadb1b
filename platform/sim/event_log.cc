#include "platform/sim/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/sim/codepage.h"
#include "platform/sim/machine.h"
#include "platform/sim/utf.h"

void logEvent(const std::string& line) {
  SimMachine* machine = currentMachine();
  if (machine != nullptr) machine->log.push_back(line);
}

std::string quoteLogText(const std::string& ansiText) {
  std::u16string text;
  for (char byte : ansiText) {
    const char16_t unit = decode1252(static_cast<unsigned char>(byte));
    if (unit == u'"' || unit == u'\\') {
      text.push_back(u'\\');
      text.push_back(unit);
    } else if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(unit));
      for (const char* c = escape; *c != '\0'; ++c) text.push_back(static_cast<char16_t>(*c));
    } else {
      text.push_back(unit);
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
