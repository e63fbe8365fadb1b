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

#include "platform/os_process.h"
#include "platform/sim/event_log.h"
#include "platform/sim/machine.h"
#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"

extern const unsigned char kDefaultMachineText[];
extern const size_t kDefaultMachineTextSize;

namespace {

constexpr int kPlatformFailure = 2;

struct FileRun {
  std::string path;
  int lockFd = -1;
  SimMachine machine;
};

FileRun* gFileRun = nullptr;
bool gTestRunOpen = false;

int report(const std::string& path, int line, const std::string& reason) {
  if (line > 0) {
    std::fprintf(stderr, "ZPConfigUtil: %s:%d: %s\n", path.c_str(), line, reason.c_str());
  } else {
    std::fprintf(stderr, "ZPConfigUtil: %s: %s\n", path.c_str(), reason.c_str());
  }
  std::fflush(stderr);
  return kPlatformFailure;
}

std::string failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool makeFolders(const std::string& folder, std::string* error) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = failure("cannot create its folder");
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult readFile(const std::string& path, std::string* bytes, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadResult::kMissing;
    *error = failure("cannot read");
    return ReadResult::kFailed;
  }
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = failure("cannot read");
      close(fd);
      return ReadResult::kFailed;
    }
    if (n == 0) break;
    bytes->append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return ReadResult::kRead;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// Replaces the file at `path` by `bytes` through a temporary file in the same folder, so
// that the old file stays whole until the new one is complete on disk.
bool replaceFile(const std::string& path, const std::string& bytes, const char* what,
                 std::string* error) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    *error = failure(what);
    return false;
  }
  struct stat old;
  mode_t mode = 0;
  if (stat(path.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = writeAll(fd, bytes) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  if (!ok) *error = failure(what);
  if (close(fd) != 0 && ok) {
    ok = false;
    *error = failure(what);
  }
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    *error = failure(what);
  }
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  const int folder = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

bool takeLock(const std::string& path, int* fd, std::string* error) {
  *fd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (*fd < 0) {
    *error = failure("cannot lock");
    return false;
  }
  while (flock(*fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    *error = failure("cannot lock");
    close(*fd);
    *fd = -1;
    return false;
  }
  return true;
}

int beginFileRun() {
  std::string path;
  std::string error;
  if (!machineFilePath(&path, &error)) return report(path, 0, error);
  auto run = std::make_unique<FileRun>();
  run->path = path;
  if (!makeFolders(folderOf(path), &error) || !takeLock(path, &run->lockFd, &error)) {
    return report(path, 0, error);
  }
  std::string bytes;
  const ReadResult result = readFile(path, &bytes, &error);
  if (result == ReadResult::kMissing) {
    bytes = defaultMachineBytes();
    replaceFile(path, bytes, "cannot create", &error);
  }
  RegParseError parseError;
  const bool readable = result != ReadResult::kFailed && error.empty();
  if (!readable || !readRegText(bytes, &run->machine.registry, &parseError)) {
    close(run->lockFd);
    if (!readable) return report(path, 0, error);
    return report(path, parseError.line, parseError.reason);
  }
  run->machine.registry.clearChanged();
  gFileRun = run.release();
  setFileMachine(&gFileRun->machine);
  return 0;
}

int endFileRun() {
  std::unique_ptr<FileRun> run(gFileRun);
  gFileRun = nullptr;
  setFileMachine(nullptr);
  int status = 0;
  std::string error;
  if (run->machine.registry.changed() &&
      !replaceFile(run->path, writeRegFile(run->machine.registry), "cannot write", &error)) {
    status = report(run->path, 0, error);
  }
  std::vector<std::string> lines = run->machine.log;
  lines.push_back("end registry-calls=" + std::to_string(run->machine.registryCalls));
  if (!appendLogFile(run->path + ".log", lines, &error)) status = report(run->path, 0, error);
  close(run->lockFd);
  return status;
}

}  // namespace

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

bool platformRunOpen() { return gFileRun != nullptr || gTestRunOpen; }

std::string defaultMachineBytes() {
  return std::string(reinterpret_cast<const char*>(kDefaultMachineText), kDefaultMachineTextSize);
}

// The simulated machine runs the program as a native process.
bool runsUnderWow64() { return false; }

int beginPlatform() {
  if (platformRunOpen()) return 0;
  setLastOsError(kOsSuccess);
  if (testMachineInstalled()) {
    currentMachine()->registryCalls = 0;
    gTestRunOpen = true;
    return 0;
  }
  return beginFileRun();
}

int endPlatform() {
  if (gTestRunOpen) {
    gTestRunOpen = false;
    SimMachine* machine = currentMachine();
    if (machine != nullptr) {
      machine->log.push_back("end registry-calls=" + std::to_string(machine->registryCalls));
    }
    return 0;
  }
  if (gFileRun == nullptr) return 0;
  return endFileRun();
}
