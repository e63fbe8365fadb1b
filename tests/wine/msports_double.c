/* A COM port database stand-in for the end-to-end runs of the Windows build under Wine,
 * loaded from beside the exe. The database is the bitmap in the value ComDB of
 * HKLM\SYSTEM\CurrentControlSet\Control\COM Name Arbiter: COM n is in use when bit
 * (n-1) % 8 of byte (n-1) / 8 is set; a missing value or a short one means free. Every
 * call reads the bitmap afresh and writes it back only when it changed. */
#include <windows.h>

#include <ddk/msports.h>

#define ARBITER_KEY L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter"
#define kMaxComNumber 4096u
#define kGrowthStep 32u
#define kMaxBitmapBytes 65536u

typedef struct {
  HKEY key;
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

static BOOL isTaken(const Bitmap* bitmap, DWORD number) {
  DWORD byte = (number - 1) / 8;
  return byte < bitmap->size && (bitmap->bytes[byte] & (1u << ((number - 1) % 8))) != 0;
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
  *handle = (HCOMDB)db;
  return ERROR_SUCCESS;
}

LONG WINAPI ComDBClose(HCOMDB handle) {
  Database* db = databaseOf(handle);
  if (db == NULL) return ERROR_INVALID_PARAMETER;
  RegCloseKey(db->key);
  HeapFree(GetProcessHeap(), 0, db);
  return ERROR_SUCCESS;
}

/* Claiming a number in use fails without force; with force it succeeds. Claiming past
 * the bitmap's end grows it in 32-byte steps. */
LONG WINAPI ComDBClaimPort(HCOMDB handle, DWORD number, BOOL force, BOOL* forced) {
  Database* db = databaseOf(handle);
  static Bitmap bitmap;
  DWORD byte = (number - 1) / 8;
  LONG result;
  if (forced != NULL) *forced = FALSE;
  if (db == NULL || number < 1 || number > kMaxComNumber) return ERROR_INVALID_PARAMETER;
  result = readBitmap(db, &bitmap);
  if (result != ERROR_SUCCESS) return result;
  if (isTaken(&bitmap, number)) {
    if (!force) return ERROR_SHARING_VIOLATION;
    if (forced != NULL) *forced = TRUE;
    return ERROR_SUCCESS;
  }
  while (bitmap.size <= byte) {
    ZeroMemory(bitmap.bytes + bitmap.size, kGrowthStep);
    bitmap.size += kGrowthStep;
  }
  bitmap.bytes[byte] |= (BYTE)(1u << ((number - 1) % 8));
  return writeBitmap(db, &bitmap);
}

LONG WINAPI ComDBReleasePort(HCOMDB handle, DWORD number) {
  Database* db = databaseOf(handle);
  static Bitmap bitmap;
  LONG result;
  if (db == NULL || number < 1 || number > kMaxComNumber) return ERROR_INVALID_PARAMETER;
  result = readBitmap(db, &bitmap);
  if (result != ERROR_SUCCESS || !isTaken(&bitmap, number)) return result;
  bitmap.bytes[(number - 1) / 8] &= (BYTE) ~(1u << ((number - 1) % 8));
  return writeBitmap(db, &bitmap);
}

/* CDB_REPORT_BYTES: one byte per number from COM1, 1 when taken, for the first 4096
 * numbers or as many as the buffer holds. CDB_REPORT_BITS: the bitmap itself. Without a
 * buffer: how many numbers the database holds. */
LONG WINAPI ComDBGetCurrentPortUsage(HCOMDB handle, BYTE* buffer, DWORD size, DWORD reportType,
                                     DWORD* reported) {
  Database* db = databaseOf(handle);
  static Bitmap bitmap;
  DWORD count, i;
  LONG result;
  if (db == NULL || (buffer == NULL && reported == NULL)) return ERROR_INVALID_PARAMETER;
  if (reportType != CDB_REPORT_BYTES && reportType != CDB_REPORT_BITS) {
    return ERROR_INVALID_PARAMETER;
  }
  result = readBitmap(db, &bitmap);
  if (result != ERROR_SUCCESS) return result;
  if (buffer == NULL) {
    *reported = bitmap.size * 8 < kMaxComNumber ? bitmap.size * 8 : kMaxComNumber;
    return ERROR_SUCCESS;
  }
  if (reportType == CDB_REPORT_BYTES) {
    count = size < kMaxComNumber ? size : kMaxComNumber;
    for (i = 0; i < count; ++i) buffer[i] = isTaken(&bitmap, i + 1) ? 1 : 0;
  } else {
    count = size < kMaxComNumber / 8 ? size : kMaxComNumber / 8;
    for (i = 0; i < count; ++i) buffer[i] = i < bitmap.size ? bitmap.bytes[i] : 0;
    count *= 8;
  }
  if (reported != NULL) *reported = count;
  return ERROR_SUCCESS;
}
