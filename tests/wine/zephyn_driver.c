/* A stand-in for the adapter driver, for the end-to-end runs of the Windows build under
 * Wine. It offers the control device \\.\zephyn and answers the two requests the program
 * makes (text commands and port-count queries) the way the simulated machine's driver
 * does, steered by the values under HKLM\SOFTWARE\ZephynSim\Driver, and appends one line
 * per open, exchange and close to C:\zephynsim.log:
 *
 *   open \\.\zephyn
 *   ioctl 0x1B2010 in=184 out=184 type=14 text="device[Device0].port[4].WaitOnTx=1"
 *   ioctl 0x1B2010 in=40 out=40 type=20 ui=3
 *   close \\.\zephyn
 *
 * The text of a command stands decoded in the machine's ANSI code page (Nls\CodePage,
 * ACP): Windows-1252, or UTF-8, where a byte of no well-formed character stands as \xHH;
 * in any other code page every byte above ASCII stands as \xHH.
 *
 * The knobs are read at every request, so a machine imported after the driver started
 * still steers it. */
#include <ntddk.h>

#include "platform/sim/knobs.h"

#define CONTROL_CODE 0x1B2010u
#define REQUEST_TEXT 14u
#define REQUEST_PORT_COUNT 20u
#define TEXT_OFFSET 16u
#define UI_NUMBER_OFFSET 12u
#define PORT_COUNT_OFFSET 32u

#define KNOBS_KEY L"\\Registry\\Machine\\" ZP_KNOB_WIDE(ZP_DRIVER_KNOBS)
#define PORT_COUNTS_KEY L"\\Registry\\Machine\\" ZP_KNOB_WIDE(ZP_DRIVER_PORT_COUNTS)
#define CODE_PAGE_KEY L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage"
#define LOG_PATH L"\\??\\C:\\zephynsim.log"

/* ---- A bounded line of text ---------------------------------------------------------- */

typedef struct {
  char text[1024];
  ULONG length;
} Line;

static void addBytes(Line* line, const char* bytes, ULONG count) {
  while (count-- > 0 && line->length < sizeof line->text) line->text[line->length++] = *bytes++;
}

static void addText(Line* line, const char* text) {
  while (*text != '\0') addBytes(line, text++, 1);
}

static void addDecimal(Line* line, ULONG value) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = (char)('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) addBytes(line, &digits[--count], 1);
}

static void addHex(Line* line, ULONG value, int minDigits) {
  static const char kHex[] = "0123456789ABCDEF";
  char digits[8];
  int count = 0;
  do {
    digits[count++] = kHex[value & 0xF];
    value >>= 4;
  } while (value != 0 || count < minDigits);
  while (count > 0) addBytes(line, &digits[--count], 1);
}

/* Windows-1252 bytes 0x80 to 0x9F as Unicode; the five unassigned ones map to themselves. */
static const USHORT kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

static USHORT fromCp1252(UCHAR byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

static UCHAR toCp1252(USHORT unit) {
  ULONG i;
  if (unit < 0x80 || (unit >= 0xA0 && unit < 0x100)) return (UCHAR)unit;
  for (i = 0; i < 32; ++i) {
    if (kCp1252High[i] == unit) return (UCHAR)(0x80 + i);
  }
  return '?';
}

/* A code point as UTF-8, escaped for a quoted log field. */
static void addEscaped(Line* line, USHORT c) {
  char utf8[3];
  if (c == '"' || c == '\\') {
    addBytes(line, "\\", 1);
    utf8[0] = (char)c;
    addBytes(line, utf8, 1);
  } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
    addText(line, "\\x");
    addHex(line, c, 2);
  } else if (c < 0x80) {
    utf8[0] = (char)c;
    addBytes(line, utf8, 1);
  } else if (c < 0x800) {
    utf8[0] = (char)(0xC0 | (c >> 6));
    utf8[1] = (char)(0x80 | (c & 0x3F));
    addBytes(line, utf8, 2);
  } else {
    utf8[0] = (char)(0xE0 | (c >> 12));
    utf8[1] = (char)(0x80 | ((c >> 6) & 0x3F));
    utf8[2] = (char)(0x80 | (c & 0x3F));
    addBytes(line, utf8, 3);
  }
}

/* ---- The event log ------------------------------------------------------------------ */

static void appendLogLine(Line* line) {
  UNICODE_STRING path;
  OBJECT_ATTRIBUTES attributes;
  IO_STATUS_BLOCK status;
  HANDLE file;
  addBytes(line, "\n", 1);
  RtlInitUnicodeString(&path, LOG_PATH);
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  if (!NT_SUCCESS(ZwCreateFile(&file, FILE_APPEND_DATA | SYNCHRONIZE, &attributes, &status, NULL,
                               FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               FILE_OPEN_IF, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE,
                               NULL, 0))) {
    return;
  }
  ZwWriteFile(file, NULL, NULL, NULL, &status, line->text, line->length, NULL, NULL);
  ZwClose(file);
}

static void logEvent(const char* text) {
  Line line;
  line.length = 0;
  addText(&line, text);
  appendLogLine(&line);
}

/* ---- The knobs ---------------------------------------------------------------------- */

typedef struct {
  KEY_VALUE_PARTIAL_INFORMATION info;
  UCHAR more[512];
} ValueData;

/* Reads one value of the key at `keyPath`; FALSE when the key or value is missing. */
static BOOLEAN readKnob(const WCHAR* keyPath, const WCHAR* name, ValueData* data) {
  UNICODE_STRING path, valueName;
  OBJECT_ATTRIBUTES attributes;
  HANDLE key;
  ULONG size = 0;
  NTSTATUS result;
  RtlInitUnicodeString(&path, keyPath);
  RtlInitUnicodeString(&valueName, name);
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_QUERY_VALUE, &attributes))) return FALSE;
  RtlZeroMemory(data, sizeof *data);
  result = ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, data, sizeof *data, &size);
  ZwClose(key);
  return NT_SUCCESS(result);
}

static BOOLEAN readDwordKnob(const WCHAR* keyPath, const WCHAR* name, ULONG* value) {
  ValueData data;
  if (!readKnob(keyPath, name, &data) || data.info.Type != REG_DWORD ||
      data.info.DataLength != sizeof(ULONG)) {
    return FALSE;
  }
  RtlCopyMemory(value, data.info.Data, sizeof(ULONG));
  return TRUE;
}

/* Whether a DWORD knob of the driver is not 0; one that is absent (or no DWORD) takes its
 * default. */
static BOOLEAN knobIsSet(const WCHAR* name, ULONG fallback) {
  ULONG value = fallback;
  readDwordKnob(KNOBS_KEY, name, &value);
  return value != 0;
}

/* The reply text in Windows-1252 with its terminator; returns its size in bytes. */
static ULONG readReply(UCHAR* reply, ULONG capacity) {
  static const char kDefaultReply[] = ZP_KNOB_REPLY_DEFAULT;
  ValueData data;
  ULONG count = 0;
  if (readKnob(KNOBS_KEY, ZP_KNOB_WIDE(ZP_KNOB_REPLY), &data) &&
      (data.info.Type == REG_SZ || data.info.Type == REG_EXPAND_SZ)) {
    const WCHAR* units = (const WCHAR*)data.info.Data;
    ULONG unitCount = data.info.DataLength / sizeof(WCHAR);
    ULONG i = 0;
    while (i < unitCount && units[i] != 0 && count + 1 < capacity) {
      /* A surrogate pair is one character that the code page cannot hold. */
      BOOLEAN pair = units[i] >= 0xD800 && units[i] < 0xDC00 && i + 1 < unitCount &&
                     units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
      reply[count++] = pair ? '?' : toCp1252(units[i]);
      i += pair ? 2 : 1;
    }
  } else {
    while (kDefaultReply[count] != '\0') {
      reply[count] = (UCHAR)kDefaultReply[count];
      ++count;
    }
  }
  reply[count++] = 0;
  return count;
}

/* How the log shows the bytes of a command text. */
typedef enum { TEXT_1252, TEXT_UTF8, TEXT_BYTES } TextForm;

static BOOLEAN valueIsText(const ValueData* data, const WCHAR* text) {
  const WCHAR* units = (const WCHAR*)data->info.Data;
  ULONG count = data->info.DataLength / sizeof(WCHAR), i = 0;
  if (data->info.Type != REG_SZ) return FALSE;
  while (count > 0 && units[count - 1] == 0) --count;
  for (; i < count && text[i] != 0; ++i) {
    if (units[i] != text[i]) return FALSE;
  }
  return i == count && text[i] == 0;
}

static TextForm ansiTextForm(void) {
  ValueData data;
  if (!readKnob(CODE_PAGE_KEY, L"ACP", &data) || valueIsText(&data, L"1252")) return TEXT_1252;
  return valueIsText(&data, L"65001") ? TEXT_UTF8 : TEXT_BYTES;
}

/* The length of the well-formed UTF-8 sequence at bytes[at], before `end`; 0 for none. */
static ULONG utf8Length(const UCHAR* bytes, ULONG at, ULONG end) {
  UCHAR lead = bytes[at], low = 0x80, high = 0xBF;
  ULONG length, i;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > end || bytes[at + 1] < low || bytes[at + 1] > high) return 0;
  for (i = 2; i < length; ++i) {
    if (bytes[at + i] < 0x80 || bytes[at + i] > 0xBF) return 0;
  }
  return length;
}

/* The zero-ended command text at bytes[at], before `end`, quoted for the log. */
static void addCommandText(Line* line, const UCHAR* bytes, ULONG at, ULONG end) {
  TextForm form = ansiTextForm();
  ULONG length;
  addText(line, "\"");
  while (at < end && bytes[at] != 0) {
    if (form == TEXT_1252 || bytes[at] < 0x80) {
      addEscaped(line, fromCp1252(bytes[at++]));
    } else if (form == TEXT_UTF8 && (length = utf8Length(bytes, at, end)) != 0) {
      if (length == 2 && bytes[at] == 0xC2 && bytes[at + 1] < 0xA0) {
        addEscaped(line, bytes[at + 1]); /* a C1 control character */
      } else {
        addBytes(line, (const char*)bytes + at, length);
      }
      at += length;
    } else {
      addText(line, "\\x");
      addHex(line, bytes[at++], 2);
    }
  }
  addText(line, "\"");
}

/* ---- Requests ----------------------------------------------------------------------- */

static ULONG wordAt(const UCHAR* bytes, ULONG offset) {
  ULONG word;
  RtlCopyMemory(&word, bytes + offset, sizeof word);
  return word;
}

/* Answers a text command at offset 16; the reply never goes past `outSize` bytes. With
 * NoReply nothing at all goes back. */
static BOOLEAN answerText(UCHAR* buffer, ULONG outSize, ULONG* returned) {
  UCHAR reply[256];
  ULONG size, room;
  if (knobIsSet(ZP_KNOB_WIDE(ZP_KNOB_NO_REPLY), ZP_KNOB_NO_REPLY_DEFAULT)) {
    *returned = 0;
    return TRUE;
  }
  size = readReply(reply, sizeof reply);
  if (outSize > TEXT_OFFSET) {
    room = outSize - TEXT_OFFSET;
    RtlCopyMemory(buffer + TEXT_OFFSET, reply, size < room ? size : room);
  }
  return TRUE;
}

static BOOLEAN answerPortCount(UCHAR* buffer, ULONG outSize) {
  WCHAR name[11];
  UNICODE_STRING text;
  ULONG count;
  text.Buffer = name;
  text.Length = 0;
  text.MaximumLength = sizeof name;
  if (!NT_SUCCESS(RtlIntegerToUnicodeString(wordAt(buffer, UI_NUMBER_OFFSET), 10, &text))) {
    return FALSE;
  }
  name[text.Length / sizeof(WCHAR)] = 0;
  if (outSize <= PORT_COUNT_OFFSET || !readDwordKnob(PORT_COUNTS_KEY, name, &count)) return FALSE;
  buffer[PORT_COUNT_OFFSET] = (UCHAR)count;
  return TRUE;
}

/* The log line of one exchange, up to its outcome. */
static void describeExchange(Line* line, ULONG code, const UCHAR* buffer, ULONG inSize,
                             ULONG outSize) {
  ULONG type;
  addText(line, "ioctl 0x");
  addHex(line, code, 1);
  addText(line, " in=");
  addDecimal(line, inSize);
  addText(line, " out=");
  addDecimal(line, outSize);
  if (inSize < 4) return;
  type = wordAt(buffer, 0);
  addText(line, " type=");
  addDecimal(line, type);
  if (type == REQUEST_TEXT && inSize >= TEXT_OFFSET) {
    addText(line, " text=");
    addCommandText(line, buffer, TEXT_OFFSET, inSize);
  } else if (type == REQUEST_PORT_COUNT && inSize >= UI_NUMBER_OFFSET + 4) {
    addText(line, " ui=");
    addDecimal(line, wordAt(buffer, UI_NUMBER_OFFSET));
  }
}

static NTSTATUS complete(IRP* irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS NTAPI dispatchControl(DEVICE_OBJECT* device, IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
  BOOLEAN served = FALSE;
  ULONG returned;
  Line line;
  (void)device;
  if (buffer == NULL) inSize = outSize = 0;
  returned = outSize;
  line.length = 0;
  describeExchange(&line, code, buffer, inSize, outSize);
  /* Requests shorter than the 16-byte header, and types other than the two, fail. */
  if (code == CONTROL_CODE && inSize >= TEXT_OFFSET &&
      !knobIsSet(ZP_KNOB_WIDE(ZP_KNOB_FAIL_EXCHANGE), ZP_KNOB_FAIL_EXCHANGE_DEFAULT)) {
    ULONG type = wordAt(buffer, 0);
    if (type == REQUEST_TEXT) {
      served = answerText(buffer, outSize, &returned);
    } else if (type == REQUEST_PORT_COUNT) {
      served = answerPortCount(buffer, outSize);
    }
  }
  if (!served) addText(&line, " failed");
  appendLogLine(&line);
  return served ? complete(irp, STATUS_SUCCESS, returned)
                : complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

/* The harness's open that asks whether the device is there yet (wait_device.exe, which
 * opens it for backup) is answered without a line in the log; its file object keeps the
 * mark until the close. */
#define PROBE_MARK ((void*)0x5A50)

static BOOLEAN isReadinessProbe(IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  FILE_OBJECT* file = stack->FileObject;
  if (file == NULL) return FALSE;
  if (stack->MajorFunction == IRP_MJ_CREATE &&
      (stack->Parameters.Create.Options & FILE_OPEN_FOR_BACKUP_INTENT) != 0) {
    file->FsContext2 = PROBE_MARK;
  }
  return file->FsContext2 == PROBE_MARK;
}

static NTSTATUS NTAPI dispatchCreate(DEVICE_OBJECT* device, IRP* irp) {
  (void)device;
  if (!isReadinessProbe(irp)) logEvent("open \\\\.\\zephyn");
  return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI dispatchClose(DEVICE_OBJECT* device, IRP* irp) {
  (void)device;
  if (!isReadinessProbe(irp)) logEvent("close \\\\.\\zephyn");
  return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI dispatchCleanup(DEVICE_OBJECT* device, IRP* irp) {
  (void)device;
  return complete(irp, STATUS_SUCCESS, 0);
}

/* ---- Loading and unloading ---------------------------------------------------------- */

static void NTAPI unloadDriver(DRIVER_OBJECT* driver) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, L"\\DosDevices\\zephyn");
  IoDeleteSymbolicLink(&link);
  if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
  UNICODE_STRING name, link;
  DEVICE_OBJECT* device = NULL;
  NTSTATUS status;
  (void)registryPath;
  RtlInitUnicodeString(&name, L"\\Device\\zephyn");
  RtlInitUnicodeString(&link, L"\\DosDevices\\zephyn");
  status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_SERIAL_PORT, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreate;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatchClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatchCleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchControl;
  driver->DriverUnload = unloadDriver;
  return STATUS_SUCCESS;
}
