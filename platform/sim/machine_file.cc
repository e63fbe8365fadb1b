#include "platform/sim/machine_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/sim/event_log.h"
#include "platform/sim/file_io.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_code_page.h"
#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"

extern const unsigned char kDefaultMachineText[];
extern const size_t kDefaultMachineTextSize;

namespace {

constexpr int kPlatformFailure = 2;
// Far above the largest machine the program supports (64 boards of 64 ports, about
// 3 MB); anything larger is not a machine, and reading it could exhaust memory.
constexpr off_t kMaxMachineBytes = off_t{256} << 20;

// The reasons a run on the machine file ends with status 2, as they are printed.
const char kCannotFollow[] = "cannot follow its symbolic links: ";
const char kNotRegular[] = "not a regular file";
const char kTooLarge[] = "larger than 256 MiB";
const char kCannotCreateFolder[] = "cannot create its folder: ";
const char kCannotLock[] = "cannot lock: ";
const char kCannotRead[] = "cannot read: ";
const char kCannotCreate[] = "cannot create: ";
const char kCannotWrite[] = "cannot write: ";

// Control characters of a path as they are shown in an error line; others as \xhh.
const struct {
  char byte;
  const char* shown;
} kNamedControls[] = {{'\n', "\\n"}, {'\r', "\\r"}, {'\t', "\\t"}};

struct FileRun {
  std::string path;      // as the user named it
  std::string target;    // the file it names once links are followed: read, locked, written
  FileOwner owner;       // the target's, given to the files created beside it
  bool missing = false;  // created from the default machine at the end of the run
  int lockFd = -1;
  SimMachine machine;
};

FileRun* gFileRun = nullptr;

// The path with its control characters (C0, DEL and C1 in UTF-8) escaped, so that an
// error line stays one line and nothing in it reaches the terminal as a command.
std::string printablePath(const std::string& path) {
  std::string shown;
  for (size_t i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<unsigned char>(path[i]);
    const auto next = static_cast<unsigned char>(i + 1 < path.size() ? path[i + 1] : 0);
    const bool c1 = byte == 0xC2 && next >= 0x80 && next < 0xA0;
    if ((byte >= 0x20 && byte != 0x7F) && !c1) {
      shown += path[i];
      continue;
    }
    const char* named = nullptr;
    for (const auto& control : kNamedControls) {
      if (control.byte == path[i]) named = control.shown;
    }
    char escape[12];
    if (named == nullptr) {
      std::snprintf(escape, sizeof escape, c1 ? "\\x%02x\\x%02x" : "\\x%02x", byte, next);
      named = escape;
    }
    shown += named;
    i += c1 ? 1 : 0;
  }
  return shown;
}

// The reason is escaped as well: it can quote the machine's own data (its code page).
int report(const std::string& path, int line, const std::string& reason) {
  const std::string shown = printablePath(path);
  const std::string why = printablePath(reason);
  if (line > 0) {
    std::fprintf(stderr, "ZPConfigUtil: %s:%d: %s\n", shown.c_str(), line, why.c_str());
  } else {
    std::fprintf(stderr, "ZPConfigUtil: %s: %s\n", shown.c_str(), why.c_str());
  }
  std::fflush(stderr);
  return kPlatformFailure;
}

// True when the file can be a machine; else false with *reason.
bool machineShaped(const struct stat& facts, std::string* reason) {
  if (!S_ISREG(facts.st_mode)) {
    *reason = kNotRegular;
  } else if (facts.st_size > kMaxMachineBytes) {
    *reason = kTooLarge;
  } else {
    return true;
  }
  return false;
}

enum class ReadResult { kRead, kMissing, kFailed };

// Reads the machine file, which must be a regular file within the size limit (a device,
// a FIFO or a file growing while read would never end), and takes its owner.
ReadResult readMachineFile(const std::string& path, std::string* bytes, FileOwner* owner,
                           std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadResult::kMissing;
    *error = kCannotRead + describeFileError(errno);
    return ReadResult::kFailed;
  }
  struct stat facts;
  if (fstat(fd, &facts) != 0) {
    *error = kCannotRead + describeFileError(errno);
  } else if (machineShaped(facts, error)) {
    *owner = {true, facts.st_uid, facts.st_gid};
    char chunk[65536];
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n < 0) *error = kCannotRead + describeFileError(errno);
        break;
      }
      bytes->append(chunk, static_cast<size_t>(n));
      if (bytes->size() > static_cast<size_t>(kMaxMachineBytes)) {
        *error = kTooLarge;
        break;
      }
    }
  }
  close(fd);
  return error->empty() ? ReadResult::kRead : ReadResult::kFailed;
}

// True when the path's last part can only name a folder ("dir/", "dir/.", "dir/.."):
// refused before its folder or a lock inside it is created.
bool namesFolder(const std::string& path) {
  const std::string last = path.substr(path.rfind('/') + 1);
  return last.empty() || last == "." || last == "..";
}

int takeLock(const std::string& path, const FileOwner& owner, int* fd) {
  const int cause = openBeside(path, O_RDONLY, owner, fd);  // flock needs no write access
  if (cause != 0) return cause;
  while (flock(*fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    close(*fd);
    *fd = -1;
    return error;
  }
  return 0;
}

}  // namespace

int beginFileRun() {
  std::string path;
  std::string error;
  if (!machineFilePath(&path, &error)) return report(path, 0, error);
  auto run = std::make_unique<FileRun>();
  run->path = path;
  int cause = followLinks(path, &run->target);
  if (cause != 0) return report(path, 0, kCannotFollow + std::string(std::strerror(cause)));
  // Checked before anything is created beside it: no lock beside a device or a folder.
  struct stat facts;
  if (namesFolder(run->target)) return report(path, 0, kNotRegular);
  if (stat(run->target.c_str(), &facts) == 0) {
    if (!machineShaped(facts, &error)) return report(path, 0, error);
    run->owner = {true, facts.st_uid, facts.st_gid};
  }
  const std::string lockPath = run->target + ".lock";
  if ((cause = makeFolders(folderOf(run->target))) != 0) {
    return report(path, 0, kCannotCreateFolder + describeFileError(cause));
  }
  if ((cause = takeLock(lockPath, run->owner, &run->lockFd)) != 0) {
    return report(lockPath, 0, kCannotLock + describeFileError(cause));
  }
  removeStaleTemporaries(run->target);
  std::string bytes;
  const ReadResult result = readMachineFile(run->target, &bytes, &run->owner, &error);
  if (result == ReadResult::kMissing) bytes = defaultMachineBytes();
  run->missing = result == ReadResult::kMissing;
  RegParseError parseError;
  if (result == ReadResult::kFailed || !readRegText(bytes, &run->machine.registry, &parseError)) {
    close(run->lockFd);
    if (result == ReadResult::kFailed) return report(path, 0, error);
    return report(path, parseError.line, parseError.reason);
  }
  // A machine whose code page the simulation cannot convert to is refused before the
  // program sees it, as a file it cannot read is.
  uint32_t codePage = 0;
  if (!readAnsiCodePage(run->machine.registry, &codePage, &error)) {
    close(run->lockFd);
    return report(path, 0, error);
  }
  run->machine.registry.clearChanged();
  gFileRun = run.release();
  setFileMachine(&gFileRun->machine);
  return 0;
}

// The log goes first: a run whose lines cannot be logged changes nothing and ends with
// status 2, so every change to the machine has its lines in the log, and a run that has
// replaced the machine file has nothing left that could fail.
int endFileRun() {
  std::unique_ptr<FileRun> run(gFileRun);
  gFileRun = nullptr;
  setFileMachine(nullptr);
  int status = 0;
  std::string error;
  std::vector<std::string> lines = run->machine.log;
  lines.push_back("end registry-calls=" + std::to_string(run->machine.registryCalls));
  const std::string logPath = run->target + ".log";
  const bool changed = run->machine.registry.changed();
  if (!appendLogFile(logPath, lines, run->owner, &error)) {
    status = report(logPath, 0, error);
  } else if (changed || run->missing) {
    const int cause = replaceFile(
        run->target, changed ? writeRegFile(run->machine.registry) : defaultMachineBytes());
    if (cause != 0) {
      status = report(run->path, 0,
                      (run->missing ? kCannotCreate : kCannotWrite) + describeFileError(cause));
    }
  }
  close(run->lockFd);
  return status;
}

bool machineFilePath(std::string* path, std::string* error) {
  const char* machine = std::getenv("ZPCONFIG_MACHINE");
  if (machine != nullptr && machine[0] != '\0') {
    *path = machine;
    return true;
  }
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] != '\0') {
    *path = std::string(state) + "/zpconfigutil/machine.reg";
    return true;
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    *path = std::string(home) + "/.local/state/zpconfigutil/machine.reg";
    return true;
  }
  *path = "$HOME/.local/state/zpconfigutil/machine.reg";
  *error = "HOME is not set";
  return false;
}

bool fileRunOpen() { return gFileRun != nullptr; }

std::string defaultMachineBytes() {
  return std::string(reinterpret_cast<const char*>(kDefaultMachineText), kDefaultMachineTextSize);
}
