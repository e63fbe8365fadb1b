// The COM port database (msports), as the program calls it.
#pragma once

#include "platform/os_types.h"

// An open database (HCOMDB). Null is none.
struct OsComDb;
using ComDb = OsComDb*;

// ComDBGetCurrentPortUsage report type: one byte per COM number.
constexpr uint32_t kCdbReportBytes = 1;

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
