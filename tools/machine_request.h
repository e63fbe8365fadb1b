// What a generated machine holds, as the command line of ZPConfigUtil-machine asks for
// it: the boards in the order the device manager lists them, each with its COM numbers,
// and the COM numbers other devices hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class BoardBus { kPci, kIsa };

struct BoardRequest {
  BoardBus bus = BoardBus::kPci;
  uint32_t modelCode = 0;  // a catalogue ModelCode; an ISA board's hardware id adds 0x1000
  int portCount = 0;
  uint32_t ioBase = 0;  // ISA boards: the allocated I/O base
  bool baseGiven = false;
  std::string name;                  // display name, UTF-8; empty: none stored
  std::vector<uint32_t> comNumbers;  // one per port
};

struct MachineRequest {
  std::vector<BoardRequest> boards;
  std::vector<uint32_t> held;  // numbers other devices hold, as given
  uint32_t startCom = 3;
  bool help = false;
};

// Parses the arguments (after the program name) into *request, puts the boards in the
// device manager's order (PCI boards by model, then ISA boards; each as given), gives
// ISA boards their default I/O bases and every port its COM number. False with a
// one-line reason in *error for arguments that cannot make a machine.
bool parseMachineArgs(const std::vector<std::string>& args, MachineRequest* request,
                      std::string* error);
