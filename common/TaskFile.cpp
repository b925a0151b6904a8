#include "common/TaskFile.h"

#include "common/DataFolder.h"
#include "common/ScopedWin.h"

#include <windows.h>

#include <algorithm>

namespace lumexia {

bool FitsTaskRecord(const wchar_t* path, size_t length) {
    // Any code unit sits at an even offset of its record, so U+0A0D (bytes 0D 0A) would
    // end the record there and the reader would take a different path.
    return length <= kTaskPathMaxChars &&
           std::find(path, path + length, kRecordEndUnit) == path + length;
}

bool WriteTaskFile(const std::wstring& path, const JobList& paths) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::string bytes;
    for (const std::wstring& p : paths) {
        bytes.append(reinterpret_cast<const char*>(p.data()), p.size() * sizeof(wchar_t));
        bytes += "\r\n";
    }
    DWORD written = 0;
    if (bytes.empty()) return true;
    return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

std::wstring WriteNewTaskFile(const JobList& paths) {
    const std::wstring path = DataFolder() + L"task" + NewHexId();
    return WriteTaskFile(path, paths) ? path : std::wstring();
}

namespace {

// Takes a finished record (without its end bytes) as a path up to its first zero unit.
std::wstring RecordToPath(const unsigned char* record, size_t length) {
    std::wstring path;
    for (size_t i = 0; i + 1 < length; i += 2) {
        wchar_t unit = static_cast<wchar_t>(record[i] | (record[i + 1] << 8));
        if (unit == 0) break;
        path += unit;
    }
    return path;
}

} // namespace

bool ReadTaskFile(const std::wstring& path, JobList& jobs) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;

    unsigned char record[kTaskRecordMaxBytes] = {};
    size_t used = 0;
    unsigned char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr)) return false;
        if (got == 0) return true; // end of file: a trailing fragment is dropped
        for (DWORD k = 0; k < got; ++k) {
            record[used++] = chunk[k];
            // The end bytes close a record only when they form a whole code unit.
            if (used >= 2 && used % 2 == 0 && record[used - 2] == 0x0D &&
                record[used - 1] == 0x0A) {
                jobs.push_back(RecordToPath(record, used - 2));
                used = 0;
                continue;
            }
            if (used == kTaskRecordMaxBytes) return false; // record too long
        }
    }
}

void CollectTaskFiles(JobList& jobs) {
    const std::wstring folder = DataFolder();
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((folder + L"task*.*").c_str(), &entry));
    if (!find) return;
    do {
        if (!IsDisposableName(entry.cFileName)) continue;
        JobList found;
        if (ReadTaskFile(folder + entry.cFileName, found))
            jobs.insert(jobs.end(), found.begin(), found.end());
    } while (::FindNextFileW(find.Get(), &entry));
}

} // namespace lumexia
