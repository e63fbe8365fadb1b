// Test support for runs on a machine file: scratch folders, whole-file reads and
// writes, standard error capture, and a fixture whose in-process runs of the program
// use a machine file of their own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The file's bytes, or "" when it cannot be read.
std::string readBytes(const std::string& path);
// Replaces the file's content with `bytes`.
void writeBytes(const std::string& path, const std::string& bytes);

// A folder of its own under TMPDIR (or /tmp), named `<prefix>-XXXXXX`, removed with
// everything in it. path() is "" when the folder could not be made.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Captures what is written to file descriptor 2 from construction until finish() (or
// destruction).
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // Gives file descriptor 2 back and returns what was written to it; "" on a later call.
  std::string finish();

 private:
  std::string path_;
  int file_ = -1;
  int saved_ = -1;
};

// What an in-process run of the program did.
struct FileRun {
  int status = 0;
  std::string out;  // standard output, UTF-8
  std::string err;  // file descriptor 2, as written
};

// A test whose machine is the file `fileInFolder` inside a scratch folder: the file is
// neither created nor removed here, ZPCONFIG_MACHINE names it for the life of the test,
// and the folder goes with everything in it afterwards.
class MachineFileTest : public testing::Test {
 protected:
  explicit MachineFileTest(const std::string& fileInFolder);
  void SetUp() override;
  void TearDown() override;

  // Runs the program with these arguments (after the program name, UTF-8), its
  // standard output and standard error captured.
  FileRun run(const std::vector<std::string>& args);
  // Makes the folder the machine file goes in, with its parents.
  void makeFolder();

  std::string folder_;  // the scratch folder
  std::string path_;    // the machine file

 private:
  ScratchFolder scratch_;
  std::string fileInFolder_;
  bool switched_ = false;  // ZPCONFIG_MACHINE names path_
  bool hadMachine_ = false;
  std::string savedMachine_;
};
