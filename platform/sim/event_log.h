// The machine's event log: one UTF-8 line per event that reached the driver or the
// device manager, kept beside the machine file as "<machine file>.log".
#pragma once

#include <string>
#include <vector>

#include "platform/sim/file_io.h"

// Appends one line (without its line feed) to the current machine's log; nothing
// happens without a machine.
void logEvent(const std::string& line);

// Text in the machine's ANSI code page as it stands in a log line: decoded, in double
// quotes, with '"' and '\' escaped by '\', other control characters as \xHH, and in UTF-8
// each byte that belongs to no well-formed character as \xHH too.
std::string quoteLogText(const std::string& ansiText);

// A log that would grow past this many bytes is first renamed "<log>.1" (replacing the
// older one) and started again; where it cannot be renamed, it grows on.
constexpr long kLogRotationBytes = 1L << 20;

// Appends the lines, each ended by a line feed, to the regular file at `path` in one
// write, after a line feed when a run killed while writing left a line without its own.
// A missing log is created with `owner`; a symbolic link is refused. On failure the log
// is left as it was (a short write is taken back; a log that was empty is removed), *error
// holds the reason and the result is false.
bool appendLogFile(const std::string& path, const std::vector<std::string>& lines,
                   const FileOwner& owner, std::string* error);
