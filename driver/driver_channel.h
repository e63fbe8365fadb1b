// The adapter driver's control channel: its control device, the text command protocol
// and the port-count query.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os_driver.h"

// Status codes of the channel operations: 0 is success for every one of them, and each
// has its own family of failures below (a value means one thing within its family).
constexpr int kDriverOk = 0;

// openDriverChannel.
enum OpenFailure : int {
  kDriverOpenFailed = 1,  // the control device did not open
  kDriverBadHandle = 7,   // the held handle is not usable
};

// exchangeDriverBuffer.
enum ExchangeFailure : int {
  kDriverExchangeFailed = 3,  // the I/O control exchange failed
};

// readReplyCode and sendSettingCommand, beside the driver's own reply codes.
enum CommandFailure : int {
  kDriverReplyExchangeFailed = 256,  // the exchange failed (or there is no text area)
  kDriverReplyNoColon = 257,         // the reply holds no ':'
  kDriverUnknownForm = 258,          // sendSettingCommand: the selector names no command form
};

// queryPortCount.
enum PortCountFailure : int {
  kDriverNoUiNumber = 1,             // the board has no UI number; nothing was opened
  kDriverQueryOpenFailed = 2,        // the control device did not open
  kDriverNoMemory = 3,               // no memory for the request record
  kDriverQueryExchangeFailed = 256,  // the exchange failed
};

constexpr uint32_t kDriverControlCode = 0x1B2010;
// Every request begins with a header of four 32-bit words; a text command's text area
// follows it.
constexpr size_t kRequestHeaderSize = 16;
constexpr size_t kCommandBufferSize = 200;
constexpr uint32_t kCommandExchangeSize = 184;
constexpr uint32_t kTextCommandType = 14;
constexpr uint32_t kPortCountType = 20;

// Command text forms (the selector of sendSettingCommand).
enum CommandForm : int {
  kGlobalCommand = 1,  // "<value name>=<value>"
  kBoardCommand = 2,   // "device[<key name>].<value name>=<value>"
  kPortCommand = 3,    // "device[<key name>].port[<index>].<value name>=<value>"
};

struct DriverChannel {
  uint32_t controlCode;
  OsHandle handle;  // 0 not opened; kInvalidOsHandle after a failed open
  const wchar_t* devicePath;
  unsigned char* buffer;
  uint32_t bufferSize;
  uint32_t bytesReturned;
};

// Opens the control device into the channel (a handle already held is kept): kDriverOk or
// an OpenFailure.
int openDriverChannel(DriverChannel* channel);
// One exchange of the channel's buffer: kDriverOk or kDriverExchangeFailed.
int exchangeDriverBuffer(DriverChannel* channel);
// The reply code after an exchange of a text command; kDriverReplyExchangeFailed when the
// exchange failed, kDriverReplyNoColon when the reply holds no ':'.
int readReplyCode(DriverChannel* channel);
// Builds one command text into the text area (after the header) of channel->buffer, bounded by
// bufferSize bytes (a text that does not fit is sent empty), sends it and reads the
// reply: 0 on reply code 52 (or 0), else the code, 256 or 257. The board's keyName is
// taken from gInventory. Each text is converted to the ANSI code page into an 80-byte
// field; one whose ANSI form does not fit is cut to the whole characters that do.
// An unknown selector sends nothing and gives kDriverUnknownForm.
int sendSettingCommand(DriverChannel* channel, int selector, int boardIndex, int portIndex,
                       const wchar_t* valueName, const wchar_t* valueText);
// Each text of a command (key name, value name, value) is converted to the ANSI code page
// into a field of its own of this many bytes, terminator included.
constexpr size_t kAnsiFieldSize = 80;

// Capacity, in units, of what textReachesDriverWhole gives back: a field read back holds
// at most one unit a byte.
constexpr size_t kReceivedTextCapacity = kAnsiFieldSize;

// The text as the driver receives it in a command (converted to the ANSI code page into
// its 80-byte field, cut by whole characters when it does not fit), read back from the
// code page into `received`. True when that is the text itself.
bool textReachesDriverWhole(const wchar_t* text, wchar_t (&received)[kReceivedTextCapacity]);

// The port count (0..255) the driver reports for a board, in *portCount with kDriverOk (0
// otherwise); else a PortCountFailure.
int queryPortCount(int boardIndex, uint32_t* portCount);
// Frees the port-count request record kept for the process (for in-process runs).
void releasePortCountRecord();
