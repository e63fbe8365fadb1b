/* Waits until the test driver's control device opens, for up to five seconds: Wine starts
 * the driver with the first process of a server session, and its device appears some
 * milliseconds later, when a loaded machine may already be running the program. The
 * device is opened for backup, which the driver answers without a line in its log. Exit
 * status 0 when it opened, 1 when it never did. */
#include <windows.h>

int main(void) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE device = CreateFileW(L"\\\\.\\zephyn", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (device != INVALID_HANDLE_VALUE) {
      CloseHandle(device);
      return 0;
    }
    Sleep(50);
  }
  return 1;
}
