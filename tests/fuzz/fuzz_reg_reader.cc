// The .reg reader on arbitrary bytes: either a parse error with a line and a reason, or
// a registry that the writer turns into a file that reads back to the same registry and
// is written again byte for byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Registry registry;
  RegParseError error;
  if (!readRegText(bytes, &registry, &error)) {
    fuzzCheck(error.line >= 1, "a parse error names its line");
    fuzzCheck(!error.reason.empty(), "a parse error gives its reason");
    return 0;
  }

  const std::string file = writeRegFile(registry);
  Registry again;
  RegParseError againError;
  fuzzCheck(readRegText(file, &again, &againError), "a written registry reads back",
            "line " + std::to_string(againError.line) + ": " + againError.reason + "\n" +
                registryText(registry));
  std::string where;
  fuzzCheck(sameRegistry(registry, again, &where), "a written registry reads back the same",
            where + "\n" + registryText(registry));
  fuzzCheck(writeRegFile(again) == file, "a registry read back is written the same");
  return 0;
}
