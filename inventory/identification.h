// Hardware identification: a board's ModelCode, bus and I/O base from its device node,
// its port count and modem kind from the model catalogue (or, for three models, from
// the driver), and the model-name fallback.
#pragma once

#include <cstddef>
#include <cstdint>

// Capacity of the hardware-id buffer, in units (580 bytes of UTF-16).
constexpr size_t kHardwareIdCapacity = 290;

// detectBus results.
constexpr int32_t kBusPci = 2;
constexpr int32_t kBusOther = -1;

// ModelCode bit of a board that is not PCI and has an I/O base of its own.
constexpr uint32_t kIsaBaseBit = 0x1000;

// lookupModel selectors.
enum ModelField : int {
  kModelPortCount = 0,
  kModelModemKind = 1,
};

// One model of the catalogue.
struct CatalogEntry {
  uint32_t modelCode;
  uint32_t portCount;
  uint32_t modemKind;
  bool askDriver;  // the driver knows the port count; the catalogue's is the fallback
};

// Identifies board boardIndex of gInventory: writes its modelCode, portCount (at most
// 64) and modemKind, and ioAddress as the bus rules say. 0, or 1 when the hardware id
// cannot be read (the record is then left as it was).
int identifyBoard(int boardIndex);

// The board's hardware id (first string of the property) into buffer, which is emptied
// first. 0 read and of type REG_SZ or REG_MULTI_SZ; 1 the read failed (also a value too
// long for the buffer); 2 another value type.
int readHardwareId(wchar_t* buffer, size_t capacity, int boardIndex);

// ModelCode of a hardware id: after the first 'D' or 'd', the hexadecimal number that
// begins at the next decimal digit. 0 with the code, or 1 with code 0.
int parseModelCode(uint32_t* code, const wchar_t* hardwareId);

// kBusPci and 0 when the text contains "VEN_" (exact case), else kBusOther and 1.
int detectBus(int32_t* bus, const wchar_t* hardwareId);

// Reads the board's allocated I/O base into ioAddress (0 when outside 256..1023).
// 0 read; 1 no allocated configuration; 2 no I/O resource; 3 the resource data could not
// be read. ioAddress is untouched on 1 to 3.
int readIoBase(int boardIndex);

// The catalogue's port count (kModelPortCount) or modem kind (kModelModemKind) of a
// ModelCode into *value. 0 catalogued; 1 unknown (*value still gets 8 or 0); 2 another
// selector (*value untouched).
int lookupModel(uint32_t modelCode, uint32_t* value, int selector);
// The catalogue's rows in ModelCode order, their count into *count (for listing them).
const CatalogEntry* modelCatalog(size_t* count);
uint32_t catalogPortCount(uint32_t modelCode);
uint32_t catalogModemKind(uint32_t modelCode);

// True for the models whose port count is asked of the driver.
bool modelAsksDriver(uint32_t modelCode);

// The model name the fallback table gives for a ModelCode.
const wchar_t* fallbackModelName(uint32_t modelCode);

// Copies the fallback model name into the board's modelName when it is empty. 0.
int modelNameFallback(int boardIndex);
