// The run's hold on the machine: the machine-wide mutex Global\ZPConfigUtil, taken before
// the Inventory is built and held to the end of the run. Each set reads the whole settings
// store, the COM port database and the port nodes at its start and rewrites them at its
// end, so two runs at once would undo each other's changes.
#include "platform/os_process.h"

#include <windows.h>

#include <sddl.h>

#include "platform/os_console.h"
#include "platform/text.h"

namespace {

const wchar_t kRunMutexName[] = L"Global\\ZPConfigUtil";
// Whoever creates the mutex, every user may wait on it and release it: with the default
// security an elevated administrator's mutex would refuse a standard user's enum and get.
// SYNCHRONIZE (0x100000) and MUTEX_MODIFY_STATE (0x1) for Everyone, and nothing more; and
// a medium integrity label, since an elevated creator's own (high) label would keep a
// standard user's process from the write-type right that releasing the mutex needs.
const wchar_t kRunMutexSecurity[] = L"D:(A;;0x100001;;;WD)S:(ML;;NW;;;ME)";
constexpr DWORD kRunMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
constexpr DWORD kQuietWaitMs = 1000;
constexpr DWORD kLongestWaitMs = 60000;

const wchar_t kWaitingNote[] =
    L"ZPConfigUtil: waiting for another ZPConfigUtil run on this machine.\n";
const wchar_t kTimedOutNote[] =
    L"ZPConfigUtil: another ZPConfigUtil run on this machine did not finish within 60 "
    L"seconds.\n";
const wchar_t kUnguardedNote[] =
    L"ZPConfigUtil: other ZPConfigUtil runs on this machine cannot be waited for (error %lu); "
    L"this run goes on without waiting.\n";

HANDLE gRunMutex = nullptr;

// Creates the mutex, or opens the one another run created; null when neither can be had,
// and *error then says why.
HANDLE openRunMutex(DWORD* error) {
  PSECURITY_DESCRIPTOR security = nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunMutexSecurity, SDDL_REVISION_1,
                                                           &security, nullptr)) {
    attributes.lpSecurityDescriptor = security;
  }
  HANDLE mutex = CreateMutexExW(&attributes, kRunMutexName, 0, kRunMutexAccess);
  if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
    mutex = OpenMutexW(kRunMutexAccess, FALSE, kRunMutexName);
  }
  *error = mutex == nullptr ? GetLastError() : ERROR_SUCCESS;
  LocalFree(security);
  return mutex;
}

}  // namespace

bool runsUnderWow64() {
#if defined(_WIN64)
  return false;
#else
  // IsWow64Process2 (Windows 10, version 1709, and later) names the machine a WOW64 process
  // emulates: it sees an x86 process on ARM64 Windows too, where IsWow64Process gives FALSE.
  // Without it, IsWow64Process: FALSE on 32-bit Windows, TRUE on x64. Should the question itself
  // fail, the run goes on as on 32-bit Windows.
  using MachinesQuery = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "IsWow64Process2") : nullptr;
  if (found != nullptr) {
    USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT native = IMAGE_FILE_MACHINE_UNKNOWN;
    const auto query = reinterpret_cast<MachinesQuery>(reinterpret_cast<void (*)()>(found));
    if (query(GetCurrentProcess(), &process, &native)) return process != IMAGE_FILE_MACHINE_UNKNOWN;
  }
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
#endif
}

// Says that the run goes on unguarded, with the error that left it so.
void noteUnguarded(DWORD error) {
  wchar_t note[200] = {};
  if (formatText(note, kUnguardedNote, static_cast<unsigned long>(error))) writeErrorOutput(note);
}

// A mutex abandoned by a run that was killed is taken over. A mutex that cannot be had at
// all (the name taken by an object of another kind) leaves the run unguarded, as it was
// before runs were serialised, rather than refusing every run of the machine; it says so.
int beginPlatform() {
  DWORD error = ERROR_SUCCESS;
  gRunMutex = openRunMutex(&error);
  if (gRunMutex == nullptr) {
    noteUnguarded(error);
    return 0;
  }
  DWORD waited = WaitForSingleObject(gRunMutex, kQuietWaitMs);
  if (waited == WAIT_TIMEOUT) {
    writeErrorOutput(kWaitingNote);
    waited = WaitForSingleObject(gRunMutex, kLongestWaitMs - kQuietWaitMs);
  }
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return 0;
  error = GetLastError();
  CloseHandle(gRunMutex);
  gRunMutex = nullptr;
  if (waited != WAIT_TIMEOUT) {
    noteUnguarded(error);
    return 0;
  }
  writeErrorOutput(kTimedOutNote);
  return 2;
}

int endPlatform() {
  if (gRunMutex != nullptr) {
    ReleaseMutex(gRunMutex);
    CloseHandle(gRunMutex);
    gRunMutex = nullptr;
  }
  return 0;
}
