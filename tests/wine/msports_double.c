/* A COM port database stand-in for the end-to-end runs of the Windows build under Wine,
 * loaded from beside the exe. The database is the bitmap in the value ComDB of
 * HKLM\SYSTEM\CurrentControlSet\Control\COM Name Arbiter: COM n is in use when bit
 * (n-1) % 8 of byte (n-1) / 8 is set; a missing value or a short one means free. The
 * database arbitrates 8 numbers per byte of the value, at least 256 (a fresh machine's
 * value is 32 bytes): a claim or release above that fails until ComDBResizeDatabase grows
 * it. Every call reads the bitmap afresh and writes it back only when it changed, holding
 * the machine-wide mutex of the database as the system's own does (exported through the
 * held* wrappers, see msports.def), so that two processes never interleave in one bitmap. */
#include <windows.h>

#include <ddk/msports.h>

#include "platform/sim/knobs.h"

#define ARBITER_KEY L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter"
#define KNOBS_KEY ZP_KNOB_WIDE(ZP_COMDB_KNOBS)
#define kMaxComNumber 4096u
#define kLeastSize 256u
#define kSizeStep 1024u
#define kMaxBitmapBytes 65536u

typedef struct {
  HKEY key;
  HANDLE mutex;
} Database;

typedef struct {
  BYTE bytes[kMaxBitmapBytes];
  DWORD size;
} Bitmap;

static Database* databaseOf(HCOMDB handle) {
  return handle == NULL || handle == HCOMDB_INVALID_HANDLE_VALUE ? NULL : (Database*)handle;
}

static LONG readBitmap(const Database* db, Bitmap* bitmap) {
  DWORD type = REG_NONE;
  LONG result;
  bitmap->size = sizeof bitmap->bytes;
  result = RegQueryValueExW(db->key, L"ComDB", NULL, &type, bitmap->bytes, &bitmap->size);
  if (result == ERROR_FILE_NOT_FOUND) {
    bitmap->size = 0;
    return ERROR_SUCCESS;
  }
  return result;
}

static LONG writeBitmap(const Database* db, const Bitmap* bitmap) {
  return RegSetValueExW(db->key, L"ComDB", 0, REG_BINARY, bitmap->bytes, bitmap->size);
}

/* How many numbers the database arbitrates. */
static DWORD sizeOf(const Bitmap* bitmap) {
  DWORD size = bitmap->size * 8;
  return size < kLeastSize ? kLeastSize : size > kMaxComNumber ? kMaxComNumber : size;
}

static BOOL arbitrated(const Bitmap* bitmap, DWORD number) {
  return number >= 1 && number <= sizeOf(bitmap);
}

static BOOL isTaken(const Bitmap* bitmap, DWORD number) {
  DWORD byte = (number - 1) / 8;
  return byte < bitmap->size && (bitmap->bytes[byte] & (1u << ((number - 1) % 8))) != 0;
}

/* A DWORD knob of the simulated machine (its default when absent). */
static DWORD knob(const WCHAR* name, DWORD fallback) {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, KNOBS_KEY, name, RRF_RT_REG_DWORD, NULL, &value, &size) !=
      ERROR_SUCCESS) {
    return fallback;
  }
  return value;
}

LONG WINAPI ComDBOpen(HCOMDB* handle) {
  Database* db;
  LONG result;
  if (handle == NULL) return ERROR_INVALID_PARAMETER;
  *handle = HCOMDB_INVALID_HANDLE_VALUE;
  db = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *db);
  if (db == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ARBITER_KEY, 0, NULL, 0,
                           KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &db->key, NULL);
  if (result != ERROR_SUCCESS) {
    HeapFree(GetProcessHeap(), 0, db);
    return result;
  }
  /* Without its mutex the database does not open, as the reimplementation it follows. */
  db->mutex = CreateMutexW(NULL, FALSE, L"Global\\ComDBMutex");
  if (db->mutex == NULL) {
    result = GetLastError();
    RegCloseKey(db->key);
    HeapFree(GetProcessHeap(), 0, db);
    return result;
  }
  *handle = (HCOMDB)db;
  return ERROR_SUCCESS;
}

LONG WINAPI ComDBClose(HCOMDB handle) {
  Database* db = databaseOf(handle);
  if (db == NULL) return ERROR_INVALID_PARAMETER;
  RegCloseKey(db->key);
  if (db->mutex != NULL) CloseHandle(db->mutex);
  HeapFree(GetProcessHeap(), 0, db);
  return ERROR_SUCCESS;
}

/* Claiming a number in use fails without force (the exported claim never forces, see
 * heldClaimPort); with force it succeeds. A value shorter
 * than the size it stands for is filled out with zero bytes when written. */
LONG WINAPI ComDBClaimPort(HCOMDB handle, DWORD number, BOOL force, BOOL* forced) {
  Database* db = databaseOf(handle);
  static Bitmap bitmap;
  DWORD byte = (number - 1) / 8;
  LONG result;
  if (forced != NULL) *forced = FALSE;
  if (db == NULL) return ERROR_INVALID_PARAMETER;
  result = readBitmap(db, &bitmap);
  if (result != ERROR_SUCCESS) return result;
  if (!arbitrated(&bitmap, number)) return ERROR_INVALID_PARAMETER;
  if (isTaken(&bitmap, number)) {
    if (!force) return ERROR_SHARING_VIOLATION;
    if (forced != NULL) *forced = TRUE;
    return ERROR_SUCCESS;
  }
  if (bitmap.size < sizeOf(&bitmap) / 8) {
    ZeroMemory(bitmap.bytes + bitmap.size, sizeOf(&bitmap) / 8 - bitmap.size);
    bitmap.size = sizeOf(&bitmap) / 8;
  }
  bitmap.bytes[byte] |= (BYTE)(1u << ((number - 1) % 8));
  result = writeBitmap(db, &bitmap);
  /* The other program's claim stands; this one finds the number taken. */
  if (result == ERROR_SUCCESS && !force &&
      knob(ZP_KNOB_WIDE(ZP_KNOB_TAKEN_BEFORE_CLAIM), ZP_KNOB_TAKEN_BEFORE_CLAIM_DEFAULT) ==
          number) {
    return ERROR_SHARING_VIOLATION;
  }
  return result;
}

LONG WINAPI ComDBReleasePort(HCOMDB handle, DWORD number) {
  Database* db = databaseOf(handle);
  static Bitmap bitmap;
  LONG result;
  if (db == NULL) return ERROR_INVALID_PARAMETER;
  result = readBitmap(db, &bitmap);
  if (result != ERROR_SUCCESS) return result;
  if (!arbitrated(&bitmap, number)) return ERROR_INVALID_PARAMETER;
  if (!isTaken(&bitmap, number)) return ERROR_SUCCESS;
  bitmap.bytes[(number - 1) / 8] &= (BYTE) ~(1u << ((number - 1) % 8));
  return writeBitmap(db, &bitmap);
}

/* CDB_REPORT_BYTES: one byte per number from COM1, 1 when taken, for the numbers the
 * database arbitrates or as many as the buffer holds; the rest of the buffer is cleared and
 * MaxPortsReported is not set. CDB_REPORT_BITS: the bitmap itself. Without a buffer: the
 * database's size (the report type is not looked at). */
LONG WINAPI ComDBGetCurrentPortUsage(HCOMDB handle, BYTE* buffer, DWORD size, DWORD reportType,
                                     DWORD* reported) {
  Database* db = databaseOf(handle);
  static Bitmap bitmap;
  DWORD count, i;
  LONG result;
  if (db == NULL || (buffer == NULL && reported == NULL)) return ERROR_INVALID_PARAMETER;
  result = readBitmap(db, &bitmap);
  if (result != ERROR_SUCCESS) return result;
  if (buffer == NULL) {
    *reported = sizeOf(&bitmap);
    return ERROR_SUCCESS;
  }
  if (reportType == CDB_REPORT_BYTES) {
    ZeroMemory(buffer, size);
    for (i = 0; i < size && i < sizeOf(&bitmap); ++i) buffer[i] = isTaken(&bitmap, i + 1) ? 1 : 0;
    return ERROR_SUCCESS;
  } else if (reportType == CDB_REPORT_BITS) {
    count = size < sizeOf(&bitmap) / 8 ? size : sizeOf(&bitmap) / 8;
    for (i = 0; i < count; ++i) buffer[i] = i < bitmap.size ? bitmap.bytes[i] : 0;
    count *= 8;
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  if (reported != NULL) *reported = count;
  return ERROR_SUCCESS;
}

/* NewSize must be a multiple of 1024 (else ERROR_INVALID_PARAMETER), above the current size
 * and at most 4096 (else ERROR_BAD_LENGTH); the value is extended with zero bytes. */
LONG WINAPI ComDBResizeDatabase(HCOMDB handle, DWORD newSize) {
  Database* db = databaseOf(handle);
  static Bitmap bitmap;
  LONG result;
  if (db == NULL || newSize % kSizeStep != 0) return ERROR_INVALID_PARAMETER;
  if (knob(ZP_KNOB_WIDE(ZP_KNOB_RESIZE_FAILS), ZP_KNOB_RESIZE_FAILS_DEFAULT) == 1) {
    return ERROR_ACCESS_DENIED;
  }
  result = readBitmap(db, &bitmap);
  if (result != ERROR_SUCCESS) return result;
  if (newSize <= sizeOf(&bitmap) || newSize > kMaxComNumber) return ERROR_BAD_LENGTH;
  ZeroMemory(bitmap.bytes + bitmap.size, newSize / 8 - bitmap.size);
  bitmap.size = newSize / 8;
  return writeBitmap(db, &bitmap);
}

/* ---- Held: each call under the database's mutex ----------------------------------------- */

static HCOMDB hold(HCOMDB handle) {
  Database* db = databaseOf(handle);
  if (db != NULL && db->mutex != NULL) WaitForSingleObject(db->mutex, INFINITE);
  return handle;
}

static LONG letGo(HCOMDB handle, LONG result) {
  Database* db = databaseOf(handle);
  if (db != NULL && db->mutex != NULL) ReleaseMutex(db->mutex);
  return result;
}

/* ForceClaim is documented as reserved for the system's own use; ReactOS's reimplementation
 * of the database refuses a number in use whatever the flag says. */
LONG WINAPI heldClaimPort(HCOMDB handle, DWORD number, BOOL force, BOOL* forced) {
  (void)force;
  return letGo(handle, ComDBClaimPort(hold(handle), number, FALSE, forced));
}

LONG WINAPI heldReleasePort(HCOMDB handle, DWORD number) {
  return letGo(handle, ComDBReleasePort(hold(handle), number));
}

LONG WINAPI heldGetCurrentPortUsage(HCOMDB handle, BYTE* buffer, DWORD size, DWORD reportType,
                                    DWORD* reported) {
  return letGo(handle, ComDBGetCurrentPortUsage(hold(handle), buffer, size, reportType, reported));
}

LONG WINAPI heldResizeDatabase(HCOMDB handle, DWORD newSize) {
  return letGo(handle, ComDBResizeDatabase(hold(handle), newSize));
}
