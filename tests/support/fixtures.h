// Test fixtures: .reg text for adapter boards with their device nodes, and for the COM
// port database, to be given to TestMachine (which adds the header).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct BoardFixture {
  std::string instanceId;  // device instance id, e.g. "PCI\\VEN_11FE&DEV_0805\\4&1a2b3c&0&00E0"
  std::string hardwareId;  // first string of HardwareID
  std::string service = "ZephynPort";
  std::optional<uint32_t> nodeId = 0u;  // NrvNodeId in the software key; nullopt: none
  std::optional<uint32_t> uiNumber;     // UINumber; nullopt: none
  std::optional<uint32_t> ioBase;       // an allocated I/O range of 8 ports there
  bool present = true;                  // a Control subkey on the board and its ports
  std::vector<std::string> portNames;   // one port child node per name (COM name)
};

// The .reg sections (without header) of the boards' device nodes (multiport-serial
// class), their software keys and their port child nodes (class Ports, software key
// MatchingDeviceId "nrvport<i>", hardware key PortName = the name, FriendlyName
// "Norvane ZephynPort <i> (<name>)"). Board b has the driver key {class}\<b as 4 digits>
// and the ParentIdPrefix "8&b<b>&0"; its port i is ZEPHYNPORT\PORT\8&b<b>&0&<i as 2 digits>.
std::string deviceNodesReg(const std::vector<BoardFixture>& boards);

// The key path, relative to HKEY_LOCAL_MACHINE, of the node of port `port` beneath a board
// whose ParentIdPrefix is `parentIdPrefix`: ...\Enum\ZEPHYNPORT\PORT\<prefix>&<port, 2 digits>.
std::string portNodeKey(const std::string& parentIdPrefix, int port);
// The same for port `port` of board `board` of deviceNodesReg.
std::string portNode(int board, int port);

// The ComDB value (with its section) holding these COM numbers, `bytes` long or more.
std::string comDbReg(const std::vector<int>& held, size_t bytes = 32);

// The read-only knob (with its section) naming these key paths, relative to
// HKEY_LOCAL_MACHINE: they and everything beneath them can be read but not written.
std::string readOnlyReg(const std::vector<std::string>& paths);

// The simulated driver's knob section (with its section line) holding one value line,
// given without its line feed, e.g. "\"ControlDevice\"=dword:00000000".
std::string driverKnobReg(const std::string& valueLine);

// The built-in default machine as UTF-8 text.
std::string defaultMachineText();
