/* The simulated machine's knobs: registry values below HKEY_LOCAL_MACHINE\SOFTWARE\ZephynSim
 * that steer the stand-ins for the parts of Windows the program talks to. The native
 * simulation and the Wine fixtures (the test driver and the COM port database double)
 * read them by these names, with these defaults and rules.
 *
 * Plain C, for C and C++ alike, and nothing included, so that the freestanding test
 * driver can use it too. Every name is a narrow string literal: ZP_KNOB_WIDE makes it a
 * wide literal (L"", as the Windows doubles spell their texts) and ZP_KNOB_UTF16 a UTF-16
 * one (u"", as the simulation does). A DWORD knob that is absent takes its default. */
#pragma once

#define ZP_KNOB_WIDE_(text) L##text
#define ZP_KNOB_WIDE(text) ZP_KNOB_WIDE_(text)
#define ZP_KNOB_UTF16_(text) u##text
#define ZP_KNOB_UTF16(text) ZP_KNOB_UTF16_(text)

#define ZP_KNOBS_ROOT "SOFTWARE\\ZephynSim"

/* ---- The adapter driver and its control device ---- */
#define ZP_DRIVER_KNOBS ZP_KNOBS_ROOT "\\Driver"
/* 0: the control device is not there, and every open of it fails (simulation only). */
#define ZP_KNOB_CONTROL_DEVICE "ControlDevice"
#define ZP_KNOB_CONTROL_DEVICE_DEFAULT 1
/* Not 0: the driver fails every exchange. */
#define ZP_KNOB_FAIL_EXCHANGE "FailExchange"
#define ZP_KNOB_FAIL_EXCHANGE_DEFAULT 0
/* Not 0: the driver answers a text command without writing a reply. */
#define ZP_KNOB_NO_REPLY "NoReply"
#define ZP_KNOB_NO_REPLY_DEFAULT 0
/* Text: the reply the driver writes, in the ANSI code page, after a text command. */
#define ZP_KNOB_REPLY "Reply"
#define ZP_KNOB_REPLY_DEFAULT "OK: 52"
/* One DWORD per UI number, named by its decimal text: the port count the driver reports for
 * that board. A query for a UI number without one fails. */
#define ZP_DRIVER_PORT_COUNTS ZP_DRIVER_KNOBS "\\PortCounts"

/* ---- The COM port database ---- */
#define ZP_COMDB_KNOBS ZP_KNOBS_ROOT "\\ComDatabase"
/* A COM number another program claims just before this one does, so that a claim of it
 * without force finds it taken; 0 none. */
#define ZP_KNOB_TAKEN_BEFORE_CLAIM "TakenBeforeClaim"
#define ZP_KNOB_TAKEN_BEFORE_CLAIM_DEFAULT 0
/* 1: every resize of the database is refused for want of rights. */
#define ZP_KNOB_RESIZE_FAILS "ResizeFails"
#define ZP_KNOB_RESIZE_FAILS_DEFAULT 0

/* ---- The device manager (simulation only) ---- */
#define ZP_DEVICE_MANAGER_KNOBS ZP_KNOBS_ROOT "\\DeviceManager"
/* 0: setting the property-change parameters is refused for want of rights. */
#define ZP_KNOB_PROPERTY_CHANGE "PropertyChange"
#define ZP_KNOB_PROPERTY_CHANGE_DEFAULT 1
/* 1: a restart leaves the device needing a reboot. */
#define ZP_KNOB_NEEDS_REBOOT "NeedsReboot"
#define ZP_KNOB_NEEDS_REBOOT_DEFAULT 0
/* Not 0: the problem code a restarted board is left with, not started. */
#define ZP_KNOB_START_PROBLEM "StartProblem"
#define ZP_KNOB_START_PROBLEM_DEFAULT 0
/* 0: a device's install parameters cannot be read. */
#define ZP_KNOB_INSTALL_PARAMS "InstallParams"
#define ZP_KNOB_INSTALL_PARAMS_DEFAULT 1

/* ---- The registry (simulation only) ---- */
#define ZP_REGISTRY_KNOBS ZP_KNOBS_ROOT "\\Registry"
/* Multi-string: the key paths (below HKEY_LOCAL_MACHINE) that refuse every change, with the
 * keys beneath them. */
#define ZP_KNOB_READ_ONLY "ReadOnly"
