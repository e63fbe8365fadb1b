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

namespace {

// The registry of the last machine made from a registry, brought back to what that
// machine started with when it went (gSpareBase), so that the next machine made from the
// same registry takes it over rather than copying every key and value afresh. Each input
// thus ends holding as many blocks as it started with, as the leak check expects.
Registry* gSpare = nullptr;
const Registry* gSpareBase = nullptr;

}  // namespace

FuzzMachine::FuzzMachine(const Registry& registry)
    : machine_(std::make_unique<SimMachine>()), base_(&registry) {
  if (gSpareBase != nullptr) {
    std::swap(machine_->registry, *gSpare);
    if (gSpareBase != &registry) restoreRegistry(registry, &machine_->registry);
    gSpareBase = nullptr;
  } else {
    copyRegistry(registry, &machine_->registry);
  }
  machine_->registry.clearChanged();
  fuzzCheck(!testMachineInstalled(), "one fuzz machine at a time");
  installTestMachine(machine_.get());
}

FuzzMachine::~FuzzMachine() {
  installTestMachine(nullptr);
  releasePortCountRecord();
  if (base_ == nullptr) return;
  restoreRegistry(*base_, &machine_->registry);
  if (gSpare == nullptr) gSpare = new Registry;  // kept for the life of the process
  std::swap(*gSpare, machine_->registry);
  gSpareBase = base_;
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

// The keys beneath `from` copied node by node beneath `to`: every input starts from a copy,
// so no path is split, folded or looked up again.
void copySubkeys(const RegNode& from, RegNode* to) {
  for (const auto& [folded, child] : from.subkeys) {
    auto copy = std::make_unique<RegNode>();
    copy->name = child->name;
    copy->values = child->values;
    copySubkeys(*child, copy.get());
    to->subkeys.emplace_hint(to->subkeys.end(), folded, std::move(copy));
  }
}

}  // namespace

void copyRegistry(const Registry& from, Registry* to) {
  RegNode* root = to->findKey(u"");
  root->values = from.root().values;
  copySubkeys(from.root(), root);
}

namespace {

// Makes *to hold what `from` holds, walking both key by key in their shared order:
// what is the same is left, what differs is replaced, what is missing is copied.
void restoreKey(const RegNode& from, RegNode* to) {
  if (to->name != from.name) to->name = std::u16string(from.name);
  auto value = to->values.begin();
  for (const auto& [folded, wanted] : from.values) {
    while (value != to->values.end() && value->first < folded) value = to->values.erase(value);
    if (value == to->values.end() || folded < value->first) {
      to->values.emplace_hint(value, folded, wanted);
      continue;
    }
    RegValue& held = value->second;
    // Replaced by new copies, not assigned into, so that no block outlives its text.
    if (held.name != wanted.name) held.name = std::u16string(wanted.name);
    held.type = wanted.type;
    if (held.data != wanted.data) held.data = std::string(wanted.data);
    ++value;
  }
  to->values.erase(value, to->values.end());

  auto key = to->subkeys.begin();
  for (const auto& [folded, wanted] : from.subkeys) {
    while (key != to->subkeys.end() && key->first < folded) key = to->subkeys.erase(key);
    if (key == to->subkeys.end() || folded < key->first) {
      auto copy = std::make_unique<RegNode>();
      copy->name = wanted->name;
      copy->values = wanted->values;
      copySubkeys(*wanted, copy.get());
      to->subkeys.emplace_hint(key, folded, std::move(copy));
      continue;
    }
    restoreKey(*wanted, key->second.get());
    ++key;
  }
  to->subkeys.erase(key, to->subkeys.end());
}

}  // namespace

void restoreRegistry(const Registry& from, Registry* to) {
  restoreKey(from.root(), to->findKey(u""));
}

namespace {

// A key's path as the names from the root down, spelled out only for a message.
struct KeyPath {
  const KeyPath* parent;
  const std::u16string& name;
};

std::u16string pathText(const KeyPath& path) {
  return path.parent == nullptr ? path.name : pathText(*path.parent) + u"\\" + path.name;
}

bool sameKey(const RegNode& a, const RegNode& b, const KeyPath& path, std::string* where) {
  auto differ = [&](const std::string& what) {
    *where = utf16ToUtf8(pathText(path)) + ": " + what;
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
    if (!sameKey(*ka->second, *kb->second, KeyPath{&path, ka->second->name}, where)) return false;
  }
  return true;
}

}  // namespace

bool sameRegistry(const Registry& a, const Registry& b, std::string* where) {
  return sameKey(a.root(), b.root(), KeyPath{nullptr, a.root().name}, where);
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
