// The machine file of the native build: where it lives, and a run's hold on it (taken and
// let go by beginPlatform and endPlatform, os_process_sim.cc).
//
// The file is ZPCONFIG_MACHINE, else ${XDG_STATE_HOME:-$HOME/.local/state}/zpconfigutil/
// machine.reg, followed through symbolic links to the file they end at (not through a
// link the kernel would not follow in a sticky folder, nor, as root, through another
// user's link to where that user may not put a file); it must be a
// regular file of at most 256 MiB (else nothing is opened or created). beginFileRun
// takes a blocking flock on "<file>.lock" (saying after a second that it waits, and taking
// it again when a reset unlinked the lock meanwhile), removes temporaries a killed run
// left, and reads the file (the built-in default machine when it is missing; folders and
// files made for it get the owner of the nearest folder above). In a folder the user may
// not write, where no lock can be made, the file itself is locked for reading instead.
// endFileRun refuses a file another program changed since it was read, a write-back
// over 256 MiB and one the user may not make, before anything is written; it then
// appends the run's event-log lines and "end registry-calls=N" to "<file>.log" (a run
// that changes nothing in a read-only folder goes on without a log it cannot write,
// after one line saying so), writes the registry back when the run changed it or the
// file was missing (to a temporary file in the same folder, given the old file's mode,
// owner and group, flushed and renamed over it), and lets the lock go. A failure is
// reported as "ZPConfigUtil: <path>[:<line>]: <reason>" on standard error, with exit
// status 2, and leaves the old file as it was; a run that wrote the file back has
// nothing left that can fail.
#pragma once

#include <string>

// The machine file's path from the environment; false (with *error) when there is none.
bool machineFilePath(std::string* path, std::string* error);

// Takes the machine file: 0, or the exit status 2 after the error line.
int beginFileRun();

// Logs the run and writes the machine back: 0, or 2 after the error line.
int endFileRun();

// True between beginFileRun and endFileRun.
bool fileRunOpen();

// The built-in default machine's .reg text.
std::string defaultMachineBytes();
