#include "tools/machine_tool.h"

#include <cstdio>

#include "inventory/identification.h"
#include "platform/sim/utf.h"
#include "tools/machine_builder.h"
#include "tools/machine_request.h"

namespace {

const char kUsage[] =
    "Usage: ZPConfigUtil-machine [--start COMn] [--held COMn[-COMm]]...\n"
    "                            [--board BOARD [--name NAME]]... > machine.reg\n"
    "\n"
    "Writes a simulated machine for the native ZPConfigUtil to standard output (.reg\n"
    "text, UTF-8): the boards' device nodes and port nodes, the driver's settings, the\n"
    "COM port database and the port counts the driver reports. Run the program on it\n"
    "with ZPCONFIG_MACHINE=machine.reg ZPConfigUtil enum.\n"
    "\n"
    "  --board [COUNTx]BUS[-MODEL][:PORTS][@BASE]\n"
    "        COUNT boards (1), at most 64 in all. BUS: pci or isa. MODEL: a code of the\n"
    "        list below (pci: 805, isa: 008). PORTS: 1 to 64 (the model's count).\n"
    "        BASE: an ISA board's I/O base, 0x100 to 0x3FF (the 8 bytes after the ISA\n"
    "        board before it; 0x180 for the first); no two boards' 8 bytes overlap.\n"
    "        Examples: pci:4, isa:8@0x300, pci-813, 2xisa-00c:6.\n"
    "  --name NAME\n"
    "        the display name of the boards of the --board before it (\"ZN #<device ID\n"
    "        + 1>\", the name the program gives an unnamed board).\n"
    "  --start COMn\n"
    "        the first port's COM number (COM3). The ports take the numbers from there\n"
    "        up, board by board as enum lists them, passing over the held ones.\n"
    "  --held COMn[-COMm]\n"
    "        COM numbers that other devices hold in the COM port database.\n"
    "  --help\n"
    "        this text.\n"
    "\n"
    "enum lists the PCI boards first, by model, then the ISA boards; each in the order\n"
    "given. The machine's driver is running; every knob has its default\n"
    "(docs/machine-file.md).\n"
    "\n"
    "Models (MODEL, ports, model name; *: the driver reports the port count):\n";

std::string modelList() {
  size_t count = 0;
  const CatalogEntry* catalog = modelCatalog(&count);
  std::string list;
  for (size_t i = 0; i < count; ++i) {
    const CatalogEntry& model = catalog[i];
    char line[96];
    std::snprintf(line, sizeof line, "  %03X%s %3u  %s", static_cast<unsigned>(model.modelCode),
                  model.askDriver ? "*" : " ", static_cast<unsigned>(model.portCount),
                  utf16ToUtf8(fromWide(fallbackModelName(model.modelCode))).c_str());
    list += line;
    if (model.modemKind != 0) list += ", modem kind " + std::to_string(model.modemKind);
    list += "\n";
  }
  return list;
}

}  // namespace

int runMachineTool(const std::vector<std::string>& args, std::string* out, std::string* err) {
  MachineRequest request;
  std::string error;
  if (!parseMachineArgs(args, &request, &error)) {
    *err = "ZPConfigUtil-machine: " + error + "\n";
    return 2;
  }
  *out = request.help ? kUsage + modelList() : machineRegText(request);
  return 0;
}
