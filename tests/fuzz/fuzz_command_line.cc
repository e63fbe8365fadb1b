// Whole command lines of runs against the built-in default machine: the input holds up
// to four runs separated by line feeds, the arguments of each (after the program name)
// separated by zero bytes. Every run must end cleanly (no sanitizer report, nothing left
// open or allocated) with exit status 0 (the machine has boards) and must leave the
// registry as it was unless it reported "setting is changed.". A run that did change it
// must leave a registry that reads back whole from the machine file, and the same
// command line run again at once must change nothing more.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t kMaxRuns = 4;
constexpr size_t kMaxArguments = 24;
const char kChanged[] = "setting is changed.\n";

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs one command line and checks the run. *held holds what the registry held before
// it (null: the default machine's registry) and on return what it holds after it; a copy
// is made only when a run changed the registry into something not already held.
void checkRun(FuzzMachine& machine, const std::vector<std::string>& args,
              std::unique_ptr<Registry>* held) {
  const Registry& before = *held ? **held : defaultRegistry();
  machine.registry().clearChanged();

  std::string out;
  const int status = machine.run(args, &out);
  fuzzCheck(status == 0, "exit status 0 on a machine with boards", out);
  std::string where;
  if (!endsWith(out, kChanged)) {
    fuzzCheck(!machine.registry().changed() || sameRegistry(before, machine.registry(), &where),
              "the registry is unchanged by a run that changed no setting", where + "\n" + out);
    return;
  }

  auto saved = std::make_unique<Registry>();
  RegParseError error;
  fuzzCheck(readRegText(writeRegFile(machine.registry()), saved.get(), &error),
            "the changed registry reads back from its file", error.reason);
  fuzzCheck(sameRegistry(machine.registry(), *saved, &where),
            "the changed registry reads back the same", where);

  const int again = machine.run(args, &out);
  fuzzCheck(again == 0, "exit status 0 on a machine with boards", out);
  if (endsWith(out, kChanged)) {
    fuzzCheck(sameRegistry(*saved, machine.registry(), &where),
              "the same request a second time changes nothing", where);
    *held = std::move(saved);
    return;
  }
  *held = std::make_unique<Registry>();
  copyRegistry(machine.registry(), held->get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzMachine machine(defaultRegistry());
  std::unique_ptr<Registry> held;
  size_t start = 0;
  for (size_t run = 0; run < kMaxRuns && start <= size; ++run) {
    size_t end = start;
    while (end < size && data[end] != '\n') ++end;
    checkRun(machine, splitArguments(data + start, end - start, kMaxArguments), &held);
    start = end + 1;
  }
  return 0;
}
