// Many runs of the built program at once against one machine file, each changing its
// own port: the file lock must serialise them so that no run loses another's change,
// and each run must close its part of the event log.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/reg_reader.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/utf.h"
#include "tests/support/file_machine.h"
#include "tests/support/harness.h"

extern char** environ;

namespace {

struct Child {
  pid_t pid = -1;
  std::string outPath;
};

// Starts the program with `args`, its standard output going to `outPath`.
Child startRun(const std::string& machinePath, const std::vector<std::string>& args,
               const std::string& outPath) {
  std::vector<std::string> texts = {ZP_PROGRAM_PATH};
  texts.insert(texts.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment = {"ZPCONFIG_MACHINE=" + machinePath};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::string(*entry).rfind("ZPCONFIG_MACHINE=", 0) != 0) environment.push_back(*entry);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  Child child;
  child.outPath = outPath;
  if (posix_spawn(&child.pid, ZP_PROGRAM_PATH, &actions, nullptr, argv.data(), envp.data()) != 0) {
    child.pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

int waitForExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int countLinesStarting(const std::string& text, const std::string& prefix) {
  int count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) count += line.rfind(prefix, 0) == 0;
  return count;
}

// COM3 to COM14 of the default machine: board 0 ports 0 to 3, board 1 ports 0 to 7.
std::string portKey(int comNumber) {
  const int board = comNumber < 7 ? 0 : 1;
  const int port = comNumber < 7 ? comNumber - 3 : comNumber - 7;
  return std::string(kParametersKey) + "\\Device" + std::to_string(board) + "\\Port" +
         std::to_string(port);
}

TEST(ConcurrentRuns, EveryRunKeepsItsChangeAndClosesItsLog) {
  const struct {
    const char* what;
    bool fileExists;
  } cases[] = {
      {"the runs race to create the machine file", false},
      {"the machine file exists", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder("zp-concurrent");
    ASSERT_FALSE(folder.path().empty());
    const std::string machinePath = folder.path() + "/machine.reg";
    int runs = 0;
    if (c.fileExists) {
      const Child first = startRun(machinePath, {"enum"}, folder.path() + "/enum.out");
      ASSERT_EQ(waitForExit(first.pid), 0);
      ++runs;
    }

    std::vector<Child> children;
    for (int com = 3; com <= 14; ++com) {
      const std::string name = "COM" + std::to_string(com);
      children.push_back(startRun(machinePath,
                                  {"set", name, "-timeout=" + std::to_string(com * 10)},
                                  folder.path() + "/" + name + ".out"));
    }
    for (const Child& child : children) {
      ASSERT_GT(child.pid, 0);
      EXPECT_EQ(waitForExit(child.pid), 0) << child.outPath;
      EXPECT_EQ(readBytes(child.outPath), "setting is changed.\n") << child.outPath;
      ++runs;
    }

    Registry registry;
    RegParseError error;
    ASSERT_TRUE(readRegText(readBytes(machinePath), &registry, &error))
        << error.line << ": " << error.reason;
    for (int com = 3; com <= 14; ++com) {
      uint32_t timeout = 0;
      EXPECT_TRUE(storedDword(registry, utf8ToUtf16(portKey(com)), u"TxCloseTime", &timeout))
          << com;
      EXPECT_EQ(timeout, static_cast<uint32_t>(com * 10)) << com;
    }
    EXPECT_EQ(countLinesStarting(readBytes(machinePath + ".log"), "end registry-calls="), runs);
  }
}

}  // namespace
