/* A configuration-manager stand-in for the end-to-end runs of the Windows build under
 * Wine, loaded from beside the exe (WINEDLLOVERRIDES "cfgmgr32=n"). It serves the
 * device-node calls the program makes from the Enum keys of the registry, laid out as
 * the simulated machine lays them out:
 *
 *   Enum\<instance id>            Class, FriendlyName, Driver, ParentIdPrefix
 *   Enum\<instance id>\Control    present while the device is started; AllocConfig
 *   Enum\<instance id>\Device Parameters              the hardware key
 *   Control\Class\<Driver value>                      the software key
 *
 * A device node handed out by SetupAPI is a small index that Wine's setupapi.dll maps to
 * its instance id (CM_Get_Device_IDW there). The children found here get handles of
 * their own, from kOwnNodeBase up, the same handle for the same instance throughout the
 * process. Every other export is forwarded to setupapi.dll by the module definition. */
#include <windows.h>

#include <cfgmgr32.h>
#include <wchar.h>

#define ENUM_KEY L"SYSTEM\\CurrentControlSet\\Enum"
#define CLASS_KEY L"SYSTEM\\CurrentControlSet\\Control\\Class"
#define ID_UNITS MAX_DEVICE_ID_LEN
#define PATH_UNITS 512

/* ---- Device nodes ------------------------------------------------------------------- */

#define kOwnNodeBase 0x10000000u
#define kMaxOwnNodes 4096

typedef struct {
  WCHAR id[ID_UNITS];
  WCHAR parentPrefix[ID_UNITS]; /* the ParentIdPrefix the node was found under */
} OwnNode;

static OwnNode gNodes[kMaxOwnNodes];
static DWORD gNodeCount;

typedef CONFIGRET(WINAPI* DeviceIdCall)(DEVINST, WCHAR*, ULONG, ULONG);

/* The instance id of a SetupAPI device node, from Wine's setupapi.dll. */
static BOOL setupApiDeviceId(DEVINST node, WCHAR* id) {
  static DeviceIdCall call;
  if (call == NULL) {
    HMODULE setupApi = LoadLibraryW(L"setupapi.dll");
    if (setupApi != NULL) call = (DeviceIdCall)(void*)GetProcAddress(setupApi, "CM_Get_Device_IDW");
    if (call == NULL) return FALSE;
  }
  id[0] = 0;
  return call(node, id, ID_UNITS, 0) == CR_SUCCESS && id[0] != 0;
}

static BOOL nodeId(DEVINST node, WCHAR* id) {
  if (node >= kOwnNodeBase && node - kOwnNodeBase < gNodeCount) {
    lstrcpynW(id, gNodes[node - kOwnNodeBase].id, ID_UNITS);
    return TRUE;
  }
  return node < kOwnNodeBase && setupApiDeviceId(node, id);
}

static DEVINST ownNode(const WCHAR* id, const WCHAR* parentPrefix) {
  DWORD i;
  for (i = 0; i < gNodeCount; ++i) {
    if (lstrcmpiW(gNodes[i].id, id) == 0) return kOwnNodeBase + i;
  }
  if (gNodeCount == kMaxOwnNodes) return 0;
  lstrcpynW(gNodes[gNodeCount].id, id, ID_UNITS);
  lstrcpynW(gNodes[gNodeCount].parentPrefix, parentPrefix, ID_UNITS);
  return kOwnNodeBase + gNodeCount++;
}

/* ---- Registry helpers --------------------------------------------------------------- */

static BOOL joinPath(WCHAR* path, const WCHAR* first, const WCHAR* second, const WCHAR* third) {
  int written = _snwprintf(path, PATH_UNITS, third != NULL ? L"%ls\\%ls\\%ls" : L"%ls\\%ls", first,
                           second, third);
  path[PATH_UNITS - 1] = 0;
  return written >= 0 && written < PATH_UNITS;
}

/* Opens Enum\<id>[\sub] with `access`. */
static LONG openDeviceKey(const WCHAR* id, const WCHAR* sub, REGSAM access, HKEY* key) {
  WCHAR path[PATH_UNITS];
  *key = NULL;
  if (!joinPath(path, ENUM_KEY, id, sub)) return ERROR_FILENAME_EXCED_RANGE;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, key);
}

/* A REG_SZ value of Enum\<id> into text (ID_UNITS units); FALSE when missing or empty. */
static BOOL readDeviceText(const WCHAR* id, const WCHAR* name, WCHAR* text) {
  HKEY key;
  DWORD type = REG_NONE, bytes = (ID_UNITS - 1) * sizeof(WCHAR);
  LONG result;
  text[0] = 0;
  if (openDeviceKey(id, NULL, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return FALSE;
  result = RegQueryValueExW(key, name, NULL, &type, (BYTE*)text, &bytes);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) {
    text[0] = 0;
    return FALSE;
  }
  text[bytes / sizeof(WCHAR)] = 0;
  return text[0] != 0;
}

static BOOL isPresent(const WCHAR* id) {
  HKEY key;
  if (openDeviceKey(id, L"Control", KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return FALSE;
  RegCloseKey(key);
  return TRUE;
}

static CONFIGRET fromRegistryError(LONG error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return CR_NO_SUCH_REGISTRY_KEY;
    case ERROR_ACCESS_DENIED:
      return CR_ACCESS_DENIED;
    default:
      return CR_REGISTRY_ERROR;
  }
}

/* ---- Children by ParentIdPrefix ----------------------------------------------------- */

/* Device instance ids compare upper-cased, the ASCII letters only. */
static int compareIds(const WCHAR* a, const WCHAR* b) {
  for (;; ++a, ++b) {
    WCHAR x = *a >= 'a' && *a <= 'z' ? *a - 32 : *a;
    WCHAR y = *b >= 'a' && *b <= 'z' ? *b - 32 : *b;
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

static BOOL isChildName(const WCHAR* instance, const WCHAR* prefix) {
  size_t length = wcslen(prefix);
  return length > 0 && _wcsnicmp(instance, prefix, length) == 0 && instance[length] == '&';
}

/* Names the subkeys of `key` one by one; FALSE when there are no more. */
static BOOL nextSubkey(HKEY key, DWORD* index, WCHAR* name) {
  DWORD units = ID_UNITS;
  return RegEnumKeyExW(key, (*index)++, name, &units, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
}

/* The first present child of `prefix` whose id sorts after `after` (NULL: the first). */
static BOOL findChild(const WCHAR* prefix, const WCHAR* after, WCHAR* found) {
  HKEY enumKey, enumerator, device;
  WCHAR first[ID_UNITS], second[ID_UNITS], third[ID_UNITS], id[ID_UNITS];
  DWORD i = 0, j, k;
  found[0] = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ENUM_KEY, 0, KEY_READ, &enumKey) != ERROR_SUCCESS) {
    return FALSE;
  }
  while (nextSubkey(enumKey, &i, first)) {
    if (RegOpenKeyExW(enumKey, first, 0, KEY_READ, &enumerator) != ERROR_SUCCESS) continue;
    for (j = 0; nextSubkey(enumerator, &j, second);) {
      if (RegOpenKeyExW(enumerator, second, 0, KEY_READ, &device) != ERROR_SUCCESS) continue;
      for (k = 0; nextSubkey(device, &k, third);) {
        if (!isChildName(third, prefix) ||
            _snwprintf(id, ID_UNITS, L"%ls\\%ls\\%ls", first, second, third) >= ID_UNITS) {
          continue;
        }
        id[ID_UNITS - 1] = 0;
        if ((after != NULL && compareIds(id, after) <= 0) ||
            (found[0] != 0 && compareIds(id, found) >= 0) || !isPresent(id)) {
          continue;
        }
        lstrcpynW(found, id, ID_UNITS);
      }
      RegCloseKey(device);
    }
    RegCloseKey(enumerator);
  }
  RegCloseKey(enumKey);
  return found[0] != 0;
}

CONFIGRET WINAPI doubleGetChild(DEVINST* child, DEVINST node, ULONG flags) {
  WCHAR id[ID_UNITS], prefix[ID_UNITS], found[ID_UNITS];
  (void)flags;
  if (child == NULL) return CR_INVALID_POINTER;
  *child = 0;
  if (!nodeId(node, id)) return CR_NO_SUCH_DEVNODE;
  if (!readDeviceText(id, L"ParentIdPrefix", prefix) || !findChild(prefix, NULL, found)) {
    return CR_NO_SUCH_DEVNODE;
  }
  *child = ownNode(found, prefix);
  return *child != 0 ? CR_SUCCESS : CR_OUT_OF_MEMORY;
}

CONFIGRET WINAPI doubleGetSibling(DEVINST* sibling, DEVINST node, ULONG flags) {
  WCHAR found[ID_UNITS];
  const OwnNode* own;
  (void)flags;
  if (sibling == NULL) return CR_INVALID_POINTER;
  *sibling = 0;
  if (node < kOwnNodeBase || node - kOwnNodeBase >= gNodeCount) return CR_NO_SUCH_DEVNODE;
  own = &gNodes[node - kOwnNodeBase];
  if (!findChild(own->parentPrefix, own->id, found)) return CR_NO_SUCH_DEVNODE;
  *sibling = ownNode(found, own->parentPrefix);
  return *sibling != 0 ? CR_SUCCESS : CR_OUT_OF_MEMORY;
}

CONFIGRET WINAPI doubleGetDeviceId(DEVINST node, WCHAR* buffer, ULONG units, ULONG flags) {
  WCHAR id[ID_UNITS];
  (void)flags;
  if (buffer == NULL) return CR_INVALID_POINTER;
  if (!nodeId(node, id)) return CR_NO_SUCH_DEVNODE;
  if (wcslen(id) >= units) return CR_BUFFER_SMALL;
  lstrcpynW(buffer, id, units);
  return CR_SUCCESS;
}

/* Wine 8 has no CM_MapCrToWin32Err, which Windows 7 and later export: the codes the calls
 * served here give, as the system maps them. */
DWORD WINAPI doubleMapCrToWin32Err(CONFIGRET code, DWORD defaultError) {
  switch (code) {
    case CR_SUCCESS:
      return ERROR_SUCCESS;
    case CR_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    case CR_INVALID_POINTER:
      return ERROR_INVALID_USER_BUFFER;
    case CR_INVALID_FLAG:
      return ERROR_INVALID_FLAGS;
    case CR_INVALID_DEVNODE:
    case CR_INVALID_PROPERTY:
      return ERROR_INVALID_DATA;
    case CR_NO_SUCH_DEVNODE:
    case CR_NO_SUCH_VALUE:
      return ERROR_NOT_FOUND;
    case CR_BUFFER_SMALL:
      return ERROR_INSUFFICIENT_BUFFER;
    case CR_REGISTRY_ERROR:
      return ERROR_REGISTRY_CORRUPT;
    case CR_NO_SUCH_REGISTRY_KEY:
      return ERROR_FILE_NOT_FOUND;
    case CR_ACCESS_DENIED:
      return ERROR_ACCESS_DENIED;
    case CR_CALL_NOT_IMPLEMENTED:
      return ERROR_CALL_NOT_IMPLEMENTED;
    default:
      return defaultError;
  }
}

/* ---- Device-node keys and properties ------------------------------------------------ */

CONFIGRET WINAPI doubleOpenDevNodeKey(DEVINST node, REGSAM access, ULONG profile,
                                      REGDISPOSITION disposition, HKEY* key, ULONG flags) {
  WCHAR id[ID_UNITS], driver[ID_UNITS], path[PATH_UNITS];
  LONG result;
  (void)profile;
  if (key == NULL) return CR_INVALID_POINTER;
  *key = NULL;
  if (!nodeId(node, id)) return CR_NO_SUCH_DEVNODE;
  if (flags & CM_REGISTRY_SOFTWARE) {
    if (!readDeviceText(id, L"Driver", driver)) return CR_NO_SUCH_REGISTRY_KEY;
    if (!joinPath(path, CLASS_KEY, driver, NULL)) return CR_REGISTRY_ERROR;
  } else if (!joinPath(path, ENUM_KEY, id, L"Device Parameters")) {
    return CR_REGISTRY_ERROR;
  }
  result = disposition == RegDisposition_OpenExisting
               ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, key)
               : RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, access, NULL, key, NULL);
  if (result != ERROR_SUCCESS) *key = NULL;
  /* Refused for want of rights too: Microsoft documents no codes, ReactOS answers this. */
  return result == ERROR_SUCCESS ? CR_SUCCESS : CR_NO_SUCH_REGISTRY_KEY;
}

/* The Enum value behind a CM_DRP_* property, and whether it may be written (as text). */
typedef struct {
  ULONG property;
  const WCHAR* name;
  BOOL writable;
} PropertyValue;

static const PropertyValue kProperties[] = {
    {CM_DRP_DEVICEDESC, L"DeviceDesc", TRUE},
    {CM_DRP_HARDWAREID, L"HardwareID", FALSE},
    {CM_DRP_COMPATIBLEIDS, L"CompatibleIDs", FALSE},
    {CM_DRP_SERVICE, L"Service", FALSE},
    {CM_DRP_CLASS, L"Class", FALSE},
    {CM_DRP_CLASSGUID, L"ClassGUID", FALSE},
    {CM_DRP_DRIVER, L"Driver", FALSE},
    {CM_DRP_MFG, L"Mfg", FALSE},
    {CM_DRP_FRIENDLYNAME, L"FriendlyName", TRUE},
    {CM_DRP_LOCATION_INFORMATION, L"LocationInformation", TRUE},
    {CM_DRP_UI_NUMBER, L"UINumber", FALSE},
};

static const PropertyValue* findProperty(ULONG property) {
  size_t i;
  for (i = 0; i < sizeof kProperties / sizeof kProperties[0]; ++i) {
    if (kProperties[i].property == property) return &kProperties[i];
  }
  return NULL;
}

CONFIGRET WINAPI doubleGetDevNodeRegistryProperty(DEVINST node, ULONG property, ULONG* type,
                                                  void* buffer, ULONG* bytes, ULONG flags) {
  const PropertyValue* value = findProperty(property);
  WCHAR id[ID_UNITS];
  DWORD storedType = REG_NONE, size;
  HKEY key;
  LONG result;
  (void)flags;
  if (bytes == NULL) return CR_INVALID_POINTER;
  if (type != NULL) *type = REG_NONE;
  if (!nodeId(node, id)) return CR_NO_SUCH_DEVNODE;
  if (value == NULL) return CR_INVALID_PROPERTY;
  if (openDeviceKey(id, NULL, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return CR_NO_SUCH_VALUE;
  size = buffer != NULL ? *bytes : 0;
  result = RegQueryValueExW(key, value->name, NULL, &storedType, (BYTE*)buffer, &size);
  RegCloseKey(key);
  if (result == ERROR_FILE_NOT_FOUND) return CR_NO_SUCH_VALUE;
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return CR_REGISTRY_ERROR;
  *bytes = size;
  if (type != NULL) *type = storedType;
  return result == ERROR_MORE_DATA || buffer == NULL ? CR_BUFFER_SMALL : CR_SUCCESS;
}

CONFIGRET WINAPI doubleSetDevNodeRegistryProperty(DEVINST node, ULONG property, const void* buffer,
                                                  ULONG bytes, ULONG flags) {
  const PropertyValue* value = findProperty(property);
  WCHAR id[ID_UNITS];
  HKEY key;
  LONG result;
  (void)flags;
  if (!nodeId(node, id)) return CR_NO_SUCH_DEVNODE;
  if (value == NULL || !value->writable) return CR_INVALID_PROPERTY;
  result = openDeviceKey(id, NULL, KEY_SET_VALUE, &key);
  if (result != ERROR_SUCCESS) return fromRegistryError(result);
  if (buffer == NULL || bytes == 0) {
    result = RegDeleteValueW(key, value->name);
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
  } else {
    result = RegSetValueExW(key, value->name, 0, REG_SZ, (const BYTE*)buffer, bytes);
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? CR_SUCCESS : fromRegistryError(result);
}

/* ---- The allocated configuration ---------------------------------------------------- */

/* A node has an allocated configuration while Control\AllocConfig exists. Its one
 * resource descriptor is the first I/O port range of the list's first full descriptor;
 * a list too short for the counts it declares has none. The list is the 64-bit
 * CM_RESOURCE_LIST: a count of full descriptors, each a 16-byte header ending in its
 * count of 20-byte partial descriptors (type byte, share byte, flags word, 16 data
 * bytes; an I/O port range is type 1, its start at data offset 0, its length at 8). */
#define kListHeader 4u
#define kFullHeader 16u
#define kPartialSize 20u
#define kPartialTypePort 1u

#define kLogConfMagic 0x464E434Cu
#define kResDesMagic 0x53454452u

typedef struct {
  DWORD magic;
  BOOL hasIo;
  WORD flags;
  ULONGLONG start;
  DWORD length;
} ConfigHandle;

static ULONGLONG numberAt(const BYTE* bytes, DWORD size) {
  ULONGLONG value = 0;
  while (size-- > 0) value = (value << 8) | bytes[size];
  return value;
}

static void findIoRange(const BYTE* list, DWORD size, ConfigHandle* config) {
  ULONGLONG fullCount, count, full, i, offset = kListHeader;
  BOOL found = FALSE;
  ConfigHandle io = *config;
  if (size < kListHeader) return;
  fullCount = numberAt(list, 4);
  for (full = 0; full < fullCount; ++full) {
    if (offset + kFullHeader > size) return;
    count = numberAt(list + offset + 12, 4);
    offset += kFullHeader;
    if (offset + count * kPartialSize > size) return;
    for (i = 0; full == 0 && !found && i < count; ++i) {
      const BYTE* partial = list + offset + i * kPartialSize;
      if (partial[0] != kPartialTypePort) continue;
      io.flags = (WORD)numberAt(partial + 2, 2);
      io.start = numberAt(partial + 4, 8);
      io.length = (DWORD)numberAt(partial + 12, 4);
      found = TRUE;
    }
    offset += count * kPartialSize;
  }
  if (found) {
    *config = io;
    config->hasIo = TRUE;
  }
}

static ConfigHandle* newConfigHandle(DWORD magic, const ConfigHandle* from) {
  ConfigHandle* handle = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *handle);
  if (handle == NULL) return NULL;
  if (from != NULL) *handle = *from;
  handle->magic = magic;
  return handle;
}

static CONFIGRET freeConfigHandle(ULONG_PTR value, DWORD magic) {
  ConfigHandle* handle = (ConfigHandle*)value;
  if (handle == NULL || handle->magic != magic) {
    return magic == kLogConfMagic ? CR_INVALID_LOG_CONF : CR_INVALID_RES_DES;
  }
  handle->magic = 0;
  HeapFree(GetProcessHeap(), 0, handle);
  return CR_SUCCESS;
}

CONFIGRET WINAPI doubleGetFirstLogConf(LOG_CONF* logConf, DEVINST node, ULONG flags) {
  WCHAR id[ID_UNITS];
  HKEY key;
  DWORD size = 0;
  BYTE* list;
  ConfigHandle config;
  LONG result;
  if (logConf != NULL) *logConf = 0;
  if (!nodeId(node, id)) return CR_NO_SUCH_DEVNODE;
  if (flags != ALLOC_LOG_CONF) return CR_NO_MORE_LOG_CONF;
  if (openDeviceKey(id, L"Control", KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return CR_NO_MORE_LOG_CONF;
  }
  result = RegQueryValueExW(key, L"AllocConfig", NULL, NULL, NULL, &size);
  list = result == ERROR_SUCCESS ? HeapAlloc(GetProcessHeap(), 0, size + 1) : NULL;
  if (list != NULL) result = RegQueryValueExW(key, L"AllocConfig", NULL, NULL, list, &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) {
    if (list != NULL) HeapFree(GetProcessHeap(), 0, list);
    return CR_NO_MORE_LOG_CONF;
  }
  if (list == NULL) return CR_OUT_OF_MEMORY;
  ZeroMemory(&config, sizeof config);
  findIoRange(list, size, &config);
  HeapFree(GetProcessHeap(), 0, list);
  if (logConf == NULL) return CR_SUCCESS;
  *logConf = (LOG_CONF)newConfigHandle(kLogConfMagic, &config);
  return *logConf != 0 ? CR_SUCCESS : CR_OUT_OF_MEMORY;
}

CONFIGRET WINAPI doubleFreeLogConfHandle(LOG_CONF logConf) {
  return freeConfigHandle(logConf, kLogConfMagic);
}

CONFIGRET WINAPI doubleFreeResDesHandle(RES_DES resDes) {
  return freeConfigHandle(resDes, kResDesMagic);
}

/* From a LOG_CONF: its I/O port range, when asked for I/O ports or for any type. After
 * that descriptor there is no other. */
CONFIGRET WINAPI doubleGetNextResDes(RES_DES* resDes, RES_DES from, RESOURCEID wanted,
                                     RESOURCEID* foundType, ULONG flags) {
  const ConfigHandle* config = (const ConfigHandle*)from;
  (void)flags;
  if (resDes == NULL) return CR_INVALID_POINTER;
  *resDes = 0;
  if (config == NULL || (config->magic != kLogConfMagic && config->magic != kResDesMagic)) {
    return CR_INVALID_LOG_CONF;
  }
  if (config->magic == kResDesMagic || !config->hasIo ||
      (wanted != ResType_IO && wanted != ResType_All)) {
    return CR_NO_MORE_RES_DES;
  }
  *resDes = (RES_DES)newConfigHandle(kResDesMagic, config);
  if (*resDes == 0) return CR_OUT_OF_MEMORY;
  if (foundType != NULL) *foundType = ResType_IO;
  return CR_SUCCESS;
}

/* An I/O descriptor's data is an IO_RESOURCE, the size of which CM_Get_Res_Des_Data_Size
 * gives: the IO_DES header of its allocated range (no ranges counted, as in an allocated
 * configuration) and the one range of its array, left zero. A smaller buffer is refused. */
CONFIGRET WINAPI doubleGetResDesDataSize(ULONG* size, RES_DES resDes, ULONG flags) {
  const ConfigHandle* io = (const ConfigHandle*)resDes;
  (void)flags;
  if (size == NULL) return CR_INVALID_POINTER;
  *size = 0;
  if (io == NULL || io->magic != kResDesMagic) return CR_INVALID_RES_DES;
  *size = sizeof(IO_RESOURCE);
  return CR_SUCCESS;
}

CONFIGRET WINAPI doubleGetResDesData(RES_DES resDes, void* buffer, ULONG size, ULONG flags) {
  const ConfigHandle* io = (const ConfigHandle*)resDes;
  IO_RESOURCE data;
  (void)flags;
  if (io == NULL || io->magic != kResDesMagic) return CR_INVALID_RES_DES;
  if (buffer == NULL) return CR_INVALID_POINTER;
  if (size < sizeof data) return CR_BUFFER_SMALL;
  ZeroMemory(&data, sizeof data);
  data.IO_Header.IOD_Type = IOType_Range;
  data.IO_Header.IOD_Alloc_Base = io->start;
  data.IO_Header.IOD_Alloc_End = io->length != 0 ? io->start + io->length - 1 : io->start;
  data.IO_Header.IOD_DesFlags = io->flags;
  CopyMemory(buffer, &data, sizeof data);
  return CR_SUCCESS;
}
