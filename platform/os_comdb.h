// The COM port database (msports), as the program calls it.
#pragma once

#include "platform/os_types.h"

// An open database (HCOMDB). Null is none.
struct OsComDb;
using ComDb = OsComDb*;

// ComDBGetCurrentPortUsage report type: one byte per COM number.
constexpr uint32_t kCdbReportBytes = 1;

// The database arbitrates COM1 to its size; it grows in steps of 1024 numbers up to 4096
// (COMDB_MAX_PORTS_ARBITRATED). ComDBResizeDatabase refuses a size that is not larger
// than the current one, or above the most, with ERROR_BAD_LENGTH.
constexpr uint32_t kComDbSizeStep = 1024;
constexpr uint32_t kComDbMostPorts = 4096;
constexpr uint32_t kOsBadLength = 24;

// ComDBOpen. *out is null on failure.
uint32_t openComDb(ComDb* out);
// ComDBClose.
uint32_t closeComDb(ComDb db);
// ComDBClaimPort(db, number, force, NULL).
uint32_t claimComPort(ComDb db, uint32_t number, bool force);
// ComDBReleasePort(db, number).
uint32_t releaseComPort(ComDb db, uint32_t number);
// ComDBGetCurrentPortUsage(db, buffer, size, reportType, NULL).
uint32_t getComPortUsage(ComDb db, uint8_t* buffer, uint32_t size, uint32_t reportType);
// ComDBGetCurrentPortUsage(db, NULL, 0, 0, size): how many numbers the database arbitrates.
uint32_t getComDbSize(ComDb db, uint32_t* size);
// ComDBResizeDatabase(db, newSize).
uint32_t resizeComDb(ComDb db, uint32_t newSize);
