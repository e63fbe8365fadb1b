// The disk as the machine file needs it: links followed to the file they end at, the
// lock and the log opened beside it without following links and created with its owner,
// and whole-file replacement through a temporary file that a later run can recognise.
//
// Each operation returns 0 or the errno of its failure (kNotRegularFile where a file
// is there but is not a regular one, kChangedMeanwhile where another program changed a
// file being replaced).
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

constexpr int kNotRegularFile = -1;
constexpr int kChangedMeanwhile = -2;

// Who owns the machine file: the lock, the log and a written-back file are given this
// owner and group when the process may (known is false when there is no file yet).
struct FileOwner {
  bool known = false;
  uid_t uid = 0;
  gid_t gid = 0;
};

// The reason for an errno of these operations, as strerror gives it (ELOOP, from a
// file opened without following links, is "Is a symbolic link").
std::string describeFileError(int error);

// The folder part of `path` ("." when it has none).
std::string folderOf(const std::string& path);

// The owner and group of the nearest existing folder above `path`: what the files and
// folders made for a machine that does not exist yet are given, so that a first run as
// root leaves the user's own machine theirs.
FileOwner nearestFolderOwner(const std::string& path);

// Creates `folder` and its parents where missing, each given `owner`.
int makeFolders(const std::string& folder, const FileOwner& owner);

// The file `path` names once the symbolic links it ends in are followed, each relative
// link from the folder it stands in (the file need not exist: a dangling link gives the
// path it points to). ELOOP after 40 links. A link in a sticky world-writable folder
// is followed only by its owner or when it is the folder owner's, as the kernel follows
// links; and as root, a link owned by another user is not followed to a place where
// that user may not put a file (a folder they may not write, another user's file in a
// sticky folder): it could otherwise make root replace any file. Both are EACCES.
int followLinks(const std::string& path, std::string* target);

// 0 when the process may write `path` (a file, or a folder to create files in) by the
// kernel's rules for its effective user (root writes what is not on a read-only mount);
// else the errno (EACCES, EROFS, ENOENT, ...).
int writeAccess(const std::string& path);

// Opens the regular file `path` with `flags`, never through a symbolic link at its end
// (ELOOP) and never blocking on a FIFO. A missing file is created (mode 0666 less the
// umask) and given `owner`.
int openBeside(const std::string& path, int flags, const FileOwner& owner, int* fd);

// Writes every byte; on a failure after a short write the rest is not tried again.
int writeAll(int fd, const std::string& bytes);

// Replaces the file at `path` by `bytes`: written to "<path>.writing-XXXXXX" in the same
// folder, given the old file's mode, owner and group (a new file: 0666 less the umask and
// `owner`), flushed and renamed over it. `unchanged` is asked last, just before the
// rename: when another program has changed the file while the temporary was written, it
// is left to that program (kChangedMeanwhile). On a failure the old file is as it was
// and the temporary gone.
int replaceFile(const std::string& path, const std::string& bytes, const FileOwner& owner,
                const std::function<bool()>& unchanged);

// Removes the temporaries of `path` that runs killed during a write-back left behind.
// Call only while holding the machine's lock.
void removeStaleTemporaries(const std::string& path);
