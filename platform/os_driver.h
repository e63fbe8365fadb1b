// The adapter driver's control device and the ANSI code page, as the program calls them.
#pragma once

#include "platform/os_types.h"

// An operating-system file handle (HANDLE). 0 is "not opened"; kInvalidOsHandle is
// INVALID_HANDLE_VALUE, what a failed open gives.
using OsHandle = intptr_t;
constexpr OsHandle kInvalidOsHandle = -1;

// CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
// NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL).
OsHandle openControlDevice(const wchar_t* path);

// DeviceIoControl(handle, code, in, inSize, out, outSize, returned, NULL).
bool deviceIoControl(OsHandle handle, uint32_t code, void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* returned);

// GetACP: the ANSI code page's number.
uint32_t ansiCodePage();

// MultiByteToWideChar(CP_ACP, 0, text, -1, out, outUnits): the terminated ANSI text as
// UTF-16, terminated. Returns the units written, terminator included, or 0 when it does
// not fit (out is then empty).
size_t fromAnsiText(const char* text, wchar_t* out, size_t outUnits);

// GetLastError.
uint32_t lastOsError();

// CloseHandle.
bool closeOsHandle(OsHandle handle);

// WideCharToMultiByte(CP_ACP, ansiConversionFlags(GetACP()), text, -1, out, outSize,
// NULL, NULL): the text and its terminator in the ANSI code page, a character the code
// page lacks becoming '?' (see platform/code_pages.h). Returns the bytes written,
// terminator included, or 0 when it does not fit (the buffer may then hold part of the
// text, unterminated).
size_t toAnsiText(const wchar_t* text, char* out, size_t outSize);
