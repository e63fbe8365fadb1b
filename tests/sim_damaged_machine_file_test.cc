// A machine file cut short or with bytes flipped, in each of the forms a machine file
// takes: the program never crashes on it; a run that cannot parse it ends with one line
// on standard error and status 2 before printing anything, and leaves the file
// byte-identical; enum and get never rewrite it.
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "platform/sim/machine_file.h"
#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"
#include "platform/sim/utf.h"
#include "tests/support/file_machine.h"

namespace {

bool parses(const std::string& bytes) {
  Registry registry;
  RegParseError error;
  return readRegText(bytes, &registry, &error);
}

// Every character of `text` that a regular expression would read as an operator,
// escaped.
std::string regexQuoted(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

// One damaged file: what was done to it, and its bytes.
struct Damage {
  std::string what;
  std::string bytes;
};

// The file cut at about `cuts` points spread over it (the first bytes, where the header
// and the byte-order mark are, each), and with 1 to 3 bytes flipped `flips` times.
std::vector<Damage> damaged(const std::string& bytes, int cuts, int flips) {
  std::vector<Damage> out;
  const size_t step = bytes.size() / static_cast<size_t>(cuts) + 1;
  for (size_t at = 0; at < bytes.size(); at += at < 8 ? 1 : step) {
    out.push_back({"cut at " + std::to_string(at), bytes.substr(0, at)});
  }
  std::mt19937 random(20240611);
  for (int i = 0; i < flips; ++i) {
    Damage flip{"flipped", bytes};
    const int count = 1 + static_cast<int>(random() % 3);
    for (int j = 0; j < count; ++j) {
      const size_t at = random() % bytes.size();
      const unsigned mask = 1 + random() % 255;
      flip.bytes[at] = static_cast<char>(static_cast<unsigned char>(flip.bytes[at]) ^ mask);
      flip.what += " " + std::to_string(at) + "^" + std::to_string(mask);
    }
    out.push_back(flip);
  }
  return out;
}

// The default machine in the forms a machine file takes: as built in (REGEDIT4), as the
// program writes it back (UTF-16LE with BOM) and as Version 5.00 text in UTF-8.
struct MachineForm {
  const char* name;
  std::string (*bytes)();
};

std::string builtIn() { return defaultMachineBytes(); }

std::string writtenBack() {
  Registry registry;
  RegParseError error;
  readRegText(defaultMachineBytes(), &registry, &error);
  return writeRegFile(registry);
}

std::string utf8Version5() {
  Registry registry;
  RegParseError error;
  readRegText(defaultMachineBytes(), &registry, &error);
  return utf16ToUtf8(writeRegUnits(registry));
}

const MachineForm kForms[] = {
    {"built in", builtIn},
    {"written back", writtenBack},
    {"UTF-8", utf8Version5},
};

class DamagedMachineFile : public MachineFileTest, public testing::WithParamInterface<MachineForm> {
 protected:
  DamagedMachineFile() : MachineFileTest("machine.reg") {}
};

TEST_P(DamagedMachineFile, NeverCrashesAndAnUnparsableFileIsLeftAlone) {
  const std::vector<std::string> commands[] = {{"enum"}, {"get", "0"}, {"set", "0", "-scan=20"}};
  const std::regex parseFailure("ZPConfigUtil: " + regexQuoted(path_) + ":[1-9][0-9]*: [^\n]+\n");
  // What a damaged knob can make the run tell (a driver that counts no ports, say); never
  // a failure of the file.
  const std::regex notes("(ZPConfigUtil: (?!" + regexQuoted(path_) + ")[^\n]+\n)*");
  const std::string whole = GetParam().bytes();
  ASSERT_TRUE(parses(whole));

  int unparsable = 0;
  for (const Damage& damage : damaged(whole, 60, 30)) {
    const bool parsable = parses(damage.bytes);
    unparsable += parsable ? 0 : 1;
    for (const std::vector<std::string>& args : commands) {
      SCOPED_TRACE(damage.what + ", " + args[0]);
      writeBytes(path_, damage.bytes);
      const FileRun result = run(args);
      const std::string after = readBytes(path_);
      if (!parsable) {
        ASSERT_EQ(result.status, 2);
        ASSERT_TRUE(std::regex_match(result.err, parseFailure)) << result.err;
        ASSERT_EQ(result.out, "") << "nothing is printed before the failure";
        ASSERT_TRUE(after == damage.bytes) << "the unparsable file is left as it was";
        continue;
      }
      ASSERT_TRUE(result.status == 0 || result.status == 1) << result.err;
      ASSERT_TRUE(std::regex_match(result.err, notes)) << "notes only: " << result.err;
      if (args[0] != "set") {
        ASSERT_TRUE(after == damage.bytes) << args[0] << " changes nothing";
      } else {
        ASSERT_TRUE(parses(after)) << "a file written back reads again";
      }
    }
  }
  EXPECT_GT(unparsable, 50) << "the damage reaches the parser";
}

// A deeply nested key used to overflow the stack instead of being refused.
TEST_P(DamagedMachineFile, AKeyNestedTooDeepEndsTheRunWithStatus2) {
  std::string section = "[HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 100000; ++i) section += "\\a";
  section += "]\r\n";
  std::string bytes = GetParam().bytes();
  const bool utf16 = bytes.compare(0, 2, "\xFF\xFE") == 0;
  bytes += utf16 ? toUtf16LeBytes(utf8ToUtf16(section)) : section;
  writeBytes(path_, bytes);

  const FileRun result = run({"enum"});
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(
      std::regex_match(result.err, std::regex("ZPConfigUtil: " + regexQuoted(path_) +
                                              ":[1-9][0-9]*: key path deeper than 512 levels\n")))
      << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(readBytes(path_) == bytes);
}

INSTANTIATE_TEST_SUITE_P(Forms, DamagedMachineFile, testing::ValuesIn(kForms),
                         [](const testing::TestParamInfo<MachineForm>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
