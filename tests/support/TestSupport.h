// Small helpers the tests share: whole-file reads and writes, file checks, text
// conversion. They call the platform directly; nothing here imitates it.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Whole content of a file; `ok` false when it cannot be read.
std::string ReadBytes(const std::wstring& path, bool* ok = nullptr);
bool FileExists(const std::wstring& path);
void RemoveFile(const std::wstring& path);

// UTF-16LE bytes of a text, as a task file record holds them.
std::string Utf16Bytes(const std::wstring& text);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// A fresh empty folder under the system's temporary folder, with trailing backslash.
std::wstring NewScratchFolder();

// Deletes every entry of the client's data folder except config2.txt, so a test starts
// from a known state.
void EmptyDataFolder();

// Moves the client's config2.txt out of the way for its lifetime and puts it back
// afterwards, so a test starts from the defaults whatever an earlier run stored.
class SettingsSetAside {
public:
    SettingsSetAside();
    ~SettingsSetAside();
    SettingsSetAside(const SettingsSetAside&) = delete;
    SettingsSetAside& operator=(const SettingsSetAside&) = delete;

private:
    std::wstring path_;
    std::string saved_;
    bool had_ = false;
};

// A module's version resource, whole; empty when it has none.
std::string VersionResource(const std::wstring& path);
// "major.minor.build" of the resource's fixed part: the file version, or the product
// version when `product`; empty when the resource has no fixed part.
std::wstring FixedVersionText(const std::string& resource, bool product);

} // namespace testing_support
