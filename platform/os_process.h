// The run's hold on the machine: one run at a time on one machine.
#pragma once

// True when the process is a 32-bit one on 64-bit Windows (WOW64, on x64 or ARM64), which
// can neither restart devices nor read their resources: such a run must not reach the
// machine.
bool runsUnderWow64();

// Called by the program entry before the first command that reaches the operating
// system (enum, get, set); waits while another run holds the machine. 0 when the run may
// go on; otherwise the exit status the run must end with (the reason has been reported on
// standard error) and the run has changed nothing.
int beginPlatform();

// Called once at the end of every run that called beginPlatform. 0, or the exit status
// that replaces the program's own (the reason has been reported on standard error).
int endPlatform();
