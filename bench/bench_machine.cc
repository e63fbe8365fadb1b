// Writes the largest machine the program handles to standard output: 64 PCI boards of
// 64 ports each (COM1 to COM4096, every number held in the COM port database), with
// their device nodes, port nodes, settings store and driver knobs, as a .reg text
// (Version 5.00, UTF-8). The service and event-log values are those the program writes,
// so that a run which changes no setting leaves the file as it is.
#include <cstdio>
#include <string>

namespace {

constexpr int kBoards = 64;
constexpr int kPorts = 64;
const char kRoot[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\";
const char kBoardClass[] = "{50906CB8-BA12-11D1-BF5D-0000F805F530}";
const char kPortClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
const char kHardwareId[] = "PCI\\VEN_11FE&DEV_0805";

void section(const std::string& path) { std::printf("\n[%s%s]\n", kRoot, path.c_str()); }

void text(const char* name, const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == '\\' || c == '"') escaped.push_back('\\');
    escaped.push_back(c);
  }
  std::printf("\"%s\"=\"%s\"\n", name, escaped.c_str());
}

void dword(const char* name, unsigned value) { std::printf("\"%s\"=dword:%08x\n", name, value); }

std::string format(const char* pattern, int a, int b = 0) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, a, b);
  return buffer;
}

// An ASCII text as UTF-16LE hex of type `type` (2: REG_EXPAND_SZ, 7: REG_MULTI_SZ of
// one string), its terminator (and the list's) included.
void hexText(const char* name, int type, const std::string& value) {
  std::printf("\"%s\"=hex(%d):", name, type);
  for (char c : value) std::printf("%02x,00,", static_cast<unsigned char>(c));
  std::printf(type == 7 ? "00,00,00,00\n" : "00,00\n");
}

void store() {
  section("Services\\ZephynPort");
  dword("ErrorControl", 0);
  text("Group", "Extended Base");
  text("ImagePath", "System32\\Drivers\\zephyn.sys");
  dword("Start", 3);
  dword("Tag", 1);
  dword("Type", 1);
  section("Services\\ZephynPort\\Parameters");
  dword("NumDevices", kBoards);
  dword("ScanRate", 10);
  for (int b = 0; b < kBoards; ++b) {
    section(format("Services\\ZephynPort\\Parameters\\Device%d", b));
    dword("IoAddress", 1);
    text("ModelName", "ZephynPort 4 PCI");
    text("Name", format("Rack %d", b));
    dword("NumPorts", kPorts);
    for (int p = 0; p < kPorts; ++p) {
      section(format("Services\\ZephynPort\\Parameters\\Device%d\\Port%d", b, p));
      text("Name", format("COM%d", b * kPorts + p + 1));
    }
  }
  section("Services\\EventLog\\System\\ZephynPort");
  hexText("EventMessageFile", 2,
          "%SystemRoot%\\system32\\IoLogMsg.dll;%SystemRoot%\\system32\\drivers\\zephyn.sys");
  dword("TypesSupported", 7);
}

void devices() {
  for (int b = 0; b < kBoards; ++b) {
    const std::string node = format("Enum\\PCI\\VEN_11FE&DEV_0805\\4&1a2b3c&0&%04X", b);
    const std::string prefix = format("5&%08x&0", 0x2f1e0000 + b);
    const std::string driver = std::string(kBoardClass) + format("\\%04d", b);
    section(node);
    text("Class", "MultiPortSerial");
    text("ClassGUID", kBoardClass);
    text("Driver", driver);
    hexText("HardwareID", 7, kHardwareId);
    text("ParentIdPrefix", prefix);
    text("Service", "ZephynPort");
    dword("UINumber", b + 1);
    section(node + "\\Control");
    section("Control\\Class\\" + driver);
    dword("NrvNodeId", b);
    for (int p = 0; p < kPorts; ++p) {
      const std::string port = "Enum\\ZEPHYNPORT\\PORT\\" + prefix + format("&%02d", p);
      const std::string portDriver = std::string(kPortClass) + format("\\%04d", b * kPorts + p);
      const std::string name = format("COM%d", b * kPorts + p + 1);
      section(port);
      text("Class", "Ports");
      text("ClassGUID", kPortClass);
      text("Driver", portDriver);
      text("FriendlyName", format("Norvane ZephynPort %d (", p) + name + ")");
      text("Service", "Serial");
      section(port + "\\Control");
      section(port + "\\Device Parameters");
      text("PortName", name);
      section("Control\\Class\\" + portDriver);
      text("MatchingDeviceId", format("nrvport%d", p));
    }
  }
}

void comDatabase() {
  section("Control\\COM Name Arbiter");
  std::printf("\"ComDB\"=hex:");
  for (int i = 0; i < kBoards * kPorts / 8; ++i) std::printf(i == 0 ? "ff" : ",ff");
  std::printf("\n");
}

void knobs() {
  std::printf("\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver\\PortCounts]\n");
  for (int b = 0; b < kBoards; ++b) dword(std::to_string(b + 1).c_str(), kPorts);
}

}  // namespace

int main() {
  std::printf("Windows Registry Editor Version 5.00\n");
  store();
  devices();
  comDatabase();
  knobs();
  return 0;
}
