#include "tests/support/fixtures.h"

#include <cstdio>

#include "platform/sim/machine_file.h"

namespace {

const char kMachinePrefix[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\";
const char kBoardClass[] = "{50906CB8-BA12-11D1-BF5D-0000F805F530}";
const char kPortClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::string textLine(const std::string& name, const std::string& text) {
  return "\"" + name + "\"=\"" + escaped(text) + "\"\n";
}

std::string dwordLine(const std::string& name, uint32_t value) {
  char line[80];
  std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name.c_str(), value);
  return line;
}

std::string hexBytes(const std::string& bytes) {
  std::string out;
  char byte[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i != 0) out += (i % 24 == 0) ? ",\\\n  " : ",";
    out += byte;
  }
  return out;
}

std::string section(const std::string& path) {
  return "\n[" + std::string(kMachinePrefix) + path + "]\n";
}

std::string fourDigits(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", number);
  return text;
}

// An ASCII text as REG_MULTI_SZ bytes: the string, its NUL and the list's closing NUL.
std::string multiText(const std::string& text) {
  std::string bytes;
  for (char c : text) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes + std::string(4, '\0');
}

std::string littleEndian(uint64_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return bytes;
}

// One full descriptor with one I/O port range of 8 ports at `base`.
std::string ioResourceList(uint32_t base) {
  return littleEndian(1, 4) + littleEndian(1, 4) + littleEndian(0, 4) + littleEndian(1, 2) +
         littleEndian(1, 2) + littleEndian(1, 4) + littleEndian(1, 1) + littleEndian(1, 1) +
         littleEndian(5, 2) + littleEndian(base, 8) + littleEndian(8, 4) + littleEndian(0, 4);
}

std::string parentIdPrefix(int board) { return "8&b" + std::to_string(board) + "&0"; }

std::string portNodes(int board, const std::string& prefix, const BoardFixture& fixture) {
  std::string text;
  for (size_t i = 0; i < fixture.portNames.size(); ++i) {
    const std::string& name = fixture.portNames[i];
    char id[96];
    std::snprintf(id, sizeof id, "Enum\\ZEPHYNPORT\\PORT\\%s&%02zu", prefix.c_str(), i);
    const std::string driver = fourDigits(board * 100 + static_cast<int>(i));
    text +=
        section(id) + textLine("Class", "Ports") + textLine("ClassGUID", kPortClass) +
        textLine("Driver", std::string(kPortClass) + "\\" + driver) +
        textLine("FriendlyName", "Norvane ZephynPort " + std::to_string(i) + " (" + name + ")") +
        textLine("Service", "Serial");
    if (fixture.present) text += section(std::string(id) + "\\Control");
    text += section(std::string(id) + "\\Device Parameters") + textLine("PortName", name);
    text += section("Control\\Class\\" + std::string(kPortClass) + "\\" + driver) +
            textLine("MatchingDeviceId", "nrvport" + std::to_string(i));
  }
  return text;
}

}  // namespace

std::string deviceNodesReg(const std::vector<BoardFixture>& boards) {
  std::string text;
  for (size_t b = 0; b < boards.size(); ++b) {
    const BoardFixture& board = boards[b];
    const int index = static_cast<int>(b);
    const std::string node = "Enum\\" + board.instanceId;
    const std::string prefix = parentIdPrefix(index);
    const std::string driver = std::string(kBoardClass) + "\\" + fourDigits(index);
    text += section(node) + textLine("Class", "MultiPortSerial") +
            textLine("ClassGUID", kBoardClass) + textLine("Driver", driver) +
            "\"HardwareID\"=hex(7):" + hexBytes(multiText(board.hardwareId)) + "\n" +
            textLine("ParentIdPrefix", prefix) + textLine("Service", board.service);
    if (board.uiNumber) text += dwordLine("UINumber", *board.uiNumber);
    if (board.present) {
      text += section(node + "\\Control");
      if (board.ioBase) {
        text += "\"AllocConfig\"=hex(8):" + hexBytes(ioResourceList(*board.ioBase)) + "\n";
      }
    }
    text += section("Control\\Class\\" + driver);
    if (board.nodeId) text += dwordLine("NrvNodeId", *board.nodeId);
    text += portNodes(index, prefix, board);
  }
  return text;
}

std::string portNodeKey(const std::string& parentIdPrefix, int port) {
  char id[96];
  std::snprintf(id, sizeof id, "SYSTEM\\CurrentControlSet\\Enum\\ZEPHYNPORT\\PORT\\%s&%02d",
                parentIdPrefix.c_str(), port);
  return id;
}

std::string portNode(int board, int port) { return portNodeKey(parentIdPrefix(board), port); }

std::string comDbReg(const std::vector<int>& held, size_t bytes) {
  std::string bitmap(bytes, '\0');
  for (int number : held) {
    const size_t byte = static_cast<size_t>(number - 1) / 8;
    while (bitmap.size() <= byte) bitmap.append(32, '\0');
    bitmap[byte] = static_cast<char>(bitmap[byte] | (1 << ((number - 1) % 8)));
  }
  return section("Control\\COM Name Arbiter") + "\"ComDB\"=hex:" + hexBytes(bitmap) + "\n";
}

std::string readOnlyReg(const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& path : paths) list += multiText(path).substr(0, path.size() * 2 + 2);
  list += std::string(2, '\0');
  return "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Registry]\n\"ReadOnly\"=hex(7):" +
         hexBytes(list) + "\n";
}

std::string driverKnobReg(const std::string& valueLine) {
  return "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver]\n" + valueLine + "\n";
}

std::string defaultMachineText() { return defaultMachineBytes(); }
