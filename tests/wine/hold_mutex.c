/* Stands for another run of the program: takes its run mutex Global\ZPConfigUtil, says so
 * by creating C:\zp\held, keeps the mutex for argv[1] milliseconds and ends without
 * releasing it, so that a run waiting for it finds it abandoned. Exit status 1 when the
 * mutex was there already. */
#include <windows.h>

#include <stdlib.h>

int main(int argc, char** argv) {
  HANDLE mutex = CreateMutexW(NULL, TRUE, L"Global\\ZPConfigUtil");
  if (mutex == NULL || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  CloseHandle(CreateFileW(L"C:\\zp\\held", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
  Sleep(argc > 1 ? (DWORD)atoi(argv[1]) : 0);
  return 0;
}
