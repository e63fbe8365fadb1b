// The machine file: created from the default machine, left byte-identical by runs that
// change nothing, rewritten atomically by runs that do, locked for the whole run, and
// refused with one line and exit status 2 when it cannot be used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/os_process.h"
#include "platform/os_registry.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/os_process_sim.h"
#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"
#include "platform/sim/utf.h"
#include "tests/support/file_machine.h"
#include "tests/support/fixtures.h"

namespace {

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

class MachineFile : public MachineFileTest {
 protected:
  MachineFile() : MachineFileTest("state/zpconfigutil/machine.reg") {}
};

TEST_F(MachineFile, CreatedFromTheDefaultAndRewrittenOnlyWhenChanged) {
  const FileRun first = run({"enum"});
  EXPECT_EQ(first.status, 0);
  EXPECT_NE(first.out.find("Lab rack A"), std::string::npos);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(readBytes(path_), defaultMachineText());
  const std::vector<std::string> log = lines(readBytes(path_ + ".log"));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], "open \\\\.\\zephyn");
  EXPECT_EQ(log[1], "ioctl 0x1B2010 in=40 out=40 type=20 ui=1");
  EXPECT_EQ(log[2], "close \\\\.\\zephyn");
  EXPECT_TRUE(std::regex_match(log[3], std::regex("end registry-calls=[1-9][0-9]*"))) << log[3];

  EXPECT_EQ(run({"enum"}).status, 0);
  EXPECT_EQ(readBytes(path_), defaultMachineText()) << "an unchanged run leaves the file alone";
  EXPECT_EQ(lines(readBytes(path_ + ".log")).size(), 8u);

  EXPECT_EQ(run({"set", "COM5", "-wait=on"}).status, 0);
  const std::string changed = readBytes(path_);
  ASSERT_EQ(changed.compare(0, 2, "\xFF\xFE"), 0) << "written back as UTF-16LE with BOM";
  Registry registry;
  RegParseError error;
  ASSERT_TRUE(readRegText(changed, &registry, &error)) << error.reason;
  EXPECT_EQ(writeRegFile(registry), changed);
  uint32_t wait = 0;
  EXPECT_TRUE(storedDword(
      registry, u"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters\\Device0\\Port2",
      u"WaitOnTx", &wait));
  EXPECT_EQ(wait, 1u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(run({"enum"}).status, 0);
    EXPECT_EQ(readBytes(path_), changed);
  }
}

TEST_F(MachineFile, UnusableFilesEndTheRunWithStatus2) {
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  const std::string text = defaultMachineText();
  const size_t cut = text.find("=\"") + 3;  // inside the first quoted string data

  int cutLine = 1;
  for (size_t i = 0; i < cut; ++i) cutLine += text[i] == '\n' ? 1 : 0;
  const std::string utf16 =
      "\xFF\xFE" + toUtf16LeBytes(utf8ToUtf16(header + "[HKEY_LOCAL_MACHINE\\A]\r\n"));
  const struct {
    const char* what;
    std::string bytes;
    std::string where;
  } cases[] = {
      {"another header", "REGEDIT5\r\n", ":1: missing registry header"},
      {"bad hex", header + "[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=hex:zz\r\n", ":4: malformed hex data"},
      {"cut in a string", text.substr(0, cut),
       ":" + std::to_string(cutLine) + ": unterminated string"},
      {"a byte of no UTF-8 character", header + "[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"caf\xE9\"\r\n",
       ":4: malformed UTF-8 text"},
      {"cut in a UTF-16 unit", utf16.substr(0, utf16.size() - 1),
       ":3: UTF-16 text cut short in the middle of a character"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    makeFolder();
    writeBytes(path_, c.bytes);
    const FileRun result = run({"enum"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "") << "nothing is printed before the failure";
    EXPECT_EQ(result.err, "ZPConfigUtil: " + path_ + c.where + "\n");
    EXPECT_EQ(readBytes(path_), c.bytes);
    EXPECT_FALSE(exists(path_ + ".log"));
  }
  unlink(path_.c_str());
  mkdir(path_.c_str(), 0777);
  const FileRun unreadable = run({"get", "0"});
  EXPECT_EQ(unreadable.status, 2);
  EXPECT_EQ(unreadable.err, "ZPConfigUtil: " + path_ + ": not a regular file\n");
}

TEST_F(MachineFile, CommandsThatNeverReachThePlatformTouchNothing) {
  const std::vector<std::string> commands[] = {{"help"}, {}, {"bogus"}, {"help", "set"}};
  for (const auto& args : commands) {
    SCOPED_TRACE(args.empty() ? "(empty)" : args[0]);
    const FileRun missing = run(args);
    EXPECT_EQ(missing.status, 0);
    EXPECT_NE(missing.out, "");
    EXPECT_FALSE(exists(folder_ + "/state")) << "no folder is created";

    makeFolder();
    writeBytes(path_, "corrupt");
    const FileRun corrupt = run(args);
    EXPECT_EQ(corrupt.status, 0);
    EXPECT_EQ(corrupt.out, missing.out);
    EXPECT_EQ(corrupt.err, "");
    EXPECT_EQ(readBytes(path_), "corrupt");
    EXPECT_FALSE(exists(path_ + ".lock"));
    EXPECT_FALSE(exists(path_ + ".log"));
    std::system(("rm -rf " + folder_ + "/state").c_str());
  }
}

TEST_F(MachineFile, WriteBackFailureComesAtTheEndAndKeepsTheLog) {
  makeFolder();
  writeBytes(path_, defaultMachineText());
  ASSERT_EQ(beginPlatform(), 0);
  RegKey key = nullptr;
  ASSERT_EQ(regCreateKeyEx(regLocalMachine(), L"SOFTWARE\\Changed", kKeyAllAccess, &key),
            kOsSuccess);
  regCloseKey(key);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = {1024, RLIM_INFINITY};  // room for the log, not for the new file
  setrlimit(RLIMIT_FSIZE, &limit);
  StderrCapture err;
  EXPECT_EQ(endPlatform(), 2);
  limit.rlim_cur = RLIM_INFINITY;
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_EQ(err.finish(), "ZPConfigUtil: " + path_ + ": cannot write: File too large\n");
  EXPECT_EQ(lines(readBytes(path_ + ".log")), std::vector<std::string>{"end registry-calls=2"});
  const std::string leftovers = folder_ + "/state/zpconfigutil";
  EXPECT_EQ(std::system(("test $(ls " + leftovers + " | wc -l) -eq 3").c_str()), 0)
      << "only the file, the lock and the log remain";
}

TEST_F(MachineFile, RunsWaitForTheLock) {
  makeFolder();
  const int lock = open((path_ + ".lock").c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  std::atomic<bool> begun{false};
  int status = -1;
  std::thread runner([&] {
    status = beginPlatform();
    begun = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(begun) << "the run waits while another holds the machine";
  EXPECT_FALSE(exists(path_)) << "nothing is read or created before the lock";
  flock(lock, LOCK_UN);
  runner.join();
  close(lock);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(platformRunOpen());
  EXPECT_EQ(endPlatform(), 0);
  EXPECT_FALSE(platformRunOpen());
}

class MachineFileFault : public MachineFileTest {
 protected:
  MachineFileFault() : MachineFileTest("m.reg") {}
};

struct stat factsOf(const std::string& path) {
  struct stat facts {};
  lstat(path.c_str(), &facts);
  return facts;
}

// Each fault once, with the rule that holds after every one of them: status 2 when and
// only when the machine file is as it was, a committed change never reported as a
// failure, and nothing made, replaced or given away that the user did not ask for.
TEST_F(MachineFileFault, EndsWithTheFileWholeOrTheChangeCommitted) {
  const std::string text = defaultMachineText();
  const std::string real = folder_ + "/real/m.reg";
  const std::vector<std::string> set = {"set", "COM5", "-wait=on"};
  const auto untouched = [&] { EXPECT_TRUE(readBytes(path_) == text); };
  const auto nothingBeside = [&] {
    EXPECT_EQ(std::system(("test -z \"$(ls " + folder_ + ")\"").c_str()), 0) << "no lock, no log";
  };
  const auto limitFileSize = [](rlim_t bytes) {
    const struct rlimit limit = {bytes, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
  };
  const std::string controls = folder_ + "/a\nb\x1b[2Jc.reg";
  const std::string log(1 << 20, 'x');
  const std::string escCodePage =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\"
      "CodePage]\r\n\"ACP\"=\"\x1b[2J\"\r\n";
  const std::string lock = path_ + ".lock";
  const std::vector<std::string> enumerate = {"enum"}, timeout = {"set", "COM5", "-timeout=77"};
  const auto asUser = [](uid_t user) { EXPECT_TRUE(setegid(user) == 0 && seteuid(user) == 0); };
  std::string deepKeys, deep;  // 655 KB of keys 500 levels deep: 320 MB written back
  for (int level = 0; level < 500; ++level) deep += "\\" + std::string(255, 'k');
  for (char c = '0'; c < '5'; ++c) deepKeys += "\n[HKEY_LOCAL_MACHINE\\" + (c + deep) + "]\n";
  std::thread other;  // another run, holding the lock from before the run starts
  const struct {
    const char* what;
    bool asRoot;
    std::function<void()> prepare;
    std::vector<std::string> args;
    int status;
    std::string err;
    std::function<void()> check;
  } faults[] = {
      {"a link is followed: the target changes, the link stays", false,
       [&] {
         mkdir((folder_ + "/real").c_str(), 0777);
         writeBytes(real, text);
         symlink("real/m.reg", path_.c_str());
       },
       set, 0, "",
       [&] {
         EXPECT_TRUE(S_ISLNK(factsOf(path_).st_mode));
         EXPECT_EQ(readBytes(real).compare(0, 2, "\xFF\xFE"), 0) << "written back";
         EXPECT_TRUE(exists(real + ".lock") && exists(real + ".log"));
         EXPECT_FALSE(exists(path_ + ".lock") || exists(path_ + ".log"));
       }},
      {"a dangling link: its target is created",
       false,
       [&] { symlink("real/m.reg", path_.c_str()); },
       {"enum"},
       0,
       "",
       [&] {
         EXPECT_TRUE(S_ISLNK(factsOf(path_).st_mode));
         EXPECT_TRUE(readBytes(real) == text);
       }},
      {"an event log that cannot be opened: nothing is written", false,
       [&] {
         writeBytes(path_, text);
         mkdir((path_ + ".log").c_str(), 0777);
       },
       set, 2, "ZPConfigUtil: " + path_ + ".log: cannot open the event log: Is a directory\n",
       untouched},
      {"a full disk cuts the event log: nothing is written, the cut is taken back", false,
       [&] {
         writeBytes(path_, text);
         writeBytes(path_ + ".log", log.substr(0, 999) + "\n");
         signal(SIGXFSZ, SIG_IGN);
         limitFileSize(1010);  // above what standard error gets
       },
       set, 2, "ZPConfigUtil: " + path_ + ".log: cannot write the event log: File too large\n",
       [&] {
         limitFileSize(RLIM_INFINITY);
         untouched();
         EXPECT_EQ(readBytes(path_ + ".log"), log.substr(0, 999) + "\n");
       }},
      {"a log a full disk cuts at its first line is not left behind", false,
       [&] {
         writeBytes(path_, text);
         signal(SIGXFSZ, SIG_IGN);
         limitFileSize(120);  // above what standard error gets, below the run's lines
       },
       set, 2, "ZPConfigUtil: " + path_ + ".log: cannot write the event log: File too large\n",
       [&] {
         limitFileSize(RLIM_INFINITY);
         untouched();
         EXPECT_FALSE(exists(path_ + ".log"));
       }},
      {"a line a killed run left unended is ended first",
       false,
       [&] {
         writeBytes(path_, text);
         writeBytes(path_ + ".log", "open \\\\.\\zeph");
       },
       {"enum"},
       0,
       "",
       [&] { EXPECT_EQ(lines(readBytes(path_ + ".log"))[1], "open \\\\.\\zephyn"); }},
      {"root keeps the owner of the user's file and gives it the lock and log", true,
       [&] {
         writeBytes(path_, text);
         chmod(path_.c_str(), 0600);
         chown(path_.c_str(), 65534, 65534);
         chown(folder_.c_str(), 65534, 65534);
       },
       set, 0, "",
       [&] {
         for (const std::string& file : {path_, path_ + ".lock", path_ + ".log"}) {
           EXPECT_EQ(factsOf(file).st_uid, 65534u) << file;
           EXPECT_EQ(factsOf(file).st_gid, 65534u) << file;
         }
         EXPECT_EQ(factsOf(path_).st_mode & 07777, 0600u);
         ASSERT_EQ(setegid(65534), 0);
         ASSERT_EQ(seteuid(65534), 0);
         const FileRun user = run({"enum"});
         EXPECT_EQ(seteuid(0), 0);
         EXPECT_EQ(setegid(0), 0);
         EXPECT_EQ(user.status, 0) << user.err;
       }},
      {"a FIFO is no machine and is never opened",
       false,
       [&] { mkfifo(path_.c_str(), 0666); },
       {"enum"},
       2,
       "ZPConfigUtil: " + path_ + ": not a regular file\n",
       [&] { unlink(path_.c_str()); }},
      {"a path ending in a slash names a folder, and none is made",
       false,
       [&] { setenv("ZPCONFIG_MACHINE", (folder_ + "/new/").c_str(), 1); },
       {"enum"},
       2,
       "ZPConfigUtil: " + folder_ + "/new/: not a regular file\n",
       [&] { setenv("ZPCONFIG_MACHINE", path_.c_str(), 1); }},
      {"a device behind a link is no machine",
       false,
       [&] { symlink("/dev/zero", path_.c_str()); },
       {"enum"},
       2,
       "ZPConfigUtil: " + path_ + ": not a regular file\n",
       [&] {
         EXPECT_FALSE(exists("/dev/zero.lock"));
         unlink(path_.c_str());
       }},
      {"a file over 256 MiB is no machine",
       false,
       [&] { truncate((writeBytes(path_, ""), path_).c_str(), (off_t{256} << 20) + 1); },
       {"enum"},
       2,
       "ZPConfigUtil: " + path_ + ": larger than 256 MiB\n",
       [&] { unlink(path_.c_str()); }},
      {"a temporary of a killed write-back is removed",
       false,
       [&] {
         writeBytes(path_, text);
         writeBytes(path_ + ".writing-k1LLed", text.substr(0, 100));
         writeBytes(path_ + ".writing-mine", "the user's");
         writeBytes(path_ + ".writing-my.old", "the user's");
       },
       {"enum"},
       0,
       "",
       [&] {
         EXPECT_FALSE(exists(path_ + ".writing-k1LLed"));
         EXPECT_TRUE(exists(path_ + ".writing-mine"));
         EXPECT_TRUE(exists(path_ + ".writing-my.old"));
       }},
      {"a log that would pass 1 MiB becomes <log>.1",
       false,
       [&] {
         writeBytes(path_, text);
         writeBytes(path_ + ".log", log);
       },
       {"enum"},
       0,
       "",
       [&] {
         EXPECT_TRUE(readBytes(path_ + ".log.1") == log);
         EXPECT_EQ(lines(readBytes(path_ + ".log")).size(), 4u);
       }},
      {"a log that cannot be rotated grows on", false,
       [&] {
         writeBytes(path_, text);
         writeBytes(path_ + ".log", log);
         mkdir((path_ + ".log.1").c_str(), 0777);
       },
       set, 0, "", [&] { EXPECT_EQ(readBytes(path_ + ".log").compare(0, log.size(), log), 0); }},
      {"a linked log is refused, its target untouched", false,
       [&] {
         writeBytes(path_, text);
         writeBytes(folder_ + "/victim", "victim\n");
         symlink("victim", (path_ + ".log").c_str());
       },
       set, 2, "ZPConfigUtil: " + path_ + ".log: cannot open the event log: Is a symbolic link\n",
       [&] {
         untouched();
         EXPECT_EQ(readBytes(folder_ + "/victim"), "victim\n");
       }},
      {"control characters of the path are escaped",
       false,
       [&] {
         mkfifo(controls.c_str(), 0666);
         setenv("ZPCONFIG_MACHINE", controls.c_str(), 1);
       },
       {"get", "0"},
       2,
       "ZPConfigUtil: " + folder_ + "/a\\nb\\x1b[2Jc.reg: not a regular file\n",
       [&] {
         setenv("ZPCONFIG_MACHINE", path_.c_str(), 1);
         unlink(controls.c_str());
       }},
      {"control characters of the machine's code page are escaped",
       false,
       [&] { writeBytes(path_, escCodePage); },
       {"enum"},
       2,
       "ZPConfigUtil: " + path_ +
           ": the ANSI code page (Nls\\CodePage, ACP) \"\\x1b[2J\" is not simulated: only "
           "\"1252\" and \"65001\" are\n",
       [&] { EXPECT_EQ(readBytes(path_), escCodePage); }},
      {"a run waits a second, says so, and takes a lock a reset deleted again", false,
       [&] {
         writeBytes(path_, text);
         const int held = open(lock.c_str(), O_RDWR | O_CREAT, 0666);
         flock(held, LOCK_EX);
         other = std::thread([&, held] {
           std::this_thread::sleep_for(std::chrono::milliseconds(1300));
           unlink(lock.c_str());  // a reset; another run takes the new lock and changes the file
           const int next = open(lock.c_str(), O_RDWR | O_CREAT, 0666);
           flock(next, LOCK_EX);
           close(held);
           // Held long enough that the run still waits a second after it began, however late.
           std::this_thread::sleep_for(std::chrono::milliseconds(1000));
           writeBytes(path_, text + "\n[HKEY_LOCAL_MACHINE\\Next]\n");
           close(next);
         });
       },
       timeout, 0, "ZPConfigUtil: waiting for " + lock + ", held by another run.\n",
       [&] {
         other.join();
         const std::string now = utf16ToUtf8(fromUtf16LeBytes(readBytes(path_)));
         EXPECT_TRUE(now.find("Next]") != now.npos && now.find("dword:0000004d") != now.npos);
       }},
      {"a file another program replaced during the run is left to it", false,
       [&] {
         writeBytes(path_, text);
         EXPECT_EQ(beginPlatform(), 0);  // read: the run below goes on from here
         writeBytes(folder_ + "/saved", text + "; saved\n");
         rename((folder_ + "/saved").c_str(), path_.c_str());
       },
       set, 2,
       "ZPConfigUtil: " + path_ +
           ": changed by another program during the run; run the command again.\n",
       [&] { EXPECT_TRUE(readBytes(path_) == text + "; saved\n" && !exists(path_ + ".log")); }},
      {"a set on another user's file in the user's folder is refused", true,
       [&] {
         writeBytes(path_, text);
         chmod(path_.c_str(), 0644);
         chown(folder_.c_str(), 65534, 65534);
         asUser(65534);
       },
       set, 2, "ZPConfigUtil: " + path_ + ": cannot write: Permission denied\n", untouched},
      {"a folder the user may not write serves enum, unlogged", true,
       [&] {
         writeBytes(path_, text);
         chmod(path_.c_str(), 0644);
         chmod(folder_.c_str(), 0755);
         asUser(65534);
       },
       enumerate, 0, "ZPConfigUtil: " + folder_ + ": read-only: this run is not logged.\n",
       [&] { EXPECT_FALSE(exists(lock) || exists(path_ + ".log")); }},
      {"a set there that tells the driver what the file holds already is refused",
       true,
       [&] {
         writeBytes(path_, text);
         chmod(path_.c_str(), 0644);
         chmod(folder_.c_str(), 0755);
         asUser(65534);
       },
       {"set", "COM5", "-wait=off"},
       2,
       "ZPConfigUtil: " + path_ + ".log: cannot open the event log: Permission denied\n",
       [&] { EXPECT_TRUE(readBytes(path_) == text && !exists(lock) && !exists(path_ + ".log")); }},
      {"a write-back the reader would refuse is not made", false,
       [&] { writeBytes(path_, text + deepKeys); }, set, 2,
       "ZPConfigUtil: " + path_ + ": cannot write: the change would make it larger than 256 MiB\n",
       [&] { EXPECT_TRUE(readBytes(path_) == text + deepKeys); }},
      {"a first run as root gives what it makes to the owner of the folder above", true,
       [&] {
         chown(folder_.c_str(), 65534, 65534);
         setenv("ZPCONFIG_MACHINE", (folder_ + "/new/m.reg").c_str(), 1);
       },
       enumerate, 0, "",
       [&] {
         setenv("ZPCONFIG_MACHINE", path_.c_str(), 1);
         for (const char* made : {"/new", "/new/m.reg", "/new/m.reg.lock", "/new/m.reg.log"})
           EXPECT_EQ(factsOf(folder_ + made).st_uid, 65534u) << made;
       }},
      {"root follows no link of a user into a folder that user may not write", true,
       [&] {
         mkdir((folder_ + "/real").c_str(), 0755);
         writeBytes(real, text);
         symlink("real/m.reg", path_.c_str());
         lchown(path_.c_str(), 65534, 65534);
       },
       set, 2, "ZPConfigUtil: " + path_ + ": cannot follow its symbolic links: Permission denied\n",
       [&] { EXPECT_TRUE(readBytes(real) == text && !exists(real + ".lock")); }},
      {"a user's link in a sticky folder is not followed to another user's file there", true,
       [&] {
         chmod(folder_.c_str(), 01777);
         writeBytes(folder_ + "/theirs.reg", text);
         chown((folder_ + "/theirs.reg").c_str(), 1, 1);
         symlink("theirs.reg", path_.c_str());
         lchown(path_.c_str(), 65534, 65534);
       },
       set, 2, "ZPConfigUtil: " + path_ + ": cannot follow its symbolic links: Permission denied\n",
       [&] {
         chmod(folder_.c_str(), 0700);
         EXPECT_TRUE(readBytes(folder_ + "/theirs.reg") == text &&
                     !exists(folder_ + "/theirs.reg.lock"));
       }},
  };
  std::string skipped;
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.what);
    chown(folder_.c_str(), geteuid(), getegid());
    std::system(("rm -rf " + folder_ + "/*").c_str());
    if (fault.asRoot && geteuid() != 0) {
      skipped += std::string(" \"") + fault.what + "\"";
      continue;
    }
    fault.prepare();
    const FileRun result = run(fault.args);
    fault.check();
    EXPECT_TRUE(seteuid(getuid()) == 0 && setegid(getgid()) == 0);  // after a row run as a user
    EXPECT_EQ(result.status, fault.status);
    EXPECT_EQ(result.err, fault.err);
    if (fault.status == 2 && fault.err.find(": not a") != std::string::npos) nothingBeside();
  }
  if (!skipped.empty()) GTEST_SKIP() << "needs root (to own files as another user):" << skipped;
}

TEST(MachineFilePath, FromTheEnvironment) {
  const struct {
    const char* machine;
    const char* state;
    const char* home;
    std::string path;
  } cases[] = {
      {"/m/x.reg", "/s", "/h", "/m/x.reg"},
      {"", "/s", "/h", "/s/zpconfigutil/machine.reg"},
      {nullptr, "", "/h", "/h/.local/state/zpconfigutil/machine.reg"},
      {nullptr, nullptr, "/h", "/h/.local/state/zpconfigutil/machine.reg"},
      {nullptr, nullptr, nullptr, ""},
  };
  const char* names[] = {"ZPCONFIG_MACHINE", "XDG_STATE_HOME", "HOME"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* value = std::getenv(names[i]);
    had[i] = value != nullptr;
    saved[i] = value != nullptr ? value : "";
  }
  for (const auto& c : cases) {
    const char* values[] = {c.machine, c.state, c.home};
    for (int i = 0; i < 3; ++i) {
      if (values[i] != nullptr) {
        setenv(names[i], values[i], 1);
      } else {
        unsetenv(names[i]);
      }
    }
    std::string path;
    std::string error;
    EXPECT_EQ(machineFilePath(&path, &error), !c.path.empty());
    if (!c.path.empty()) {
      EXPECT_EQ(path, c.path);
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (had[i]) {
      setenv(names[i], saved[i].c_str(), 1);
    } else {
      unsetenv(names[i]);
    }
  }
}

}  // namespace
