// The names of hand-made DROPFILES blocks, read once through the platform's own
// DragQueryFileW by index as the reference, and once by the one-pass reader.
#include "common/DropFiles.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <string>

using namespace lumexia;

namespace {

// A block with `pFiles` = the header size followed by `list` bytes as given (so a test
// decides about every terminator). The block is exactly that long.
HGLOBAL MakeBlock(const std::string& list, bool wide, DWORD pFiles = sizeof(DROPFILES)) {
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
    drop->pFiles = pFiles;
    drop->fWide = wide;
    if (!list.empty()) std::memcpy(drop + 1, list.data(), list.size());
    ::GlobalUnlock(block);
    return block;
}

std::string WideList(const JobList& names, bool finalTerminator = true) {
    std::wstring list;
    for (const auto& name : names)
        list += name + L'\0';
    if (finalTerminator) list += L'\0';
    return std::string(reinterpret_cast<const char*>(list.data()), list.size() * 2);
}

std::string AnsiList(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names)
        list += name + '\0';
    return list + '\0';
}

// Every name as DragQueryFileW hands it out, by index.
JobList PlatformNames(HGLOBAL block) {
    HDROP drop = static_cast<HDROP>(block);
    JobList names;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring name(2000, L'\0');
        ::DragQueryFileW(drop, i, &name[0], static_cast<UINT>(name.size()));
        name.resize(std::wcslen(name.c_str()));
        names.push_back(name);
    }
    return names;
}

struct Block {
    explicit Block(HGLOBAL h) : handle(h) {}
    ~Block() { ::GlobalFree(handle); }
    HGLOBAL handle;
};

TEST(DropNames, WideListAsThePlatformReadsIt) {
    const JobList names = {L"C:\\Фото\\\u040A\u041Aадр.jpg", L"D:\\a b\\c.png",
                           L"\\\\server\\share\\d", L"C:\\folder"};
    Block block(MakeBlock(WideList(names), true));
    EXPECT_EQ(PlatformNames(block.handle), names);
    EXPECT_EQ(DroppedNames(block.handle), names);

    Block one(MakeBlock(WideList({L"C:\\one.jpg"}), true));
    EXPECT_EQ(DroppedNames(one.handle), PlatformNames(one.handle));
    EXPECT_EQ(DroppedNames(one.handle), (JobList{L"C:\\one.jpg"}));
}

TEST(DropNames, AnsiListInTheSystemCodePage) {
    // Cyrillic letters as the Windows-1251 bytes a Russian system writes ("Фото", "Лето"),
    // read as DragQueryFileW reads them: through the system's ANSI code page, whichever
    // that is for this test.
    const std::vector<std::string> names = {"C:\\\xD4\xEE\xF2\xEE\\1.jpg", "C:\\\xCB\xE5\xF2\xEE",
                                            "C:\\plain.gif"};
    Block block(MakeBlock(AnsiList(names), false));
    JobList expected;
    for (const auto& name : names) {
        wchar_t text[100] = {};
        ::MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, text, 100);
        expected.push_back(text);
    }
    EXPECT_EQ(PlatformNames(block.handle), expected);
    EXPECT_EQ(DroppedNames(block.handle), expected);
    if (::GetACP() == 1251) {
        EXPECT_EQ(expected[1], L"C:\\Лето");
    }
}

TEST(DropNames, EmptyList) {
    // Only the list's terminator: no names. (The platform's count is no reference here:
    // its loop steps over the first terminator as if it ended a name, and under Wine it
    // then reads on past the block.)
    Block block(MakeBlock(WideList({}), true));
    EXPECT_TRUE(DroppedNames(block.handle).empty());
    Block ansi(MakeBlock(AnsiList({}), false));
    EXPECT_TRUE(DroppedNames(ansi.handle).empty());
}

TEST(DropNames, NamesTooLongForARecordAreLeftOut) {
    const std::wstring longest = L"C:\\" + std::wstring(kTaskPathMaxChars - 3, L'x');
    const std::wstring tooLong = longest + L"y";
    ASSERT_EQ(longest.size(), kTaskPathMaxChars);
    Block block(MakeBlock(WideList({L"C:\\a", tooLong, longest, L"C:\\b"}), true));
    EXPECT_EQ(PlatformNames(block.handle), (JobList{L"C:\\a", tooLong, longest, L"C:\\b"}));
    EXPECT_EQ(DroppedNames(block.handle), (JobList{L"C:\\a", longest, L"C:\\b"}));

    Block ansi(MakeBlock(AnsiList({std::string(kTaskPathMaxChars + 1, 'z'), "C:\\c"}), false));
    EXPECT_EQ(DroppedNames(ansi.handle), (JobList{L"C:\\c"}));
}

TEST(DropNames, ANameHoldingTheRecordEndIsLeftOut) {
    // U+0A0D is the record end's two bytes at a code unit's place: written, it would end
    // the record there and the client would read (and publish) "C:\\photos\\a".
    const std::wstring split = std::wstring(L"C:\\photos\\a") + L'\u0A0D' + L"b.jpg";
    Block block(MakeBlock(WideList({L"C:\\one.jpg", split, L"C:\\two.jpg"}), true));
    EXPECT_EQ(PlatformNames(block.handle)[1], split);
    EXPECT_EQ(DroppedNames(block.handle), (JobList{L"C:\\one.jpg", L"C:\\two.jpg"}));
    EXPECT_FALSE(FitsTaskRecord(split.data(), split.size()));
    const std::wstring nearby = std::wstring(L"C:\\") + L'\u0D0A' + L'\u0A0C';
    EXPECT_TRUE(FitsTaskRecord(nearby.data(), nearby.size()));
}

TEST(DropNames, NothingIsReadPastTheBlock) {
    // Names that end inside the block count; a last one cut by the block's end does not.
    Block noListEnd(MakeBlock(WideList({L"C:\\a", L"C:\\b"}, false), true));
    EXPECT_EQ(DroppedNames(noListEnd.handle), (JobList{L"C:\\a", L"C:\\b"}));
    Block cut(
        MakeBlock(WideList({L"C:\\a"}, false) + WideList({L"C:\\b"}, false).substr(0, 6), true));
    EXPECT_EQ(DroppedNames(cut.handle), (JobList{L"C:\\a"}));
    Block cutAnsi(MakeBlock(std::string("C:\\a\0C:\\b", 8), false));
    EXPECT_EQ(DroppedNames(cutAnsi.handle), (JobList{L"C:\\a"}));

    // A block that ends at a page the process may not read: any read past it faults.
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    auto* pages = static_cast<unsigned char*>(
        ::VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(
        ::VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &old));
    const std::string list = WideList({L"C:\\a", L"C:\\bbb"}, false).substr(0, 14);
    DROPFILES header = {sizeof(DROPFILES), {0, 0}, FALSE, TRUE};
    unsigned char* block = pages + system.dwPageSize - sizeof header - list.size();
    std::memcpy(block, &header, sizeof header);
    std::memcpy(block + sizeof header, list.data(), list.size());
    EXPECT_EQ(ReadDropNames(block, sizeof header + list.size()), (JobList{L"C:\\a"}));
    ::VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(DropNames, AListOutsideTheBlockGivesNoNames) {
    const std::string list = WideList({L"C:\\a"});
    Block beyond(MakeBlock(list, true, sizeof(DROPFILES) + 4096));
    EXPECT_TRUE(DroppedNames(beyond.handle).empty());
    Block atEnd(MakeBlock(list, true, static_cast<DWORD>(sizeof(DROPFILES) + list.size())));
    EXPECT_TRUE(DroppedNames(atEnd.handle).empty());
    Block inHeader(MakeBlock(list, true, 4));
    EXPECT_TRUE(DroppedNames(inHeader.handle).empty());
    Block tooSmall(::GlobalAlloc(GHND, sizeof(DROPFILES) - 1));
    EXPECT_TRUE(DroppedNames(tooSmall.handle).empty());
    EXPECT_TRUE(DroppedNames(nullptr).empty());
}

} // namespace
