// The notes on standard error: one line each, "ZPConfigUtil: ...", for every way a run
// left the machine other than it was asked, so that standard output stays as scripts
// know it.
#pragma once

#include "apply/apply.h"

// Prints the line that tells a notice of the apply engine.
void printNotice(const Notice& notice);

// The front end's own notes.
enum class Note {
  kUse64BitBuild,        // the 32-bit build started on 64-bit Windows
  kPortCountUnreported,  // numbers: the board, the ports shown
};
void printNote(Note note, int first = 0, int second = 0);
