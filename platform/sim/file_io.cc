#include "platform/sim/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxLinks = 40;  // as the kernel follows them
const char kTemporaryMark[] = ".writing-";
const char kTemporaryTail[] = "XXXXXX";  // mkstemp's random part

// Gives the file the owner and group when it has other ones; the group alone when the
// process may not give the owner (an ordinary user's own file in one of their groups).
void giveOwner(int fd, const FileOwner& owner) {
  struct stat facts;
  if (!owner.known || fstat(fd, &facts) != 0) return;
  if (facts.st_uid == owner.uid && facts.st_gid == owner.gid) return;
  if (fchown(fd, owner.uid, owner.gid) != 0 && facts.st_gid != owner.gid) {
    (void)fchown(fd, static_cast<uid_t>(-1), owner.gid);
  }
}

int failed(int fd) {
  const int error = errno;
  if (fd >= 0) close(fd);
  return error;
}

std::string baseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True when the name's tail from `at` holds only what mkstemp puts there (letters and
// digits): a user's "<file>.writing-my.old" is not taken for a temporary.
bool madeByMkstemp(const std::string& name, size_t at) {
  for (size_t i = at; i < name.size(); ++i) {
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

// The facts of the nearest existing folder above `path` (false when there is none).
bool nearestFolder(const std::string& path, struct stat* facts) {
  std::string folder = folderOf(path);
  for (;;) {
    if (stat(folder.c_str(), facts) == 0) return S_ISDIR(facts->st_mode);
    const std::string above = folderOf(folder);
    if (errno != ENOENT || above == folder) return false;
    folder = above;
  }
}

bool inGroup(uid_t uid, gid_t gid) {
  struct passwd entry;
  struct passwd* found = nullptr;
  char text[4096];
  if (getpwuid_r(uid, &entry, text, sizeof text, &found) != 0 || found == nullptr) return false;
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<size_t>(count));
    if (getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) return false;
  }
  groups.resize(static_cast<size_t>(count));
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// Whether the user `uid` may put a file of their own at `path`: create files in the
// nearest existing folder above it, by that folder's mode bits as the kernel reads them
// (owner, else group, else others), and, in a sticky folder they do not own, only where
// no other user's file is there (they could not remove it).
bool userMayWriteBeside(uid_t uid, const std::string& path) {
  struct stat folder;
  if (!nearestFolder(path, &folder)) return false;
  mode_t needed = S_IWOTH | S_IXOTH;
  if (folder.st_uid == uid) {
    needed = S_IWUSR | S_IXUSR;
  } else if (inGroup(uid, folder.st_gid)) {
    needed = S_IWGRP | S_IXGRP;
  }
  if ((folder.st_mode & needed) != needed) return false;
  struct stat file;
  return (folder.st_mode & S_ISVTX) == 0 || folder.st_uid == uid ||
         lstat(path.c_str(), &file) != 0 || file.st_uid == uid;
}

// The kernel's rule for links in a sticky world-writable folder such as /tmp, kept here
// because the links are read by hand: such a link is followed only by its owner or when
// it belongs to the folder's owner.
bool linkTrusted(const std::string& link, const struct stat& facts) {
  struct stat folder;
  if (stat(folderOf(link).c_str(), &folder) != 0) return false;
  const mode_t shared = S_ISVTX | S_IWOTH;
  return (folder.st_mode & shared) != shared || facts.st_uid == geteuid() ||
         facts.st_uid == folder.st_uid;
}

}  // namespace

std::string describeFileError(int error) {
  if (error == kNotRegularFile) return "Not a regular file";
  if (error == ELOOP) return "Is a symbolic link";
  return std::strerror(error);
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

FileOwner nearestFolderOwner(const std::string& path) {
  struct stat folder;
  if (!nearestFolder(path, &folder)) return {};
  return {true, folder.st_uid, folder.st_gid};
}

int makeFolders(const std::string& folder, const FileOwner& owner) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0777) == 0) {
      const int fd = open(part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd >= 0) {
        giveOwner(fd, owner);
        close(fd);
      }
    } else if (errno != EEXIST) {
      return errno;
    }
    if (slash == std::string::npos) return 0;
  }
}

int followLinks(const std::string& path, std::string* target) {
  *target = path;
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat facts;
    if (lstat(target->c_str(), &facts) != 0 || !S_ISLNK(facts.st_mode)) return 0;
    char text[PATH_MAX];
    const ssize_t size = readlink(target->c_str(), text, sizeof text);
    if (size < 0) return errno;
    if (size == 0 || static_cast<size_t>(size) >= sizeof text) return ENAMETOOLONG;
    const std::string link(text, static_cast<size_t>(size));
    if (!linkTrusted(*target, facts)) return EACCES;
    const size_t slash = target->rfind('/');
    *target =
        link[0] == '/' || slash == std::string::npos ? link : target->substr(0, slash + 1) + link;
    const uid_t self = geteuid();
    if (self == 0 && facts.st_uid != self && !userMayWriteBeside(facts.st_uid, *target)) {
      return EACCES;
    }
  }
  return ELOOP;
}

int writeAccess(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

int openBeside(const std::string& path, int flags, const FileOwner& owner, int* fd) {
  const int always = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  *fd = open(path.c_str(), flags | always | O_CREAT | O_EXCL, 0666);
  if (*fd >= 0) {
    giveOwner(*fd, owner);
    return 0;
  }
  if (errno != EEXIST) return errno;
  *fd = open(path.c_str(), flags | always);
  if (*fd < 0) return errno;
  struct stat facts;
  if (fstat(*fd, &facts) != 0) return failed(*fd);
  if (!S_ISREG(facts.st_mode)) {
    close(*fd);
    *fd = -1;
    return kNotRegularFile;
  }
  return 0;
}

int writeAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    written += static_cast<size_t>(n);
  }
  return 0;
}

int replaceFile(const std::string& path, const std::string& bytes, const FileOwner& newOwner,
                const std::function<bool()>& unchanged) {
  std::string temporary = path + kTemporaryMark + kTemporaryTail;
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  FileOwner owner = newOwner;
  struct stat old;
  mode_t mode = 0;
  if (stat(path.c_str(), &old) == 0) {
    owner = {true, old.st_uid, old.st_gid};
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  giveOwner(fd, owner);  // before the mode: a change of owner clears set-id bits
  int error = writeAll(fd, bytes);
  if (error == 0 && (fchmod(fd, mode) != 0 || fsync(fd) != 0)) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && !unchanged()) error = kChangedMeanwhile;
  if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    return error;
  }
  const int folder = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return 0;
}

void removeStaleTemporaries(const std::string& path) {
  const std::string folder = folderOf(path);
  const std::string prefix = baseNameOf(path) + kTemporaryMark;
  DIR* entries = opendir(folder.c_str());
  if (entries == nullptr) return;
  while (const dirent* entry = readdir(entries)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + std::strlen(kTemporaryTail) ||
        name.compare(0, prefix.size(), prefix) != 0 || !madeByMkstemp(name, prefix.size())) {
      continue;
    }
    struct stat facts;
    const std::string stale = folder + "/" + name;
    if (lstat(stale.c_str(), &facts) == 0 && S_ISREG(facts.st_mode)) unlink(stale.c_str());
  }
  closedir(entries);
}
