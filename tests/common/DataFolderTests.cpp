// The per-user data folder, hex ids and the clean-up, on the real file system.
#include "common/DataFolder.h"
#include "common/TaskFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <set>

using namespace lumexia;
using namespace testing_support;

namespace {

TEST(DataFolder, IsLocalAppDataLumexiaAndExists) {
    wchar_t base[MAX_PATH] = {};
    ASSERT_HRESULT_SUCCEEDED(
        ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base));
    ::RemoveDirectoryW(DataFolder().c_str()); // fails harmlessly when not empty
    const std::wstring folder = DataFolder();
    EXPECT_EQ(folder, std::wstring(base) + L"\\lumexia\\");
    DWORD attrs = ::GetFileAttributesW(folder.c_str());
    ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(NewHexId, Is32UpperCaseHexDigitsAndFresh) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 100; ++i) {
        const std::wstring id = NewHexId();
        ASSERT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos) << id.c_str();
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 100u);
}

class CleanDataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        EmptyDataFolder();
        folder_ = DataFolder();
    }
    void TearDown() override { EmptyDataFolder(); }
    std::wstring folder_;
};

TEST_F(CleanDataFolderTest, DeletesOnlyNamesWithoutDotLongerThanTwo) {
    const std::wstring kept[] = {L"ab", L"notes.txt", L"config2.txt.tmp"};
    const std::wstring gone[] = {L"task", L"task" + NewHexId(), NewHexId()};
    for (const auto& name : kept) ASSERT_TRUE(WriteBytes(folder_ + name, "x"));
    for (const auto& name : gone) ASSERT_TRUE(WriteBytes(folder_ + name, "x"));
    // Read-only prepared pictures are deleted too.
    ::SetFileAttributesW((folder_ + gone[2]).c_str(), FILE_ATTRIBUTE_READONLY);

    CleanDataFolder();

    for (const auto& name : kept) EXPECT_TRUE(FileExists(folder_ + name)) << ToUtf8(name);
    for (const auto& name : gone) EXPECT_FALSE(FileExists(folder_ + name)) << ToUtf8(name);
}

TEST_F(CleanDataFolderTest, SurvivesEntriesThatCannotBeDeleted) {
    // A folder with a disposable name and a file held open without delete sharing both
    // stay, and the rest is still cleaned.
    const std::wstring sub = folder_ + L"subfolder";
    ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
    const std::wstring held = folder_ + L"heldopen";
    ASSERT_TRUE(WriteBytes(held, "x"));
    ASSERT_TRUE(WriteBytes(folder_ + L"task" + NewHexId(), "x"));
    HANDLE h = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    CleanDataFolder();
    ::CloseHandle(h);

    EXPECT_TRUE(FileExists(sub));
    EXPECT_TRUE(FileExists(held));
    ::RemoveDirectoryW(sub.c_str());
    CleanDataFolder(); // tried again at the next clean-up
    EXPECT_FALSE(FileExists(held));
}

TEST_F(CleanDataFolderTest, NewTaskFileIsNamedTaskAndHexAndCollected) {
    const std::wstring path = WriteNewTaskFile({L"C:\\one.jpg", L"C:\\two.jpg"});
    ASSERT_FALSE(path.empty());
    const std::wstring name = path.substr(folder_.size());
    EXPECT_EQ(name.substr(0, 4), L"task");
    EXPECT_EQ(name.size(), 36u);

    // A task file named just "task" (no GUID could be made) is found like any other.
    ASSERT_TRUE(WriteTaskFile(folder_ + L"task", {L"C:\\three.jpg"}));
    // Unusable task files contribute nothing.
    ASSERT_TRUE(WriteBytes(folder_ + L"task" + NewHexId(), std::string(600, 'z')));

    JobList jobs;
    CollectTaskFiles(jobs);
    std::multiset<std::wstring> got(jobs.begin(), jobs.end());
    EXPECT_EQ(got, (std::multiset<std::wstring>{L"C:\\one.jpg", L"C:\\two.jpg", L"C:\\three.jpg"}));
}

} // namespace
