// Link codes and their way onto the real clipboard.
#include "codes/FormClip.h"
#include "codes/LinkCodes.h"

#include "common/DataFolder.h"
#include "settings/SettingsGroups.h"
#include "TestSupport.h"
#include "UiDriver.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace lumexia;
using namespace testing_support;

namespace {

UploadedImage Picture(const std::wstring& img, const std::wstring& preview) {
    UploadedImage image;
    image.id = L"42";
    image.imgUrl = img;
    image.imgPreviewUrl = preview;
    image.imgPreviewXUrl = L"http://i.lumexia.ru/x/a.jpg";
    return image;
}

TEST(PageUrl, ReplacesTheSchemeByThePageBaseAndAppendsHtml) {
    EXPECT_EQ(PageUrl(L"http://i.lumexia.ru/2026/a.jpg"),
              L"http://lumexia.ru/F/i.lumexia.ru/2026/a.jpg.html");
    EXPECT_EQ(PageUrl(L"ftp://x/a.jpg"), L"ftp://x/a.jpg.html"); // no scheme: only the suffix
    // Every occurrence is replaced, each exactly once.
    EXPECT_EQ(PageUrl(L"http://a/?u=http://b"),
              L"http://lumexia.ru/F/a/?u=http://lumexia.ru/F/b.html");
}

TEST(FormatLinkCode, EveryKind) {
    const std::wstring img = L"http://i.lumexia.ru/a.jpg";
    const std::wstring prev = L"http://i.lumexia.ru/a_t.jpg";
    const std::wstring page = L"http://lumexia.ru/F/i.lumexia.ru/a.jpg.html";
    const struct {
        int kind;
        std::wstring code;
    } cases[] = {
        {1, img},
        {2, L"[IMG]" + img + L"[/IMG]"},
        {3, L"[URL=" + page + L"][IMG]" + prev + L"[/IMG][/URL]"},
        {6, L"<img src=\"" + img + L"\">"},
        {7, L"<a target=\"_blank\" href=\"" + page + L"\"><img src=\"" + prev + L"\"></a>"},
        {8, L"[img]" + img + L"[/img]"},
        {9, L"[url=" + page + L"][img]" + prev + L"[/img][/url]"},
        {4, L""},
        {5, L""}, // from a hand-edited settings file
        {0, L""},
    };
    for (const auto& c : cases) {
        UploadedImage image = Picture(img, prev);
        FormatLinkCode(image, c.kind);
        EXPECT_EQ(image.code, c.code) << "kind " << c.kind;
    }
}

TEST(FormatLinkCode, PreviewKindsWithoutAPreviewGiveEmptyLines) {
    UploadedList images = {Picture(L"http://h/1.jpg", L""),
                           Picture(L"http://h/2.jpg", L"http://h/2t.jpg")};
    for (int kind : {3, 7, 9}) {
        FormatLinkCodes(images, kind);
        EXPECT_EQ(images[0].code, L"");
        EXPECT_FALSE(images[1].code.empty());
    }
    FormatLinkCodes(images, 2);
    EXPECT_EQ(images[0].code, L"[IMG]http://h/1.jpg[/IMG]"); // the plain kinds need none
    // A placeholder that a value itself contains is not expanded again.
    UploadedImage tricky = Picture(L"http://h/{1}.jpg", L"P");
    FormatLinkCode(tricky, 1);
    EXPECT_EQ(tricky.code, L"http://h/P.jpg"); // {0} first, then {1} over the whole text
}

TEST(ClipboardText, EveryLineEndsWithCrLf) {
    UploadedList images = {Picture(L"a", L""), Picture(L"b", L""), Picture(L"c", L"")};
    FormatLinkCodes(images, 3); // all empty
    EXPECT_EQ(ClipboardText(images), L"\r\n\r\n\r\n");
    FormatLinkCodes(images, 1);
    EXPECT_EQ(ClipboardText(images), L"a\r\nb\r\nc\r\n");
    EXPECT_EQ(ClipboardText({}), L"");
}

TEST(CopyCodesToClipboard, WaitsForAClipboardHeldForAMomentButNotForever) {
    UploadedList images = {Picture(L"http://h/1.jpg", L"")};
    FormatLinkCodes(images, 1);
    ASSERT_TRUE(uidriver::WriteClipboard(L"before"));
    // Another program (a clipboard viewer, say) holds the clipboard open with a window of
    // its own; the hold lasts `holdMs`, or until released.
    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> opened{false};
    auto holdFor = [&](DWORD holdMs) {
        return std::thread([=, &opened] {
            HWND window =
                ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
            opened = ::OpenClipboard(window) != FALSE;
            ::SetEvent(held);
            ::WaitForSingleObject(release, holdMs);
            if (opened) ::CloseClipboard();
            ::DestroyWindow(window);
        });
    };

    std::thread brief = holdFor(300);
    ASSERT_EQ(::WaitForSingleObject(held, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(opened.load());
    EXPECT_TRUE(CopyCodesToClipboard(nullptr, images));
    brief.join();
    std::wstring text;
    ASSERT_TRUE(uidriver::ReadClipboard(text));
    EXPECT_EQ(text, L"http://h/1.jpg\r\n");

    ::ResetEvent(held);
    std::thread stuck = holdFor(INFINITE);
    ASSERT_EQ(::WaitForSingleObject(held, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(opened.load());
    EXPECT_FALSE(CopyCodesToClipboard(nullptr, images));
    ::SetEvent(release);
    stuck.join();
    ::CloseHandle(held);
    ::CloseHandle(release);
}

class ClipboardNotice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        path_ = DataFolder() + L"config2.txt";
        saved_ = ReadBytes(path_, &had_);
        RemoveFile(path_);
        images_ = {Picture(L"http://h/1.jpg", L""), Picture(L"http://h/2.jpg", L"")};
        FormatLinkCodes(images_, 1);
        ASSERT_TRUE(uidriver::WriteClipboard(L"before"));
    }
    void TearDown() override {
        RemoveFile(path_);
        if (had_) WriteBytes(path_, saved_);
        ::OleUninitialize();
    }
    // Runs the notice; `user` acts on it from another thread (null when it never shows).
    void Run(bool tick, bool* shown) {
        std::thread user([&] {
            HWND notice = uidriver::WaitForDialog(IDC_CLIP_OK, ::GetCurrentProcessId(), 3000);
            *shown = notice != nullptr;
            if (!notice) return;
            if (tick) ::SendMessageW(::GetDlgItem(notice, IDC_CLIP_NOSHOW), BM_CLICK, 0, 0);
            uidriver::Click(notice, IDC_CLIP_OK);
        });
        FormClip clip(&images_);
        clip.Run(nullptr);
        user.join();
    }
    std::wstring path_;
    std::string saved_;
    bool had_ = false;
    UploadedList images_;
};

TEST_F(ClipboardNotice, CopiesShowsAndOnceTickedStaysSilent) {
    NoticeFlags flags;
    flags.showUpdate = false; // the other flag must survive
    ASSERT_TRUE(SaveNoticeFlags(flags));

    bool shown = false;
    Run(true, &shown);
    EXPECT_TRUE(shown);
    std::wstring text;
    ASSERT_TRUE(uidriver::ReadClipboard(text));
    EXPECT_EQ(text, L"http://h/1.jpg\r\nhttp://h/2.jpg\r\n");

    NoticeFlags after;
    ASSERT_TRUE(LoadNoticeFlags(after));
    EXPECT_FALSE(after.showCompletion);
    EXPECT_FALSE(after.showUpdate);

    // Next run: copied without the notice.
    ASSERT_TRUE(uidriver::WriteClipboard(L"before"));
    Run(false, &shown);
    EXPECT_FALSE(shown);
    ASSERT_TRUE(uidriver::ReadClipboard(text));
    EXPECT_EQ(text, L"http://h/1.jpg\r\nhttp://h/2.jpg\r\n");
}

TEST_F(ClipboardNotice, OkWithoutTheTickKeepsShowingIt) {
    bool shown = false;
    Run(false, &shown);
    EXPECT_TRUE(shown);
    NoticeFlags after;
    ASSERT_TRUE(LoadNoticeFlags(after));
    EXPECT_TRUE(after.showCompletion);
}

TEST_F(ClipboardNotice, ABusyClipboardIsReportedAndCancelClaimsNothing) {
    // Another window holds the clipboard open: the copy fails with the error message, and
    // Cancel there ends without the notice.
    HWND holder =
        ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    std::wstring message;
    bool shown = false;
    std::thread user([&] {
        message = uidriver::AnswerMessageBox(L"Error", IDCANCEL, 5000);
        shown = uidriver::WaitForDialog(IDC_CLIP_OK, ::GetCurrentProcessId(), 300) != nullptr;
    });
    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        // Opened from a different thread, so the dialog's OpenClipboard fails.
        ::OpenClipboard(holder);
        ::SetEvent(held);
        uidriver::WaitUntil([&] { return !message.empty(); }, 6000);
        ::CloseClipboard();
    });
    ASSERT_EQ(::WaitForSingleObject(held, 5000), WAIT_OBJECT_0);
    ::CloseHandle(held);
    FormClip clip(&images_);
    clip.Run(nullptr);
    user.join();
    other.join();
    ::DestroyWindow(holder);
    EXPECT_EQ(message, L"Ошибка при копировании ссылок в буфер обмена.");
    EXPECT_FALSE(shown);
    std::wstring text;
    ASSERT_TRUE(uidriver::ReadClipboard(text));
    EXPECT_EQ(text, L"before");
}

TEST_F(ClipboardNotice, RetryAfterAnotherProgramLetsGoPutsEveryCodeThere) {
    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, L"LumexiaTestClipboardHeld");
    uidriver::Process holder;
    ASSERT_TRUE(holder.Start(uidriver::ProgramFolder() + L"uidriver.exe",
                             L"uidriver.exe hold-clipboard 3000 LumexiaTestClipboardHeld"));
    ASSERT_EQ(::WaitForSingleObject(held, 10000), WAIT_OBJECT_0);
    ::CloseHandle(held);
    std::wstring message;
    bool shown = false;
    std::thread user([&] {
        HWND box = uidriver::WaitForCaption(L"Error", 10000);
        if (!box) return;
        message = uidriver::MessageBoxText(box);
        // Retry only once the other program has let go; a retry before then would simply
        // ask again.
        if (!holder.Wait(10000)) return;
        uidriver::AnswerMessageBox(L"Error", IDRETRY, 1000);
        HWND notice = uidriver::WaitForDialog(IDC_CLIP_OK, ::GetCurrentProcessId(), 5000);
        shown = notice != nullptr;
        if (notice) uidriver::Click(notice, IDC_CLIP_OK);
    });
    FormClip clip(&images_);
    const FormClip::Result result = clip.Run(nullptr);
    user.join();
    EXPECT_EQ(message, L"Ошибка при копировании ссылок в буфер обмена.");
    EXPECT_TRUE(shown);
    EXPECT_EQ(result, FormClip::kCopied);
    std::wstring text;
    ASSERT_TRUE(uidriver::ReadClipboard(text));
    EXPECT_EQ(text, L"http://h/1.jpg\r\nhttp://h/2.jpg\r\n");
}

TEST_F(ClipboardNotice, EscapeDoesNotCloseIt) {
    bool openAfterEscape = false;
    std::thread user([&] {
        HWND notice = uidriver::WaitForDialog(IDC_CLIP_OK, ::GetCurrentProcessId(), 3000);
        if (!notice) return;
        ::SendMessageW(notice, WM_COMMAND, IDCANCEL, 0);
        openAfterEscape = !uidriver::WaitForGone(notice, 300);
        uidriver::Click(notice, IDC_CLIP_OK);
    });
    FormClip clip(&images_);
    clip.Run(nullptr);
    user.join();
    EXPECT_TRUE(openAfterEscape);
}

TEST_F(ClipboardNotice, AKindEditedByHandToOneNotOfferedGivesEmptyLines) {
    // Someone typed kind 5 into the settings file; the batch is formatted with it as it
    // stands, and every picture still gets its (empty) line.
    ASSERT_TRUE(WriteBytes(path_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings>"
                                  "<setting name=\"usTypeCode\" value=\"5\"/>"
                                  "<setting name=\"isshcompl\" value=\"False\"/>"
                                  "</settings>"));
    UploadSettings options;
    ASSERT_TRUE(LoadUploadSettings(options));
    ASSERT_EQ(options.typeCode, 5);
    images_.push_back(Picture(L"http://h/3.jpg", L"http://h/3t.jpg"));
    FormatLinkCodes(images_, options.typeCode);

    bool shown = false;
    Run(false, &shown);
    EXPECT_FALSE(shown); // the notice was turned off in the same file
    std::wstring text;
    ASSERT_TRUE(uidriver::ReadClipboard(text));
    EXPECT_EQ(text, L"\r\n\r\n\r\n");
}

} // namespace
