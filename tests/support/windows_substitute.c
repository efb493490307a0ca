// The Windows stand-in for the programs the launcher starts, built with mingw-w64 and run through Wine.
// It appends to "<its path>.log" its command line, byte for byte as GetCommandLineW gives it, and its
// working folder, both in UTF-8: "cmd LINE", "cwd FOLDER", then "end".
#include <windows.h>

static void Append(HANDLE file, const char* tag, const WCHAR* text) {
    char utf8[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    DWORD written;
    WriteFile(file, tag, lstrlenA(tag), &written, NULL);
    if (n > 1) WriteFile(file, utf8, (DWORD)(n - 1), &written, NULL);
    WriteFile(file, "\n", 1, &written, NULL);
}

int wmain(void) {
    WCHAR log[MAX_PATH + 8];
    DWORD n = GetModuleFileNameW(NULL, log, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    lstrcpyW(log + n, L".log");
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    WCHAR cwd[MAX_PATH];
    if (GetCurrentDirectoryW(MAX_PATH, cwd) == 0) cwd[0] = 0;
    Append(file, "cmd ", GetCommandLineW());
    Append(file, "cwd ", cwd);
    DWORD written;
    WriteFile(file, "end\n", 4, &written, NULL);
    CloseHandle(file);
    return 0;
}
