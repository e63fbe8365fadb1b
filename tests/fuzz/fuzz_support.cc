#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "cli/program.h"
#include "driver/driver_channel.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/os_console_sim.h"
#include "platform/sim/os_process_sim.h"
#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"
#include "platform/sim/utf.h"

void fuzzCheck(bool condition, const char* what, const std::string& detail) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
  std::fflush(stderr);
  std::abort();
}

FuzzMachine::FuzzMachine(const std::string& regBytes) : machine_(std::make_unique<SimMachine>()) {
  RegParseError error;
  fuzzCheck(readRegText(regBytes, &machine_->registry, &error), "the fuzz machine parses",
            "line " + std::to_string(error.line) + ": " + error.reason);
  machine_->registry.clearChanged();
  fuzzCheck(!testMachineInstalled(), "one fuzz machine at a time");
  installTestMachine(machine_.get());
}

FuzzMachine::FuzzMachine(const Registry& registry) : machine_(std::make_unique<SimMachine>()) {
  copyRegistry(registry, &machine_->registry);
  machine_->registry.clearChanged();
  fuzzCheck(!testMachineInstalled(), "one fuzz machine at a time");
  installTestMachine(machine_.get());
}

FuzzMachine::~FuzzMachine() {
  installTestMachine(nullptr);
  releasePortCountRecord();
}

Registry& FuzzMachine::registry() { return machine_->registry; }

int FuzzMachine::run(const std::vector<std::string>& args, std::string* out) {
  std::vector<std::string> texts = {"ZPConfigUtil"};
  texts.insert(texts.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  out->clear();
  std::string* previous = setOutputSink(out);
  const int status = runProgramUtf8(static_cast<int>(texts.size()), argv.data(), runProgram);
  setOutputSink(previous);
  releasePortCountRecord();
  fuzzCheck(!platformRunOpen(), "the run ends its hold on the platform");
  fuzzCheck(machine_->openHandleCount() == 0, "the run closes every handle",
            machine_->openHandleSummary());
  return status;
}

std::string defaultMachine() { return defaultMachineBytes(); }

const Registry& defaultRegistry() {
  static const Registry* registry = [] {
    auto* parsed = new Registry;
    RegParseError error;
    fuzzCheck(readRegText(defaultMachineBytes(), parsed, &error), "the default machine parses");
    return parsed;
  }();
  return *registry;
}

namespace {

void copyKey(const RegNode& from, const std::u16string& path, Registry* to) {
  RegNode* key = to->addKey(path);
  for (const auto& [folded, value] : from.values)
    to->setValue(key, value.name, value.type, value.data);
  for (const auto& [folded, child] : from.subkeys) {
    copyKey(*child, joinKeyPath(path, child->name), to);
  }
}

}  // namespace

void copyRegistry(const Registry& from, Registry* to) { copyKey(from.root(), u"", to); }

namespace {

bool sameKey(const RegNode& a, const RegNode& b, const std::u16string& path, std::string* where) {
  auto differ = [&](const std::string& what) {
    *where = utf16ToUtf8(path) + ": " + what;
    return false;
  };
  if (a.name != b.name) return differ("key name " + utf16ToUtf8(b.name));
  if (a.values.size() != b.values.size()) return differ("value count");
  for (auto va = a.values.begin(), vb = b.values.begin(); va != a.values.end(); ++va, ++vb) {
    if (va->first != vb->first || va->second.name != vb->second.name) {
      return differ("value name " + utf16ToUtf8(va->second.name));
    }
    if (va->second.type != vb->second.type || va->second.data != vb->second.data) {
      return differ("value " + utf16ToUtf8(va->second.name));
    }
  }
  if (a.subkeys.size() != b.subkeys.size()) return differ("subkey count");
  for (auto ka = a.subkeys.begin(), kb = b.subkeys.begin(); ka != a.subkeys.end(); ++ka, ++kb) {
    if (ka->first != kb->first) return differ("subkey " + utf16ToUtf8(ka->second->name));
    if (!sameKey(*ka->second, *kb->second, path + u"\\" + ka->second->name, where)) return false;
  }
  return true;
}

}  // namespace

bool sameRegistry(const Registry& a, const Registry& b, std::string* where) {
  return sameKey(a.root(), b.root(), a.root().name, where);
}

std::string registryText(const Registry& registry) { return utf16ToUtf8(writeRegUnits(registry)); }

std::vector<std::string> splitArguments(const uint8_t* data, size_t size, size_t maxArguments) {
  std::vector<std::string> args;
  if (size == 0) return args;
  std::string current;
  for (size_t i = 0; i < size && args.size() < maxArguments; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (args.size() < maxArguments) args.push_back(current);
  return args;
}

uint8_t FuzzInput::byte() { return at_ < size_ ? data_[at_++] : 0; }

uint32_t FuzzInput::word() {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(byte()) << (8 * i);
  return value;
}

std::string FuzzInput::bytes(size_t count) {
  const size_t available = at_ < size_ ? size_ - at_ : 0;
  const size_t taken = count < available ? count : available;
  std::string out(reinterpret_cast<const char*>(data_ + at_), taken);
  at_ += taken;
  return out;
}

std::string FuzzInput::rest() { return bytes(size_ - (at_ < size_ ? at_ : size_)); }
