// Standard output, and standard error for the notes that go beside it.
#pragma once

// Writes UTF-16 text (one unit per wchar_t) to standard output. Line feeds are written
// as the platform writes them for a text stream.
void writeOutput(const wchar_t* text);

// Writes UTF-16 text to standard error, as writeOutput does to standard output.
void writeErrorOutput(const wchar_t* text);
