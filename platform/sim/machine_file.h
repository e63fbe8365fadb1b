// The machine file of the native build: where it lives, and the run's hold on it
// (beginPlatform and endPlatform of platform/os_process.h).
//
// The file is ZPCONFIG_MACHINE, else ${XDG_STATE_HOME:-$HOME/.local/state}/zpconfigutil/
// machine.reg. beginPlatform takes a blocking flock on "<path>.lock", creates the file
// (and its folders) from the built-in default machine when it is missing, and reads it.
// endPlatform writes the registry back when the run changed it (to a temporary file in
// the same folder, flushed and renamed over the old one), appends the run's event-log
// lines and "end registry-calls=N" to "<path>.log", and lets the lock go. A failure is
// reported as "ZPConfigUtil: <path>[:<line>]: <reason>" on standard error, with exit
// status 2, and leaves the old file as it was.
//
// While a test machine is installed, no file is used: beginPlatform starts a run on the
// test machine and endPlatform only adds "end registry-calls=N" to its log.
#pragma once

#include <string>

// The machine file's path from the environment; false (with *error) when there is none.
bool machineFilePath(std::string* path, std::string* error);

// True between beginPlatform and endPlatform.
bool platformRunOpen();

// The built-in default machine's .reg text.
std::string defaultMachineBytes();
