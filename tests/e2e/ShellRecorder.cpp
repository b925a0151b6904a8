// Stands in for the browser in tests: registered as the http and https handler of the
// test prefix, it appends the address the shell handed it (its first argument) as one
// UTF-8 line to "shell-opened.txt" beside itself, then ends. Nothing is ever fetched.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring log(self);
    log = log.substr(0, log.find_last_of(L'\\') + 1) + L"shell-opened.txt";
    std::wstring line = argc > 1 ? argv[1] : L"";
    line += L"\n";
    char bytes[4096] = {};
    const int count = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                            bytes, sizeof bytes, nullptr, nullptr);
    HANDLE file = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr);
    ::CloseHandle(file);
    return ok ? 0 : 1;
}
