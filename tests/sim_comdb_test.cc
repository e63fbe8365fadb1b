// The COM port database on the simulated machine: claims, forced claims, releases,
// bounds, the database's size and its resizing, the usage report and the read-only knob.
#include <gtest/gtest.h>

#include "platform/os_comdb.h"
#include "platform/sim/machine.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

const char kComDbPath[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

std::string bitmap(const TestMachine& machine) {
  const auto value = machine.value(kComDbPath, "ComDB");
  return value ? value->bytes : "(none)";
}

std::string withBits(size_t size, std::initializer_list<int> numbers) {
  std::string bytes(size, '\0');
  for (int n : numbers)
    bytes[(n - 1) / 8] = static_cast<char>(bytes[(n - 1) / 8] | 1 << ((n - 1) % 8));
  return bytes;
}

TEST(SimComDb, ClaimsAndReleases) {
  enum Op { kClaim, kForce, kRelease, kResize };
  const struct {
    const char* what;
    std::string start;  // .reg text of the database
    Op op;
    uint32_t number;
    uint32_t status;
    std::string after;
  } cases[] = {
      {"claim a free number", comDbReg({1, 2}), kClaim, 3, 0, withBits(32, {1, 2, 3})},
      {"claim a number in use", comDbReg({1, 2}), kClaim, 2, 32, withBits(32, {1, 2})},
      {"force a number in use", comDbReg({1, 2}), kForce, 2, 0, withBits(32, {1, 2})},
      {"claim above the size", comDbReg({1}), kForce, 257, kOsInvalidParameter, withBits(32, {1})},
      {"claim the last number", comDbReg({1}, 512), kClaim, 4096, 0, withBits(512, {1, 4096})},
      {"resize to 1024", comDbReg({1}), kResize, 1024, 0, withBits(128, {1})},
      {"resize to no multiple of 1024", comDbReg({1}), kResize, 1500, kOsInvalidParameter,
       withBits(32, {1})},
      {"resize to the size it has", comDbReg({1}, 128), kResize, 1024, kOsBadLength,
       withBits(128, {1})},
      {"resize beyond 4096", comDbReg({1}), kResize, 5120, kOsBadLength, withBits(32, {1})},
      {"claim 0", comDbReg({1}), kForce, 0, kOsInvalidParameter, withBits(32, {1})},
      {"claim 4097", comDbReg({1}), kForce, 4097, kOsInvalidParameter, withBits(32, {1})},
      {"release", comDbReg({1, 9}), kRelease, 9, 0, withBits(32, {1})},
      {"release above the size", comDbReg({1}), kRelease, 300, kOsInvalidParameter,
       withBits(32, {1})},
      {"release 0", comDbReg({1}), kRelease, 0, kOsInvalidParameter, withBits(32, {1})},
      {"release 4097", comDbReg({1}), kRelease, 4097, kOsInvalidParameter, withBits(32, {1})},
      {"claim with no database", "", kClaim, 5, 0, withBits(32, {5})},
      {"a short value is filled out to the 256 numbers it stands for",
       "[HKEY_LOCAL_MACHINE\\" + std::string(kComDbPath) + "]\n\"ComDB\"=hex:01,00\n", kClaim, 17,
       0, withBits(32, {1, 17})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestMachine machine(c.start);
    ComDb db = nullptr;
    ASSERT_EQ(openComDb(&db), kOsSuccess);
    const uint32_t status = c.op == kRelease  ? releaseComPort(db, c.number)
                            : c.op == kResize ? resizeComDb(db, c.number)
                                              : claimComPort(db, c.number, c.op == kForce);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bitmap(machine), c.after);
    EXPECT_EQ(closeComDb(db), kOsSuccess);
  }
}

TEST(SimComDb, UsageReportInBytes) {
  TestMachine machine(comDbReg({1, 3, 4096}));
  ComDb db = nullptr;
  ASSERT_EQ(openComDb(&db), kOsSuccess);
  std::vector<uint8_t> report(4100, 0xEE);
  ASSERT_EQ(getComPortUsage(db, report.data(), 4100, kCdbReportBytes), kOsSuccess);
  EXPECT_EQ(report[0], 1);
  EXPECT_EQ(report[1], 0);
  EXPECT_EQ(report[2], 1);
  EXPECT_EQ(report[4095], 1);
  EXPECT_EQ(report[4096], 0xEE) << "only the first 4096 numbers are reported";
  std::vector<uint8_t> small(4, 0xEE);
  ASSERT_EQ(getComPortUsage(db, small.data(), 2, kCdbReportBytes), kOsSuccess);
  EXPECT_EQ(small, (std::vector<uint8_t>{1, 0, 0xEE, 0xEE}));
  closeComDb(db);
  EXPECT_FALSE(machine.machine().registry.changed()) << "reading changes nothing";
  EXPECT_EQ(closeComDb(db), kOsInvalidHandle) << "a closed database is gone";
}

TEST(SimComDb, ReadOnlyArbiterKeyRefusesTheOpen) {
  for (const char* path : {"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter",
                           "system\\currentcontrolset\\control"}) {
    SCOPED_TRACE(path);
    TestMachine machine(comDbReg({1}) + readOnlyReg({path}));
    ComDb db = reinterpret_cast<ComDb>(1);
    EXPECT_EQ(openComDb(&db), kOsAccessDenied);
    EXPECT_EQ(db, nullptr);
  }
}

}  // namespace
