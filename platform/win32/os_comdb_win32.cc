// The COM port database boundary on Windows: one msports call each.
#include "platform/os_comdb.h"

#include <windows.h>

#include <ddk/msports.h>

namespace {

HCOMDB toHcomdb(ComDb db) { return reinterpret_cast<HCOMDB>(db); }

}  // namespace

uint32_t openComDb(ComDb* out) {
  HCOMDB db = nullptr;
  LONG result = ComDBOpen(&db);
  bool opened = result == ERROR_SUCCESS && db != nullptr && db != HCOMDB_INVALID_HANDLE_VALUE;
  *out = opened ? reinterpret_cast<ComDb>(db) : nullptr;
  return static_cast<uint32_t>(result);
}

uint32_t closeComDb(ComDb db) { return static_cast<uint32_t>(ComDBClose(toHcomdb(db))); }

uint32_t claimComPort(ComDb db, uint32_t number, bool force) {
  return static_cast<uint32_t>(ComDBClaimPort(toHcomdb(db), number, force ? TRUE : FALSE, nullptr));
}

uint32_t releaseComPort(ComDb db, uint32_t number) {
  return static_cast<uint32_t>(ComDBReleasePort(toHcomdb(db), number));
}

uint32_t getComPortUsage(ComDb db, uint8_t* buffer, uint32_t size, uint32_t reportType) {
  return static_cast<uint32_t>(
      ComDBGetCurrentPortUsage(toHcomdb(db), buffer, size, reportType, nullptr));
}

uint32_t getComDbSize(ComDb db, uint32_t* size) {
  DWORD reported = 0;
  LONG result = ComDBGetCurrentPortUsage(toHcomdb(db), nullptr, 0, 0, &reported);
  *size = result == ERROR_SUCCESS ? reported : 0;
  return static_cast<uint32_t>(result);
}

uint32_t resizeComDb(ComDb db, uint32_t newSize) {
  return static_cast<uint32_t>(ComDBResizeDatabase(toHcomdb(db), newSize));
}
