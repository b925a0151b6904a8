// The client's start-up and job intake, driven through its windows: the real program
// for start, hand-over and shutdown; the real dialog in this process for dropped files
// (a drop handle is only valid inside the process that made it).
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "common/ScopedWin.h"
#include "ui/FormMain.h"
#include "jobs/JobIntake.h"
#include "common/TaskFile.h"
#include "LoginPrompt.h"
#include "TestSupport.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <thread>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 20000;

std::wstring ClientPath() {
    return uidriver::ProgramFolder() + L"LumexiaClient.exe";
}

class ClientStartup : public ::testing::Test {
protected:
    void SetUp() override { EmptyDataFolder(); }
    void TearDown() override {
        // A test that failed half-way must not leave a client holding the instance mutex.
        first_.Kill();
        second_.Kill();
        EmptyDataFolder();
    }
    // Starts the client the way the extension does: explicit program path and a command
    // line that is only the quoted task file path.
    bool StartWithTask(uidriver::Process& process, const std::wstring& task) {
        return process.Start(ClientPath(), L"\"" + task + L"\"");
    }
    SettingsSetAside settings_;
    uidriver::Process first_, second_;
};

TEST_F(ClientStartup, TaskFileIsReadCountedAndDeleted) {
    const std::wstring task = WriteNewTaskFile({L"C:\\a.jpg", L"C:\\b.png", L"C:\\c.gif"});
    ASSERT_FALSE(task.empty());
    const std::wstring leftover = DataFolder() + NewHexId(); // a prepared file of an old run
    ASSERT_TRUE(WriteBytes(leftover, "old"));
    ASSERT_TRUE(StartWithTask(first_, task));

    HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, first_.Id(), kWait);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(SkipLoginPrompt(first_.Id()));
    EXPECT_EQ(uidriver::ControlText(dialog, IDC_FILE_COUNT), L"Количество изображений 3");
    EXPECT_FALSE(FileExists(task));
    EXPECT_FALSE(FileExists(leftover));

    // A task file arriving late without a hand-over is removed at the end of the run.
    const std::wstring late = WriteNewTaskFile({L"C:\\late.jpg"});
    uidriver::Close(dialog);
    DWORD code = 1;
    ASSERT_TRUE(first_.Wait(kWait, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(FileExists(late));
}

TEST_F(ClientStartup, SecondStartHandsItsSelectionToTheFirst) {
    ASSERT_TRUE(StartWithTask(first_, WriteNewTaskFile({L"C:\\1.jpg", L"C:\\2.jpg"})));
    HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, first_.Id(), kWait);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(SkipLoginPrompt(first_.Id()));
    EXPECT_EQ(uidriver::ControlText(dialog, IDC_FILE_COUNT), L"Количество изображений 2");

    const std::wstring task = WriteNewTaskFile({L"C:\\3.jpg", L"C:\\4.jpg", L"C:\\5.jpg"});
    ASSERT_TRUE(StartWithTask(second_, task));
    DWORD code = 1;
    ASSERT_TRUE(second_.Wait(kWait, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(uidriver::WaitForDialog(IDC_FILE_COUNT, second_.Id(), 0), nullptr);

    EXPECT_TRUE(uidriver::WaitUntil(
        [&] {
            return uidriver::ControlText(dialog, IDC_FILE_COUNT) == L"Количество изображений 5";
        },
        kWait));
    EXPECT_FALSE(FileExists(task));
    // Brought to the front: the active window of the dialog's thread is the dialog.
    GUITHREADINFO info = {sizeof info};
    ASSERT_TRUE(::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info));
    EXPECT_EQ(info.hwndActive, dialog);

    uidriver::Close(dialog);
    ASSERT_TRUE(first_.Wait(kWait, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(ClientStartup, WithoutArgumentsTheCountIsZero) {
    ASSERT_TRUE(first_.Start(ClientPath(), L"LumexiaClient.exe"));
    HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, first_.Id(), kWait);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(SkipLoginPrompt(first_.Id()));
    EXPECT_EQ(uidriver::ControlText(dialog, IDC_FILE_COUNT), L"Количество изображений 0");
    uidriver::Close(dialog);
    ASSERT_TRUE(first_.Wait(kWait));
}

TEST_F(ClientStartup, UnusableTaskFilesGiveAnEmptyList) {
    // A record longer than 1,000 bytes after a good one: the whole file is unusable.
    const std::wstring task = DataFolder() + L"task" + NewHexId();
    ASSERT_TRUE(WriteBytes(task, Utf16Bytes(L"C:\\good.jpg\r\n") + std::string(1100, 'x')));
    ASSERT_TRUE(StartWithTask(first_, task));
    HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, first_.Id(), kWait);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(SkipLoginPrompt(first_.Id()));
    EXPECT_EQ(uidriver::ControlText(dialog, IDC_FILE_COUNT), L"Количество изображений 0");
    EXPECT_FALSE(FileExists(task));
    uidriver::Close(dialog);
    ASSERT_TRUE(first_.Wait(kWait));

    // A task file that does not exist.
    uidriver::Process again;
    ASSERT_TRUE(StartWithTask(again, DataFolder() + L"task" + NewHexId()));
    dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, again.Id(), kWait);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(SkipLoginPrompt(again.Id()));
    EXPECT_EQ(uidriver::ControlText(dialog, IDC_FILE_COUNT), L"Количество изображений 0");
    uidriver::Close(dialog);
    ASSERT_TRUE(again.Wait(kWait));
}

TEST_F(ClientStartup, AnInstanceThisUserMayNotOpenCountsAsRunning) {
    // A first instance started elevated: its mutex exists, but this user may not open it.
    SECURITY_DESCRIPTOR descriptor;
    ACL noAccess;
    ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(::InitializeAcl(&noAccess, sizeof noAccess, ACL_REVISION));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, &noAccess, FALSE));
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    UniqueHandle running(::CreateMutexW(&attributes, TRUE, kInstanceMutexName));
    ASSERT_TRUE(running);
    const std::wstring prepared = DataFolder() + NewHexId(); // a picture of the running batch
    ASSERT_TRUE(WriteBytes(prepared, "prepared"));
    const std::wstring task = WriteNewTaskFile({L"C:\\a.jpg"});
    ASSERT_FALSE(task.empty());

    ASSERT_TRUE(StartWithTask(second_, task));
    DWORD code = 1;
    ASSERT_TRUE(second_.Wait(kWait, &code)) << "the second start ran as a first instance";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(FileExists(prepared));
    EXPECT_TRUE(FileExists(task)); // left for the running instance to collect
}

TEST_F(ClientStartup, EscapeAndEnterDoNotCloseTheDialog) {
    ASSERT_TRUE(first_.Start(ClientPath(), L"LumexiaClient.exe"));
    HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, first_.Id(), kWait);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(SkipLoginPrompt(first_.Id()));
    ::SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ::SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(::IsWindow(dialog));
    EXPECT_FALSE(first_.Wait(200));
    uidriver::Close(dialog);
    ASSERT_TRUE(first_.Wait(kWait));
}

// Builds a drop handle as the shell does: DROPFILES followed by double-null-ended names.
HGLOBAL MakeDrop(const JobList& names) {
    std::wstring list;
    for (const auto& name : names)
        list += name + L'\0';
    list += L'\0';
    HGLOBAL mem = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(mem));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
    ::GlobalUnlock(mem);
    return mem;
}

TEST(MainDialogDrops, DroppedFilesAndFoldersJoinTheList) {
    SettingsSetAside settings;
    JobList jobs = {L"C:\\first.jpg"};
    const std::wstring longName = L"C:\\" + std::wstring(600, L'n');
    std::wstring countAfterDrop;
    std::thread user([&] {
        HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, ::GetCurrentProcessId(), kWait);
        if (!dialog || !SkipLoginPrompt(::GetCurrentProcessId())) return;
        ::PostMessageW(dialog, WM_DROPFILES,
                       reinterpret_cast<WPARAM>(MakeDrop({L"C:\\pics", L"D:\\x.png", longName})),
                       0);
        uidriver::WaitUntil(
            [&] {
                countAfterDrop = uidriver::ControlText(dialog, IDC_FILE_COUNT);
                return countAfterDrop == L"Количество изображений 3";
            },
            kWait);
        uidriver::Close(dialog);
    });
    FormMain form(&jobs);
    const FormMain::Result ended = form.Run(nullptr);
    user.join();
    EXPECT_FALSE(ended == FormMain::kUpload);
    // A name too long for the job list's records is left out rather than cut: a cut path
    // may name another file.
    EXPECT_EQ(countAfterDrop, L"Количество изображений 3");
    EXPECT_EQ(jobs, (JobList{L"C:\\first.jpg", L"C:\\pics", L"D:\\x.png"}));
}

} // namespace

namespace {

// Reads resource `name` of `type` from a module loaded as data.
std::string ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
    HRSRC found = ::FindResourceW(module, name, type);
    if (!found) return std::string();
    HGLOBAL loaded = ::LoadResource(module, found);
    const char* data = static_cast<const char*>(::LockResource(loaded));
    return data ? std::string(data, ::SizeofResource(module, found)) : std::string();
}

TEST(Deliverables, ProgramAndExtensionCarryManifestAndVersion) {
    const struct {
        const wchar_t* file;
        int manifestId;
    } modules[] = {{L"LumexiaClient.exe", 1}, {L"Lumexia64Ext.dll", 2}};
    for (const auto& m : modules) {
        HMODULE module = ::LoadLibraryExW((uidriver::ProgramFolder() + m.file).c_str(), nullptr,
                                          LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << ToUtf8(m.file);
        const std::string manifest =
            ResourceBytes(module, MAKEINTRESOURCEW(m.manifestId), MAKEINTRESOURCEW(24));
        EXPECT_NE(manifest.find("asInvoker"), std::string::npos) << ToUtf8(m.file);
        EXPECT_FALSE(ResourceBytes(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)).empty());
        ::FreeLibrary(module);
    }
    HMODULE client = ::LoadLibraryExW((uidriver::ProgramFolder() + L"LumexiaClient.exe").c_str(),
                                      nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(client, nullptr);
    EXPECT_NE(ResourceBytes(client, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))
                  .find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    ::FreeLibrary(client);
}

} // namespace
