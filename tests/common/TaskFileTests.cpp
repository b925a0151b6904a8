// Task files against real files: the records the extension writes and the client reads.
#include "common/TaskFile.h"

#include "common/DataFolder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace lumexia;
using namespace testing_support;

namespace {

class TaskFileTest : public ::testing::Test {
protected:
    void SetUp() override { folder_ = NewScratchFolder(); }
    std::wstring PathOf(const wchar_t* name) { return folder_ + name; }
    // Writes raw bytes and reads them back as a task file.
    bool ReadRaw(const std::string& bytes, JobList& jobs) {
        std::wstring path = PathOf(L"raw");
        EXPECT_TRUE(WriteBytes(path, bytes));
        return ReadTaskFile(path, jobs);
    }
    std::wstring folder_;
};

std::string Record(const std::wstring& path) {
    return Utf16Bytes(path) + "\r\n";
}

TEST_F(TaskFileTest, RecordsComeBackInFileOrderAndAFinalFragmentIsDropped) {
    JobList jobs;
    ASSERT_TRUE(ReadRaw(Record(L"C:\\a.jpg") + Record(L"D:\\b c\\d.png") + Record(L"e.gif") +
                            Utf16Bytes(L"C:\\unfinished"),
                        jobs));
    EXPECT_EQ(jobs, (JobList{L"C:\\a.jpg", L"D:\\b c\\d.png", L"e.gif"}));
}

TEST_F(TaskFileTest, RecordLengthLimit) {
    // 499 code units plus the end bytes make exactly 1,000 bytes, the longest record the
    // extension writes: accepted, even among many short ones.
    JobList selection;
    for (int i = 0; i < 50; ++i)
        selection.push_back(L"C:\\pictures\\" + std::to_wstring(i) + L".jpg");
    const std::wstring longest = L"C:\\" + std::wstring(496, L'x');
    selection[25] = longest;
    ASSERT_EQ(Utf16Bytes(longest).size() + 2, 1000u);
    ASSERT_TRUE(WriteTaskFile(PathOf(L"task0"), selection));
    JobList jobs;
    ASSERT_TRUE(ReadTaskFile(PathOf(L"task0"), jobs));
    EXPECT_EQ(jobs, selection);

    // One code unit more (1,002 bytes) makes the file unusable; what came before it is
    // already appended, which is why callers empty the list.
    JobList tooLong;
    EXPECT_FALSE(ReadRaw(Record(L"first") + Record(std::wstring(500, L'y')), tooLong));
    EXPECT_EQ(tooLong, (JobList{L"first"}));
}

TEST_F(TaskFileTest, EmptyRecordsAndEmptyFiles) {
    JobList jobs;
    ASSERT_TRUE(ReadRaw("\r\n", jobs));
    EXPECT_EQ(jobs, (JobList{L""}));

    JobList none;
    EXPECT_TRUE(ReadRaw("", none));
    EXPECT_TRUE(none.empty());
}

TEST_F(TaskFileTest, CyrillicPathsPassUnchanged) {
    // 0x040A and 0x041A carry the bytes 0x0A and 0x1A that a byte-wise reader trips on.
    const std::wstring path = L"C:\\Фото\\\u040A\u041A\u0430\u0434\u0440.jpg";
    JobList jobs;
    ASSERT_TRUE(WriteTaskFile(PathOf(L"task1"), {path, L"второй"}));
    ASSERT_TRUE(ReadTaskFile(PathOf(L"task1"), jobs));
    EXPECT_EQ(jobs, (JobList{path, L"второй"}));
}

TEST_F(TaskFileTest, EndBytesAcrossACodeUnitBoundaryDoNotSplitAPath) {
    // U+0D00 U+040A is the byte run 00 0D 0A 04: the end bytes straddle two code units.
    const std::wstring path = std::wstring(L"C:\\x") + L'\u0D00' + L'\u040A' + L"y.jpg";
    JobList jobs;
    ASSERT_TRUE(ReadRaw(Record(path) + Record(L"next"), jobs));
    EXPECT_EQ(jobs, (JobList{path, L"next"}));
}

TEST_F(TaskFileTest, WriterOutputIsTheRecordFormatExactly) {
    ASSERT_TRUE(WriteTaskFile(PathOf(L"task2"), {L"ab", L""}));
    EXPECT_EQ(ReadBytes(PathOf(L"task2")), std::string("a\0b\0\r\n\r\n", 8));
}

TEST_F(TaskFileTest, UnreadableFilesAreRefused) {
    JobList jobs;
    EXPECT_FALSE(ReadTaskFile(PathOf(L"missing"), jobs));
    EXPECT_FALSE(ReadTaskFile(folder_, jobs)); // a folder is no task file
    EXPECT_TRUE(jobs.empty());

    // A program read as a task file: somewhere a stretch without a record end.
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_FALSE(ReadTaskFile(self, jobs));
}

TEST_F(TaskFileTest, ManyRecordsInOneFile) {
    JobList paths;
    for (int i = 0; i < 3000; ++i)
        paths.push_back(L"C:\\pictures\\" + std::to_wstring(i) + L".jpg");
    ASSERT_TRUE(WriteTaskFile(PathOf(L"task3"), paths));
    JobList jobs;
    ASSERT_TRUE(ReadTaskFile(PathOf(L"task3"), jobs));
    EXPECT_EQ(jobs, paths);
}

} // namespace
