// What the installer tests share: the installed copy's paths and keys, running the x64
// setup and the quiet uninstall command as a user's script would, and the fixture that
// starts and ends every test with no copy installed.
#pragma once

#include "UiDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace installer_test {

extern const DWORD kWait;
extern const wchar_t kModule[];
extern const wchar_t kClsid[];
extern const wchar_t kUninstallKey[];
extern const wchar_t kRunOnceKey[];
extern const wchar_t kHandlers[];
extern const std::wstring kClassKey;
extern const wchar_t kTypeLibKey[];

std::wstring ShellFolder(int csidl);
std::wstring InstallDir();
std::wstring OtherDir();
std::wstring Installed(const std::wstring& name);
std::wstring DataFile();
std::wstring Shortcut();

bool Exists(const std::wstring& path);
// Waits (bounded) until the path is gone: an uninstall's last step, removing its own file
// and the folder, runs a moment after the quiet command returned.
bool Gone(const std::wstring& path);
std::string Bytes(const std::wstring& path);
bool KeyExists(HKEY root, const std::wstring& path);
std::wstring Text(HKEY root, const std::wstring& path, const wchar_t* name = nullptr);
DWORD Number(HKEY root, const std::wstring& path, const wchar_t* name);
// Every key below HKCU\Software\Classes that this build's extension writes when it
// registers for the user.
std::vector<std::wstring> ExtensionKeys();
// Names of this user's pending logon clean-ups of the installer.
std::vector<std::wstring> CleanupValues();

// Runs a command line to its end; its exit code, or ~0 when it did not end in time.
DWORD RunToEnd(std::wstring commandLine);
std::wstring SetupCommand();
DWORD InstallSilently();
// The registered quiet uninstall command with `options` put in before its folder
// argument (which takes the rest of the line); its exit code.
DWORD UninstallSilently(const std::wstring& options = L"");

// The installed copy's file held open the way a scanner holds it: others may read it,
// not write or delete it.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const { return file_ != INVALID_HANDLE_VALUE; }
    void Release();

private:
    HANDLE file_;
};

// Picks the installed menu item on two pictures as Explorer would; true when the dialog
// that came up belongs to the installed client (which is then ended).
bool MenuItemStartsInstalledClient();

class Installer : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override {
        client_.Kill();
        Clean();
    }
    static void Clean();
    // The client started as a user would, holding the instance mutex, its dialog shown.
    void StartClient(const std::wstring& program);
    uidriver::Process client_;
};

} // namespace installer_test
