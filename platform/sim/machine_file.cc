#include "platform/sim/machine_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

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
const char kWouldBeTooLarge[] = "the change would make it larger than 256 MiB";
const char kChangedMeanwhileReason[] =
    "changed by another program during the run; run the command again.";
// Not a failure: a run in a folder it may not write that changes nothing goes on unlogged.
const char kNotLogged[] = "read-only: this run is not logged.";
const char kOnlyReadLocked[] = "locked for reading only, in a folder that was read-only";

// How long a run waits for the lock before it says what it waits for.
constexpr auto kQuietWait = std::chrono::seconds(1);
constexpr auto kLockPoll = std::chrono::milliseconds(10);

// Control characters of a path as they are shown in an error line; others as \xhh.
const struct {
  char byte;
  const char* shown;
} kNamedControls[] = {{'\n', "\\n"}, {'\r', "\\r"}, {'\t', "\\t"}};

struct FileRun {
  std::string path;          // as the user named it
  std::string target;        // the file it names once links are followed: read, locked, written
  FileOwner owner;           // the target's (else its nearest folder's), given to what is made
  bool missing = false;      // created from the default machine at the end of the run
  struct stat read {};       // the target as it was read: another program may replace it
  int lockFd = -1;           // on "<target>.lock", or on the target itself in a read-only folder
  bool readersLock = false;  // lockFd is the shared lock on the target: the run may only read
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
void printLine(const std::string& path, int line, const std::string& reason) {
  const std::string shown = printablePath(path);
  const std::string why = printablePath(reason);
  if (line > 0) {
    std::fprintf(stderr, "ZPConfigUtil: %s:%d: %s\n", shown.c_str(), line, why.c_str());
  } else {
    std::fprintf(stderr, "ZPConfigUtil: %s: %s\n", shown.c_str(), why.c_str());
  }
  std::fflush(stderr);
}

int report(const std::string& path, int line, const std::string& reason) {
  printLine(path, line, reason);
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
// a FIFO or a file growing while read would never end), and gives its facts as read.
ReadResult readMachineFile(const std::string& path, std::string* bytes, struct stat* facts,
                           std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadResult::kMissing;
    *error = kCannotRead + describeFileError(errno);
    return ReadResult::kFailed;
  }
  if (fstat(fd, facts) != 0) {
    *error = kCannotRead + describeFileError(errno);
  } else if (machineShaped(*facts, error)) {
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

// Waits for `operation` on the open file: quietly until `quietUntil`, then after one line
// naming `path` (said once per run, `told`).
int waitForLock(int fd, int operation, const std::string& path,
                std::chrono::steady_clock::time_point quietUntil, bool* told) {
  while (flock(fd, operation | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return errno;
    if (*told || std::chrono::steady_clock::now() >= quietUntil) {
      if (!*told) {
        const std::string shown = printablePath(path);
        std::fprintf(stderr, "ZPConfigUtil: waiting for %s, held by another run.\n", shown.c_str());
        std::fflush(stderr);
        *told = true;
      }
      while (flock(fd, operation) != 0) {
        if (errno != EINTR) return errno;
      }
      return 0;
    }
    std::this_thread::sleep_for(kLockPoll);
  }
  return 0;
}

// Takes `operation` (LOCK_EX or LOCK_SH) on the file at `path`, created with `owner`
// where missing. A lock taken on a file that a reset ("rm machine.reg*") unlinked while
// the run waited would let the next run in beside this one: it is taken again on the
// file the path names now.
int takeLock(const std::string& path, int operation, const FileOwner& owner, int* fd) {
  const auto quietUntil = std::chrono::steady_clock::now() + kQuietWait;
  bool told = false;
  for (;;) {
    int cause = openBeside(path, O_RDONLY, owner, fd);  // flock needs no write access
    if (cause != 0) return cause;
    struct stat locked;
    struct stat named;
    cause = waitForLock(*fd, operation, path, quietUntil, &told);
    if (cause == 0 && fstat(*fd, &locked) != 0) cause = errno;
    if (cause == 0 && lstat(path.c_str(), &named) == 0 && named.st_dev == locked.st_dev &&
        named.st_ino == locked.st_ino) {
      return 0;
    }
    close(*fd);
    *fd = -1;
    if (cause != 0) return cause;
  }
}

// A folder the run may not write (or a read-only mount), where no lock can be made: the
// machine file itself is locked for reading, and the run can change nothing there.
bool lockableOnlyForReading(const std::string& target, int lockError) {
  return (lockError == EACCES || lockError == EROFS) && writeAccess(folderOf(target)) != 0;
}

// True when the target is still the file that was read (or still missing): an editor
// saving by rename or a truncate-and-rewrite changes its identity, size or times.
bool unchangedSinceRead(const FileRun& run) {
  struct stat now;
  if (lstat(run.target.c_str(), &now) != 0) return run.missing && errno == ENOENT;
  const struct stat& was = run.read;
  return !run.missing && now.st_dev == was.st_dev && now.st_ino == was.st_ino &&
         now.st_size == was.st_size && now.st_mtim.tv_sec == was.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == was.st_mtim.tv_nsec && now.st_ctim.tv_sec == was.st_ctim.tv_sec &&
         now.st_ctim.tv_nsec == was.st_ctim.tv_nsec;
}

// The bytes to write back ("" when there are none), or status 2 when they cannot be
// written: larger than the reader takes, or the file or its folder one the user may not
// write.
int writeBackBytes(const FileRun& run, std::string* bytes) {
  const Registry& registry = run.machine.registry;
  const std::string tooLarge = std::string(kCannotWrite) + kWouldBeTooLarge;
  if (registry.changed()) {
    // Key paths alone can pass the limit: no write-back of that size is built then.
    if (regFileSectionBytes(registry) > kMaxMachineBytes) return report(run.path, 0, tooLarge);
    *bytes = writeRegFile(registry);
  } else if (run.missing) {
    *bytes = defaultMachineBytes();
  } else {
    return 0;
  }
  if (bytes->size() > static_cast<size_t>(kMaxMachineBytes)) return report(run.path, 0, tooLarge);
  int cause = run.missing ? 0 : writeAccess(run.target);
  if (cause != 0) return report(run.path, 0, kCannotWrite + describeFileError(cause));
  const std::string folder = folderOf(run.target);
  if ((cause = writeAccess(folder)) != 0) {
    return report(folder, 0, kCannotWrite + describeFileError(cause));
  }
  return 0;
}

// A run that only read (nothing to write back, no driver command, no restart) in a
// folder it may not write goes on without a log that cannot be written there either.
bool logUnwritable(const FileRun& run) {
  if (writeAccess(folderOf(run.target)) == 0) return false;
  const int cause = writeAccess(run.target + ".log");
  return cause == EACCES || cause == EROFS || cause == ENOENT;
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
  } else {
    run->owner = nearestFolderOwner(run->target);
  }
  const std::string lockPath = run->target + ".lock";
  if ((cause = makeFolders(folderOf(run->target), run->owner)) != 0) {
    return report(path, 0, kCannotCreateFolder + describeFileError(cause));
  }
  if ((cause = takeLock(lockPath, LOCK_EX, run->owner, &run->lockFd)) != 0) {
    if (!lockableOnlyForReading(run->target, cause) ||
        takeLock(run->target, LOCK_SH, run->owner, &run->lockFd) != 0) {
      return report(lockPath, 0, kCannotLock + describeFileError(cause));
    }
    run->readersLock = true;
  } else {
    removeStaleTemporaries(run->target);
  }
  std::string bytes;
  const ReadResult result = readMachineFile(run->target, &bytes, &run->read, &error);
  if (result == ReadResult::kMissing) bytes = defaultMachineBytes();
  run->missing = result == ReadResult::kMissing;
  if (result == ReadResult::kRead) run->owner = {true, run->read.st_uid, run->read.st_gid};
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

// What can be refused is refused first (a file another program changed meanwhile, a
// write-back that cannot be made), then the log goes: a run whose lines cannot be
// logged changes nothing and ends with status 2, so every change to the machine has its
// lines in the log, and a run that has replaced the machine file has nothing left that
// could fail.
int finishFileRun(const FileRun& run) {
  if (!unchangedSinceRead(run)) return report(run.path, 0, kChangedMeanwhileReason);
  std::string bytes;
  if (const int status = writeBackBytes(run, &bytes)) return status;
  if (bytes.empty() && !run.machine.actedOnDevices && logUnwritable(run)) {
    printLine(folderOf(run.target), 0, kNotLogged);
    return 0;
  }
  std::string error;
  std::vector<std::string> lines = run.machine.log;
  lines.push_back("end registry-calls=" + std::to_string(run.machine.registryCalls));
  const std::string logPath = run.target + ".log";
  if (!appendLogFile(logPath, lines, run.owner, &error)) return report(logPath, 0, error);
  if (bytes.empty()) return 0;
  // Other runs' locks do not keep out a run that holds the readers' lock: should its folder
  // have become writable meanwhile, it still writes no machine back.
  if (run.readersLock) return report(run.path, 0, kCannotWrite + std::string(kOnlyReadLocked));
  // Checked again once the new file is written: writing and flushing it takes a while.
  const int cause =
      replaceFile(run.target, bytes, run.owner, [&] { return unchangedSinceRead(run); });
  if (cause == 0) return 0;
  if (cause == kChangedMeanwhile) return report(run.path, 0, kChangedMeanwhileReason);
  return report(run.path, 0,
                (run.missing ? kCannotCreate : kCannotWrite) + describeFileError(cause));
}

int endFileRun() {
  std::unique_ptr<FileRun> run(gFileRun);
  gFileRun = nullptr;
  setFileMachine(nullptr);
  const int status = finishFileRun(*run);
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
