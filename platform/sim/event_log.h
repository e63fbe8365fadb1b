// The machine's event log: one UTF-8 line per event that reached the driver or the
// device manager, kept beside the machine file as "<machine file>.log".
#pragma once

#include <string>
#include <vector>

// Appends one line (without its line feed) to the current machine's log; nothing
// happens without a machine.
void logEvent(const std::string& line);

// Text in the machine's ANSI code page as it stands in a log line: decoded, in double
// quotes, with '"' and '\' escaped by '\', other control characters as \xHH, and in UTF-8
// each byte that belongs to no well-formed character as \xHH too.
std::string quoteLogText(const std::string& ansiText);

// Appends the lines, each ended by a line feed, to the file at `path` (created when
// missing). On failure *error holds the reason and the result is false.
bool appendLogFile(const std::string& path, const std::vector<std::string>& lines,
                   std::string* error);
