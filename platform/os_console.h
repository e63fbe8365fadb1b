// Standard output.
#pragma once

// Writes UTF-16 text (one unit per wchar_t) to standard output. Line feeds are written
// as the platform writes them for a text stream.
void writeOutput(const wchar_t* text);
