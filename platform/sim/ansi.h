// Conversion of the boundary's wide text to the simulated machine's ANSI code page.
#pragma once

#include <string>

// UTF-16 units in Windows-1252: '?' for each character 1252 cannot hold (a surrogate
// pair is one character, and gives one '?').
std::string toAnsi(const std::u16string& text);
