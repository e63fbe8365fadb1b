#include "tests/support/harness.h"

#include <gtest/gtest.h>

#include "cli/program.h"
#include "driver/driver_channel.h"
#include "platform/os_process.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/os_console_sim.h"
#include "platform/sim/os_process_sim.h"
#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"
#include "platform/sim/utf.h"

namespace {

const char kVersion5Header[] = "Windows Registry Editor Version 5.00\r\n\r\n";

std::u16string u16(const std::string& utf8) { return utf8ToUtf16(utf8); }

}  // namespace

TestMachine::TestMachine(const std::string& regText, bool addHeader)
    : machine_(std::make_unique<SimMachine>()) {
  RegParseError error;
  const std::string text = addHeader ? kVersion5Header + regText : regText;
  if (!readRegText(text, &machine_->registry, &error)) {
    ADD_FAILURE() << "machine text line " << error.line << ": " << error.reason;
  }
  machine_->registry.clearChanged();
  if (testMachineInstalled()) ADD_FAILURE() << "a TestMachine is already installed";
  installTestMachine(machine_.get());
}

TestMachine::~TestMachine() {
  // A test that began a run on this machine and stopped short.
  if (platformRunOpen() && currentMachine() == machine_.get()) endPlatform();
  if (currentMachine() == machine_.get()) installTestMachine(nullptr);
  releasePortCountRecord();
}

int runProgramWithArgs(const std::vector<std::string>& args) {
  std::vector<std::string> texts = {"ZPConfigUtil"};
  texts.insert(texts.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  return runProgramUtf8(static_cast<int>(texts.size()), argv.data(), runProgram);
}

RunResult TestMachine::run(const std::vector<std::string>& args) {
  const size_t handlesBefore = machine_->openHandleCount();
  RunResult result;
  {
    OutputCapture capture;
    result.status = runProgramWithArgs(args);
    result.out = capture.text();
  }
  releasePortCountRecord();
  if (platformRunOpen()) {
    ADD_FAILURE() << "the run did not end its hold on the platform";
    endPlatform();
  }
  if (machine_->openHandleCount() > handlesBefore) {
    ADD_FAILURE() << "handles left open by the run: " << machine_->openHandleSummary();
  }
  return result;
}

bool TestMachine::hasKey(const std::string& path) const {
  return machine_->registry.findKey(u16(path)) != nullptr;
}

std::optional<StoredValue> TestMachine::value(const std::string& path,
                                              const std::string& name) const {
  const RegValue* stored = machine_->registry.findValue(u16(path), u16(name));
  if (stored == nullptr) return std::nullopt;
  return StoredValue{stored->type, stored->data};
}

std::optional<uint32_t> TestMachine::dword(const std::string& path, const std::string& name) const {
  uint32_t number = 0;
  if (!storedDword(machine_->registry, u16(path), u16(name), &number)) return std::nullopt;
  return number;
}

std::optional<std::string> TestMachine::text(const std::string& path,
                                             const std::string& name) const {
  std::u16string units;
  if (!storedText(machine_->registry, u16(path), u16(name), &units)) return std::nullopt;
  return utf16ToUtf8(units);
}

namespace {

void setStoredValue(Registry& registry, const std::string& path, const std::string& name,
                    uint32_t type, const std::string& data) {
  RegNode* key = registry.addKey(u16(path));
  if (key == nullptr) {
    ADD_FAILURE() << "not a key path: " << path;
    return;
  }
  registry.setValue(key, u16(name), type, data);
}

}  // namespace

void TestMachine::setDword(const std::string& path, const std::string& name, uint32_t value) {
  std::string data;
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  setStoredValue(machine_->registry, path, name, 4, data);
}

void TestMachine::setText(const std::string& path, const std::string& name,
                          const std::string& text) {
  setStoredValue(machine_->registry, path, name, 1, toUtf16LeBytes(u16(text) + u'\0'));
}

void TestMachine::deleteKey(const std::string& path) { machine_->registry.deleteKey(u16(path)); }

std::string TestMachine::exportText() const {
  return utf16ToUtf8(writeRegUnits(machine_->registry));
}

std::vector<std::string> TestMachine::log() const { return machine_->log; }

void TestMachine::clearLog() { machine_->log.clear(); }

std::vector<std::string> linesStarting(const std::vector<std::string>& lines,
                                       const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

OutputCapture::OutputCapture() : previous_(setOutputSink(&text_)) {}

OutputCapture::~OutputCapture() { setOutputSink(previous_); }

std::string OutputCapture::text() const { return text_; }
