/* Checks the Wine fixtures through the real Windows calls, as the program makes them:
 * the device-node stand-in (cfgmgr32.dll), the COM port database stand-in (msports.dll)
 * and the test driver (zephyn.sys). Runs under the scenario harness on the machine
 * fixture_check/machine.reg; prints one line per failed check and a summary, and exits with the
 * number of failures. The driver's log of the run must equal fixture_check/expected/driver.log. */
#include <windows.h>

#include <cfgmgr32.h>
#include <ddk/msports.h>
#include <setupapi.h>
#include <stdio.h>
#include <string.h>

static int gChecks, gFailures;

static void check(BOOL ok, const char* what, const char* detail) {
  ++gChecks;
  if (!ok) {
    ++gFailures;
    printf("FAIL %s: %s\n", what, detail);
  }
}

static void checkNumber(const char* what, unsigned long long actual, unsigned long long expected) {
  char detail[96];
  snprintf(detail, sizeof detail, "got 0x%llX, expected 0x%llX", actual, expected);
  check(actual == expected, what, detail);
}

static void checkText(const char* what, const WCHAR* actual, const WCHAR* expected) {
  char detail[600];
  snprintf(detail, sizeof detail, "got \"%ls\", expected \"%ls\"", actual, expected);
  check(lstrcmpiW(actual, expected) == 0, what, detail);
}

/* ---- Device nodes ------------------------------------------------------------------- */

static const GUID kMultiportClass = {
    0x50906CB8, 0xBA12, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

#define BOARD_A L"PCI\\VEN_11FE&DEV_0803\\4&1A2B3C&0&00E0"
#define BOARD_B L"PCI\\VEN_11FE&DEV_0803\\4&1A2B3C&0&00E8"
#define BOARD_C L"PCI\\VEN_11FE&DEV_0803\\4&1A2B3C&0&00F0"

typedef struct {
  const WCHAR* id;
  CONFIGRET softwareKey; /* CM_Open_DevNode_Key, software key */
  DWORD nodeId;          /* NrvNodeId read there */
  CONFIGRET logConf;     /* CM_Get_First_Log_Conf */
  CONFIGRET resDes;      /* CM_Get_Next_Res_Des, I/O ports */
  ULONGLONG ioBase;      /* from CM_Get_Res_Des_Data */
  const WCHAR* children; /* child ids in CM_Get_Child / CM_Get_Sibling order, ';' after each */
} BoardCase;

/* The class lists the decoy first, then the boards in instance-id order. */
static const BoardCase kBoards[] = {
    {L"ACPI\\ZPDECOY\\0", CR_NO_SUCH_REGISTRY_KEY, 0, CR_NO_MORE_LOG_CONF, 0, 0, L""},
    {BOARD_A, CR_SUCCESS, 7, CR_SUCCESS, CR_SUCCESS, 0x2F8,
     L"NRVMPS\\ZPORTX\\5&2B3C4D&0&0004;NRVMPS\\ZPORT\\5&2B3C4D&0&0000;"
     L"NRVMPS\\ZPORT\\5&2B3C4D&0&0001;NRVMPS\\ZPORT\\5&2B3C4D&0&0003;"},
    {BOARD_B, CR_NO_SUCH_REGISTRY_KEY, 0, CR_SUCCESS, CR_NO_MORE_RES_DES, 0, L""},
    {BOARD_C, CR_SUCCESS, 0, CR_SUCCESS, CR_NO_MORE_RES_DES, 0, L""},
};

static void checkSoftwareKey(const BoardCase* board, DEVINST node) {
  HKEY key = NULL;
  DWORD value = 0, size = sizeof value;
  CONFIGRET result =
      CM_Open_DevNode_Key(node, KEY_ALL_ACCESS, 0, RegDisposition_OpenExisting, &key, 1);
  checkNumber("software key opens", result, board->softwareKey);
  if (result != CR_SUCCESS) return;
  if (RegQueryValueExW(key, L"NrvNodeId", NULL, NULL, (BYTE*)&value, &size) != ERROR_SUCCESS) {
    value = 0;
  }
  checkNumber("NrvNodeId", value, board->nodeId);
  RegCloseKey(key);
}

static void checkIoBase(const BoardCase* board, DEVINST node) {
  LOG_CONF config = 0;
  RES_DES resDes = 0, next = 0;
  BYTE data[68];
  ULONGLONG base = 0;
  CONFIGRET result = CM_Get_First_Log_Conf(&config, node, ALLOC_LOG_CONF);
  checkNumber("allocated configuration", result, board->logConf);
  if (result != CR_SUCCESS) return;
  result = CM_Get_Next_Res_Des(&resDes, config, ResType_IO, NULL, 0);
  checkNumber("I/O descriptor", result, board->resDes);
  if (result == CR_SUCCESS) {
    memset(data, 0xCC, sizeof data);
    checkNumber("I/O data", CM_Get_Res_Des_Data(resDes, data, sizeof data, 0), CR_SUCCESS);
    memcpy(&base, data + 8, sizeof base);
    checkNumber("I/O base", base, board->ioBase);
    checkNumber("no second I/O descriptor", CM_Get_Next_Res_Des(&next, resDes, ResType_IO, NULL, 0),
                CR_NO_MORE_RES_DES);
    /* Freed before the configuration it came from. */
    checkNumber("descriptor freed", CM_Free_Res_Des_Handle(resDes), CR_SUCCESS);
  }
  checkNumber("configuration freed", CM_Free_Log_Conf_Handle(config), CR_SUCCESS);
}

static void checkChildren(const BoardCase* board, DEVINST node) {
  WCHAR walked[1024] = L"", id[MAX_DEVICE_ID_LEN];
  DEVINST child = 0xDEAD, again = 0;
  CONFIGRET result = CM_Get_Child(&child, node, 0);
  checkNumber("child walk starts", result, board->children[0] ? CR_SUCCESS : CR_NO_SUCH_DEVNODE);
  if (result != CR_SUCCESS) {
    checkNumber("no child is no node", child, 0);
    return;
  }
  CM_Get_Child(&again, node, 0);
  checkNumber("a child keeps its handle", again, child);
  while (result == CR_SUCCESS) {
    check(child != 0, "child node", "is 0");
    if (CM_Get_Device_IDW(child, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) break;
    wcscat(walked, id);
    wcscat(walked, L";");
    result = CM_Get_Sibling(&child, child, 0);
  }
  checkNumber("walk ends with no sibling", result, CR_NO_SUCH_DEVNODE);
  checkText("children", walked, board->children);
}

/* The first child of board A (ZPORTX sorts before ZPORT\): its class, friendly name
 * and hardware key. */
static void checkPortNode(DEVINST board) {
  DEVINST port = 0;
  WCHAR text[120];
  ULONG bytes = 4;
  HKEY key = NULL;
  DWORD size = sizeof text;
  static const WCHAR kName[] = L"Norvane ZephynPort 0 (COM5)";
  CM_Get_Child(&port, board, 0);
  checkNumber("class into a short buffer",
              CM_Get_DevNode_Registry_PropertyW(port, CM_DRP_CLASS, NULL, text, &bytes, 0),
              CR_BUFFER_SMALL);
  checkNumber("class size", bytes, sizeof L"Ports");
  bytes = sizeof text;
  checkNumber("class", CM_Get_DevNode_Registry_PropertyW(port, CM_DRP_CLASS, NULL, text, &bytes, 0),
              CR_SUCCESS);
  checkText("class name", text, L"Ports");
  bytes = sizeof text;
  checkNumber("missing friendly name",
              CM_Get_DevNode_Registry_PropertyW(port, CM_DRP_FRIENDLYNAME, NULL, text, &bytes, 0),
              CR_NO_SUCH_VALUE);
  checkNumber("friendly name set",
              CM_Set_DevNode_Registry_PropertyW(port, CM_DRP_FRIENDLYNAME, kName, sizeof kName, 0),
              CR_SUCCESS);
  bytes = sizeof text;
  CM_Get_DevNode_Registry_PropertyW(port, CM_DRP_FRIENDLYNAME, NULL, text, &bytes, 0);
  checkText("friendly name", text, kName);
  checkNumber("hardware key",
              CM_Open_DevNode_Key(port, KEY_ALL_ACCESS, 0, RegDisposition_OpenExisting, &key, 0),
              CR_SUCCESS);
  text[0] = 0;
  RegQueryValueExW(key, L"PortName", NULL, NULL, (BYTE*)text, &size);
  checkText("PortName", text, L"COM9");
  RegCloseKey(key);
}

static void checkDevices(void) {
  HDEVINFO set = SetupDiGetClassDevsW(&kMultiportClass, NULL, NULL, DIGCF_PRESENT);
  SP_DEVINFO_DATA element;
  WCHAR id[MAX_DEVICE_ID_LEN];
  DWORD i;
  check(set != INVALID_HANDLE_VALUE, "class set", "not obtained");
  for (i = 0; i < sizeof kBoards / sizeof kBoards[0]; ++i) {
    memset(&element, 0, sizeof element);
    element.cbSize = sizeof element;
    if (!SetupDiEnumDeviceInfo(set, i, &element)) {
      check(FALSE, "class member", "missing");
      break;
    }
    id[0] = 0;
    CM_Get_Device_IDW(element.DevInst, id, MAX_DEVICE_ID_LEN, 0);
    checkText("member id", id, kBoards[i].id);
    checkSoftwareKey(&kBoards[i], element.DevInst);
    checkIoBase(&kBoards[i], element.DevInst);
    checkChildren(&kBoards[i], element.DevInst);
    if (i == 0) checkNumber("the decoy is node 0", element.DevInst, 0);
    if (i == 1) checkPortNode(element.DevInst);
  }
  memset(&element, 0, sizeof element);
  element.cbSize = sizeof element;
  check(!SetupDiEnumDeviceInfo(set, i, &element), "class members", "more than expected");
  SetupDiDestroyDeviceInfoList(set);
}

/* ---- COM port database -------------------------------------------------------------- */

enum { kClaim, kForce, kRelease, kTaken, kSize };

typedef struct {
  int op;
  DWORD number;
  LONG result; /* kTaken: 1 when taken; kSize: the ComDB value's size */
} ComDbStep;

/* The machine's bitmap starts as 32 bytes with COM1 and COM3 taken. */
static const ComDbStep kComDbSteps[] = {
    {kTaken, 1, 1},
    {kTaken, 2, 0},
    {kTaken, 3, 1},
    {kClaim, 3, ERROR_SHARING_VIOLATION},
    {kForce, 3, ERROR_SUCCESS},
    {kClaim, 5, ERROR_SUCCESS},
    {kTaken, 5, 1},
    {kSize, 0, 32},
    /* The first number past the bitmap's end grows it by one step. */
    {kClaim, 257, ERROR_SUCCESS},
    {kTaken, 257, 1},
    {kSize, 0, 64},
    {kClaim, 300, ERROR_SUCCESS},
    {kSize, 0, 64},
    {kTaken, 300, 1},
    {kClaim, 4096, ERROR_SUCCESS},
    {kSize, 0, 512},
    {kTaken, 4096, 1},
    {kClaim, 0, ERROR_INVALID_PARAMETER},
    {kClaim, 4097, ERROR_INVALID_PARAMETER},
    {kRelease, 4097, ERROR_INVALID_PARAMETER},
    {kRelease, 5, ERROR_SUCCESS},
    {kTaken, 5, 0},
    {kRelease, 5, ERROR_SUCCESS},
    {kTaken, 3, 1},
};

static DWORD comDbSize(void) {
  HKEY key;
  DWORD size = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter", 0,
                    KEY_READ, &key) == ERROR_SUCCESS) {
    RegQueryValueExW(key, L"ComDB", NULL, NULL, NULL, &size);
    RegCloseKey(key);
  }
  return size;
}

static void checkComDb(void) {
  static BYTE usage[4096];
  HCOMDB db = NULL;
  DWORD reported = 0;
  size_t i;
  char what[64];
  checkNumber("database opens", ComDBOpen(&db), ERROR_SUCCESS);
  for (i = 0; i < sizeof kComDbSteps / sizeof kComDbSteps[0]; ++i) {
    const ComDbStep* step = &kComDbSteps[i];
    LONG result = 0;
    snprintf(what, sizeof what, "database step %u", (unsigned)i);
    switch (step->op) {
      case kClaim:
      case kForce:
        result = ComDBClaimPort(db, step->number, step->op == kForce, NULL);
        break;
      case kRelease:
        result = ComDBReleasePort(db, step->number);
        break;
      case kTaken:
        memset(usage, 0xEE, sizeof usage);
        ComDBGetCurrentPortUsage(db, usage, sizeof usage, CDB_REPORT_BYTES, &reported);
        result = usage[step->number - 1];
        checkNumber("numbers reported", reported, 4096);
        break;
      case kSize:
        result = (LONG)comDbSize();
        break;
    }
    checkNumber(what, (ULONG)result, (ULONG)step->result);
  }
  memset(usage, 0xEE, sizeof usage);
  ComDBGetCurrentPortUsage(db, usage, 8, CDB_REPORT_BYTES, &reported);
  checkNumber("a short report", reported, 8);
  checkNumber("a short report stops at its buffer", usage[8], 0xEE);
  checkNumber("database closes", ComDBClose(db), ERROR_SUCCESS);
}

/* ---- The test driver ---------------------------------------------------------------- */

typedef struct {
  const WCHAR* knob; /* set under ZephynSim\Driver before the exchange, NULL for none */
  DWORD dword;
  const WCHAR* text; /* the knob's text, else `dword` is stored */
  DWORD code, type, ui;
  const char* command;
  DWORD inSize, outSize;
  BOOL served;
  DWORD returned;
  const char* reply; /* at offset 16 of the output; NULL: the output is left as it was */
  int portCount;     /* byte 32 of the output, -1: not looked at */
} ExchangeCase;

static const ExchangeCase kExchanges[] = {
    {NULL, 0, NULL, 0x1B2010, 14, 0, "ScanRate=10", 184, 184, TRUE, 184, "OK: 52", -1},
    {NULL, 0, NULL, 0x1B2010, 14, 0, "device[Device0].Name=Caf\xE9 \x80 \"q\" \\ \x01", 184, 184,
     TRUE, 184, "OK: 52", -1},
    {NULL, 0, NULL, 0x1B2010, 20, 3, "", 40, 40, TRUE, 40, NULL, 8},
    {NULL, 0, NULL, 0x1B2010, 20, 9, "", 40, 40, FALSE, 0, NULL, -1},
    {NULL, 0, NULL, 0x1B2010, 20, 3, "", 40, 32, FALSE, 0, NULL, -1},
    {NULL, 0, NULL, 0x1B2014, 14, 0, "ScanRate=10", 184, 184, FALSE, 0, NULL, -1},
    {NULL, 0, NULL, 0x1B2010, 14, 0, "", 8, 8, FALSE, 0, NULL, -1},
    {NULL, 0, NULL, 0x1B2010, 7, 0, "", 40, 40, FALSE, 0, NULL, -1},
    /* The reply stops where the caller's output ends. */
    {NULL, 0, NULL, 0x1B2010, 14, 0, "x", 184, 20, TRUE, 20, "OK: ", -1},
    {L"Reply", 0, L"Fehler: -12 \x20AC\x263A\xD83D\xDE00.", 0x1B2010, 14, 0, "VerboseLog=1", 184,
     184, TRUE, 184, "Fehler: -12 \x80??.", -1},
    {L"NoReply", 1, NULL, 0x1B2010, 14, 0, "RS485=1", 184, 184, TRUE, 0, NULL, -1},
    {L"NoReply", 0, NULL, 0x1B2010, 20, 3, "", 40, 40, TRUE, 40, NULL, 8},
    {L"FailExchange", 1, NULL, 0x1B2010, 14, 0, "ScanRate=1", 184, 184, FALSE, 0, NULL, -1},
    {L"FailExchange", 1, NULL, 0x1B2010, 20, 3, "", 40, 40, FALSE, 0, NULL, -1},
};

static void setKnob(const ExchangeCase* exchange) {
  HKEY key;
  if (exchange->knob == NULL ||
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZephynSim\\Driver", 0, NULL, 0, KEY_SET_VALUE,
                      NULL, &key, NULL) != ERROR_SUCCESS) {
    return;
  }
  if (exchange->text != NULL) {
    RegSetValueExW(key, exchange->knob, 0, REG_SZ, (const BYTE*)exchange->text,
                   (DWORD)(wcslen(exchange->text) + 1) * sizeof(WCHAR));
  } else {
    RegSetValueExW(key, exchange->knob, 0, REG_DWORD, (const BYTE*)&exchange->dword, 4);
  }
  RegCloseKey(key);
}

static void checkExchange(HANDLE device, const ExchangeCase* exchange, size_t index) {
  BYTE in[200], out[200], expected[200];
  DWORD returned = 0;
  BOOL served;
  char what[64];
  setKnob(exchange);
  memset(in, 0, sizeof in);
  memcpy(in, &exchange->type, 4);
  memcpy(in + 12, &exchange->ui, 4);
  strcpy((char*)in + 16, exchange->command);
  memset(out, 0x5A, sizeof out);
  memcpy(out, in, exchange->outSize);
  memcpy(expected, out, sizeof expected);
  if (exchange->reply != NULL) memcpy(expected + 16, exchange->reply, strlen(exchange->reply) + 1);
  /* Nothing past the caller's output changes. */
  memset(expected + exchange->outSize, 0x5A, sizeof expected - exchange->outSize);
  served = DeviceIoControl(device, exchange->code, in, exchange->inSize, out, exchange->outSize,
                           &returned, NULL);
  snprintf(what, sizeof what, "exchange %u served", (unsigned)index);
  checkNumber(what, served, exchange->served);
  if (!served) return;
  snprintf(what, sizeof what, "exchange %u returned", (unsigned)index);
  checkNumber(what, returned, exchange->returned);
  if (exchange->portCount >= 0) {
    snprintf(what, sizeof what, "exchange %u port count", (unsigned)index);
    checkNumber(what, out[32], (ULONG)exchange->portCount);
  } else {
    snprintf(what, sizeof what, "exchange %u output", (unsigned)index);
    check(memcmp(out, expected, sizeof out) == 0, what, (const char*)out + 16);
  }
}

static void checkDriver(void) {
  HANDLE device = CreateFileW(L"\\\\.\\zephyn", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
  size_t i;
  check(device != INVALID_HANDLE_VALUE, "control device", "does not open");
  if (device == INVALID_HANDLE_VALUE) return;
  for (i = 0; i < sizeof kExchanges / sizeof kExchanges[0]; ++i) {
    checkExchange(device, &kExchanges[i], i);
  }
  CloseHandle(device);
}

/* The ANSI code page is the simulated machine's, Windows-1252. */
static void checkAnsiCodePage(void) {
  char ansi[8];
  int size =
      WideCharToMultiByte(CP_ACP, 0, L"\x00E9\x20AC\x263A", -1, ansi, sizeof ansi, NULL, NULL);
  check(size == 4 && memcmp(ansi, "\xE9\x80?", 4) == 0, "ANSI code page", "is not Windows-1252");
}

int main(void) {
  checkAnsiCodePage();
  checkDevices();
  checkComDb();
  checkDriver();
  printf("%d checks, %d failed\n", gChecks, gFailures);
  return gFailures;
}
