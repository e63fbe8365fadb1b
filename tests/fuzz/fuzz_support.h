// Support of the fuzz targets: simulated machines built in memory from .reg text, runs
// of the program against them with the checks every run must pass, and the pieces that
// turn fuzzer bytes into program input. No test framework: a broken rule aborts, so the
// fuzzer keeps the input that broke it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/registry_store.h"

struct SimMachine;

// Prints "fuzz check failed: <what>" (and `detail` when not empty) and aborts unless
// `condition` holds.
void fuzzCheck(bool condition, const char* what, const std::string& detail = {});

// A simulated machine installed as the machine of the process while it lives.
class FuzzMachine {
 public:
  // Parses `regBytes` (a whole .reg file, header included); text that does not parse is
  // a fault of the fuzz target and aborts.
  explicit FuzzMachine(const std::string& regBytes);
  // A copy of `registry` (which must outlive the machine, unchanged): cheaper than parsing the same
  // text for every input. A machine going brings its registry back to `registry` and
  // keeps it for the next machine made from the same registry, which takes it over.
  explicit FuzzMachine(const Registry& registry);
  ~FuzzMachine();
  FuzzMachine(const FuzzMachine&) = delete;
  FuzzMachine& operator=(const FuzzMachine&) = delete;

  Registry& registry();
  SimMachine& machine() { return *machine_; }

  // Runs the program with `args` (UTF-8, after the program name) and returns its exit
  // status, with what it printed in *out. Checks that the run ended its hold on the
  // platform and left no handle open.
  int run(const std::vector<std::string>& args, std::string* out);

 private:
  std::unique_ptr<SimMachine> machine_;
  const Registry* base_ = nullptr;  // the registry it was made from, if it was
};

// The built-in default machine's .reg bytes, and its registry (parsed once).
std::string defaultMachine();
const Registry& defaultRegistry();

// Makes *to hold what `from` holds (`to` must be empty); *to's changed() is left as it was.
void copyRegistry(const Registry& from, Registry* to);
// Makes *to hold what `from` holds, whatever it held, changing only what differs; *to's
// changed() is left as it was.
void restoreRegistry(const Registry& from, Registry* to);

// Whether two registries hold the same keys and values: names (as spelled), types and
// bytes. On a difference *where names it.
bool sameRegistry(const Registry& a, const Registry& b, std::string* where);

// The registry as the machine file would hold it, decoded to UTF-8: for comparing
// snapshots and for messages.
std::string registryText(const Registry& registry);

// Splits fuzzer bytes into command-line arguments at each zero byte (an argument cannot
// hold one); at most `maxArguments`, the rest dropped.
std::vector<std::string> splitArguments(const uint8_t* data, size_t size, size_t maxArguments);

// Reads fuzzer bytes front to back; past the end every read gives zeros.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t byte();
  uint32_t word();  // 4 bytes, little-endian
  // Up to `count` bytes (fewer at the end of the input).
  std::string bytes(size_t count);
  // Everything not read yet.
  std::string rest();

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};
