#include "platform/sim/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

const char kCannotOpen[] = "cannot open the event log: ";
const char kCannotWrite[] = "cannot write the event log: ";
const char kCannotRotate[] = "cannot rotate the event log: ";

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
  if (size > 0 && size + static_cast<off_t>(text.size()) > kLogRotationBytes) {
    if (rename(path.c_str(), (path + ".1").c_str()) != 0) {
      return fail(kCannotRotate, errno, fd, error);
    }
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
    // A short write is taken back; should that fail too, the next run ends the torn line.
    static_cast<void>(ftruncate(fd, size) == 0);
    return fail(kCannotWrite, cause, fd, error);
  }
  if (close(fd) != 0) return fail(kCannotWrite, errno, -1, error);
  return true;
}
