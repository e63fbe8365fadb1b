// Test support: a simulated machine built in memory from .reg text, installed as the
// machine of the process for the life of a TestMachine, and in-process runs of the
// program against it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct RunResult {
  int status = 0;
  std::string out;  // standard output, UTF-8, line feeds as printed
};

// A registry value as stored: its type and its raw bytes (text types in UTF-16LE).
struct StoredValue {
  uint32_t type = 0;
  std::string bytes;
};

struct SimMachine;

class TestMachine {
 public:
  // Parses `regText` (a .reg export, given as UTF-8 text; the "Windows Registry Editor
  // Version 5.00" or "REGEDIT4" header may be left out) and installs the result as the
  // machine of the process. A parse error fails the current test.
  explicit TestMachine(const std::string& regText, bool addHeader = true);
  ~TestMachine();
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  // Runs the program with these arguments (after the program name, UTF-8).
  RunResult run(const std::vector<std::string>& args);

  // Registry inspection; paths are relative to HKEY_LOCAL_MACHINE.
  bool hasKey(const std::string& path) const;
  std::optional<StoredValue> value(const std::string& path, const std::string& name) const;
  // A REG_DWORD value, or nullopt when absent or not a 4-byte REG_DWORD.
  std::optional<uint32_t> dword(const std::string& path, const std::string& name) const;
  // A text value (REG_SZ, REG_EXPAND_SZ) as UTF-8 without its terminator, or nullopt.
  std::optional<std::string> text(const std::string& path, const std::string& name) const;
  // Sets values directly (not counted, not logged): for preparing a case.
  void setDword(const std::string& path, const std::string& name, uint32_t value);
  void setText(const std::string& path, const std::string& name, const std::string& text);
  void deleteKey(const std::string& path);

  // The whole registry in the machine file's form (Version 5.00), decoded to UTF-8.
  std::string exportText() const;

  // The event log lines of this machine so far, without their line feeds.
  std::vector<std::string> log() const;
  void clearLog();

  // The simulated machine itself, for tests of the platform side.
  SimMachine& machine() { return *machine_; }

 private:
  std::unique_ptr<SimMachine> machine_;
};

// Runs the program in-process through its entry with these arguments (after the program
// name, UTF-8): its exit status. Its output goes wherever the caller has sent it.
int runProgramWithArgs(const std::vector<std::string>& args);

// The lines that begin with `prefix`, in order (for event logs).
std::vector<std::string> linesStarting(const std::vector<std::string>& lines,
                                       const std::string& prefix);

// Captures what the program writes to standard output while it lives.
class OutputCapture {
 public:
  OutputCapture();
  ~OutputCapture();
  std::string text() const;  // UTF-8
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;

 private:
  std::string text_;
  std::string* previous_;
};

// Paths of the program's keys and of device nodes, for tests.
inline const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\ZephynPort";
inline const char kParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters";
inline const char kEventLogKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\ZephynPort";
inline const char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum";
inline const char kComDbKey[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
