#include "tests/support/file_machine.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/driver_channel.h"
#include "tests/support/harness.h"

namespace {

const char kMachineVariable[] = "ZPCONFIG_MACHINE";

std::string tempBase() {
  const char* base = std::getenv("TMPDIR");
  return base != nullptr && *base != '\0' ? base : "/tmp";
}

}  // namespace

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

ScratchFolder::ScratchFolder(const std::string& prefix) {
  std::string pattern = tempBase() + "/" + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

StderrCapture::StderrCapture() : path_(tempBase() + "/zp-stderr-XXXXXX") {
  std::fflush(stderr);
  file_ = mkstemp(path_.data());
  if (file_ < 0) {
    ADD_FAILURE() << "no file to capture standard error in";
    return;
  }
  saved_ = dup(2);
  dup2(file_, 2);
}

StderrCapture::~StderrCapture() { finish(); }

std::string StderrCapture::finish() {
  if (file_ < 0) return "";
  std::fflush(stderr);
  dup2(saved_, 2);
  close(saved_);
  close(file_);
  file_ = -1;
  const std::string text = readBytes(path_);
  unlink(path_.c_str());
  return text;
}

MachineFileTest::MachineFileTest(const std::string& fileInFolder)
    : scratch_("zp-machine"), fileInFolder_(fileInFolder) {}

void MachineFileTest::SetUp() {
  ASSERT_FALSE(scratch_.path().empty()) << "no scratch folder";
  folder_ = scratch_.path();
  path_ = folder_ + "/" + fileInFolder_;
  const char* saved = std::getenv(kMachineVariable);
  hadMachine_ = saved != nullptr;
  savedMachine_ = hadMachine_ ? saved : "";
  setenv(kMachineVariable, path_.c_str(), 1);
  switched_ = true;
}

void MachineFileTest::TearDown() {
  if (!switched_) return;
  if (hadMachine_) {
    setenv(kMachineVariable, savedMachine_.c_str(), 1);
  } else {
    unsetenv(kMachineVariable);
  }
}

FileRun MachineFileTest::run(const std::vector<std::string>& args) {
  FileRun result;
  StderrCapture err;
  {
    OutputCapture out;
    result.status = runProgramWithArgs(args);
    result.out = out.text();
  }
  result.err = err.finish();
  releasePortCountRecord();
  return result;
}

void MachineFileTest::makeFolder() {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
}
