// The whole road through the real client: options dialog, processing, sending to the
// stand-in service, the code hand-out and the clipboard. The client reaches the stand-in
// as its proxy; everything else is the product as shipped.
#include "StandIn.h"
#include "StandInSettings.h"
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "settings/SettingsGroups.h"
#include "common/TaskFile.h"
#include "TestPictures.h"
#include "LoginPrompt.h"
#include "TestSupport.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 60000;
const wchar_t kProcessingQuestion[] = L"Ошибка при обработке изображения.";
const wchar_t kPartialQuestion[] = L"Результат обработки";

std::wstring ClientPath() {
    return uidriver::ProgramFolder() + L"LumexiaClient.exe";
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class Road : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        ASSERT_TRUE(settings_.Saved());
        EmptyDataFolder();
        standin::Reset();
        ASSERT_TRUE(uidriver::WriteClipboard(L"before"));
        folder_ = NewScratchFolder();
    }
    void TearDown() override {
        client_.Kill();
        EmptyDataFolder();
        ::OleUninitialize();
    }

    // The three pictures of the road: a 1000x800 JPEG, a PNG with transparency, a GIF.
    JobList ThreePictures() {
        const JobList paths = test_pictures::WriteRoadPictures(folder_);
        EXPECT_EQ(paths.size(), 3u);
        return paths;
    }
    JobList Pictures(int count) {
        lumexia::GdiplusSession gdiplus;
        JobList paths;
        for (int i = 0; i < count; ++i) {
            paths.push_back(folder_ + L"p" + std::to_wstring(i) + L".jpg");
            EXPECT_TRUE(
                test_pictures::SaveSolid(paths.back(), 200, 150, 0xFF808080, L"image/jpeg"));
        }
        return paths;
    }

    // Starts the client as the extension does and returns its options dialog.
    HWND Start(const JobList& paths) {
        const std::wstring task = WriteNewTaskFile(paths);
        const int before = standin::RequestCount();
        if (task.empty() || !client_.Start(ClientPath(), L"\"" + task + L"\"")) return nullptr;
        HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, client_.Id(), kWait);
        // The dialog reads its proxy setting on its first paint. A posted click would be
        // handled before that paint (painting waits for an empty queue), which no user can
        // do. With no login stored, the first paint asks for one: once that dialog is
        // there, the paint has happened, and the road runs anonymously.
        if (dialog && !SkipLoginPrompt(client_.Id())) return nullptr;
        // That paint first asks the version page; the road's requests are counted after it.
        if (dialog && !uidriver::WaitUntil([&] { return standin::RequestCount() > before; }, kWait))
            return nullptr;
        standin::Post(L"/__journal/clear", "");
        return dialog;
    }
    // Waits for the clipboard notice, presses its OK, and waits for the client to end.
    bool AcknowledgeNotice() {
        HWND notice = uidriver::WaitForDialog(IDC_CLIP_OK, client_.Id(), kWait);
        if (!notice) {
            ADD_FAILURE() << "no notice; requests: " << standin::RequestCount()
                          << "; send question: "
                          << (uidriver::WaitForCaption(L"Ошибка при отправке изображения.", 0) !=
                              nullptr)
                          << "; last answer head: " << standin::Head(standin::RequestCount() - 1);
            return false;
        }
        uidriver::Click(notice, IDC_CLIP_OK);
        return Ended();
    }
    bool Ended() {
        DWORD code = 1;
        return client_.Wait(kWait, &code) && code == 0;
    }
    std::wstring Clipboard() {
        std::wstring text;
        uidriver::ReadClipboard(text);
        return text;
    }
    bool PreparedFilesLeft() {
        const std::wstring folder = DataFolder();
        WIN32_FIND_DATAW entry;
        HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &entry);
        bool any = false;
        if (find == INVALID_HANDLE_VALUE) return false;
        do
            any = any || IsDisposableName(entry.cFileName);
        while (::FindNextFileW(find, &entry));
        ::FindClose(find);
        return any;
    }

    uidriver::Process client_;
    StandInProxySettings settings_;
    const std::wstring& settingsPath_ = settings_.Path();
    std::wstring folder_;
};

TEST_F(Road, ThreePicturesEndAsCodesOnTheClipboard) {
    const JobList pictures = ThreePictures();
    HWND dialog = Start(pictures);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(uidriver::ControlText(dialog, IDC_FILE_COUNT), L"Количество изображений 3");
    ASSERT_TRUE(uidriver::ComboSelect(dialog, IDC_LINK_KIND, L"2. Картинка в тексте"));
    uidriver::SetControlText(dialog, IDC_COMMENT, L"Закат на море");
    uidriver::Click(dialog, IDC_UPLOAD);
    ASSERT_TRUE(AcknowledgeNotice());

    // One upload per picture, with the form of the service's upload call.
    ASSERT_EQ(standin::RequestCount(), 3);
    const std::vector<std::string>& expected = standin::AnonymousUploadFields();
    std::wstring storedId;
    ASSERT_TRUE(LoadClientId(storedId));
    const std::string uid = Lower(ToUtf8(storedId));
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> names = standin::FieldNames(i);
        ASSERT_FALSE(names.empty());
        names.erase(names.begin()); // the picture part comes first
        EXPECT_EQ(names, expected) << "request " << i;
        EXPECT_EQ(standin::Field(i, "UID"), uid);
        EXPECT_EQ(standin::Field(i, "FROMOBJECT"), "21");
        EXPECT_EQ(standin::Field(i, "IDALBUM"), "noall");
        EXPECT_EQ(standin::Field(i, "COMMENTIMG"), ToUtf8(L"Закат на море"));
        EXPECT_EQ(standin::Field(i, "RESPTYPE"), "xml");
        EXPECT_EQ(standin::Field(i, "ISPUBLIC"), "true");
    }
    EXPECT_EQ(standin::Field(0, "ORIGIMGWIDTH"), "1000");
    EXPECT_EQ(standin::Field(0, "ORIGIMGHEIGHT"), "800");
    EXPECT_EQ(standin::Field(0, "COEFFRESIZEIMG"), "0.64");
    EXPECT_EQ(standin::Field(2, "COEFFRESIZEIMG"), "1.");

    // Codes of the chosen kind, one line each.
    const std::wstring clip = Clipboard();
    size_t lines = 0;
    for (size_t at = clip.find(L"[IMG]http://"); at != std::wstring::npos;
         at = clip.find(L"[IMG]http://", at + 1))
        ++lines;
    EXPECT_EQ(lines, 3u) << ToUtf8(clip);
    EXPECT_EQ(clip.substr(clip.size() - 8), L"[/IMG]\r\n");

    // The options were saved in their writing order; prepared files are gone.
    const std::string file = ReadBytes(settingsPath_);
    size_t last = 0;
    for (const char* key :
         {"usComment", "usIdAlbum", "usIsResize", "usIsSubscr", "usJpegQuality", "usMaxSize",
          "usOutFormat", "usPrevIsSubscr", "usPrevMaxSize", "usPrevSubscrTxt", "usSubscrTxt",
          "usTypeCode", "usUserUrl", "usIsPublic", "usTags"}) {
        size_t at = file.find(std::string("\"") + key + "\"");
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, last) << key;
        last = at;
    }
    EXPECT_NE(file.find("name=\"usTypeCode\" value=\"2\""), std::string::npos);
    EXPECT_FALSE(PreparedFilesLeft());
}

TEST_F(Road, ClosingTheOptionsUploadsAndSavesNothing) {
    const std::string before = ReadBytes(settingsPath_);
    HWND dialog = Start(Pictures(2));
    ASSERT_NE(dialog, nullptr);
    uidriver::Close(dialog);
    ASSERT_TRUE(Ended());
    EXPECT_EQ(standin::RequestCount(), 0);
    EXPECT_EQ(ReadBytes(settingsPath_), before);
    EXPECT_EQ(Clipboard(), L"before");
}

TEST_F(Road, ProcessingStoppedByTheUserSendsNothing) {
    JobList jobs = Pictures(1);
    jobs.push_back(folder_ + L"missing.jpg");
    jobs.push_back(Pictures(2)[1]);
    HWND dialog = Start(jobs);
    ASSERT_NE(dialog, nullptr);
    uidriver::Click(dialog, IDC_UPLOAD);
    const std::wstring question = uidriver::AnswerMessageBox(kProcessingQuestion, IDCANCEL, kWait);
    EXPECT_NE(question.find(L"missing.jpg"), std::wstring::npos);
    ASSERT_TRUE(Ended());
    EXPECT_EQ(standin::RequestCount(), 0);
    EXPECT_FALSE(PreparedFilesLeft());
    EXPECT_EQ(Clipboard(), L"before");
}

TEST_F(Road, NothingPreparedMeansNoQuestionAndAnUntouchedClipboard) {
    HWND dialog = Start({folder_ + L"gone1.jpg", folder_ + L"gone2.jpg"});
    ASSERT_NE(dialog, nullptr);
    uidriver::Click(dialog, IDC_UPLOAD);
    EXPECT_FALSE(uidriver::AnswerMessageBox(kProcessingQuestion, IDOK, kWait).empty());
    EXPECT_FALSE(uidriver::AnswerMessageBox(kProcessingQuestion, IDOK, kWait).empty());
    ASSERT_TRUE(Ended());
    EXPECT_EQ(standin::RequestCount(), 0);
    EXPECT_EQ(uidriver::WaitForCaption(kPartialQuestion, 0), nullptr);
    EXPECT_EQ(Clipboard(), L"before");
}

class CancelledSending : public Road {
protected:
    // Five pictures; the service reads the whole third upload, keeps the picture and holds
    // its answer back long enough to press Cancel.
    void CancelAfterTwo() {
        ASSERT_FALSE(
            standin::Post(L"/__script", "path=/api3/rest/uplimg/prepared&skip=2&delay=3").empty());
        HWND dialog = Start(Pictures(5));
        ASSERT_NE(dialog, nullptr);
        uidriver::Click(dialog, IDC_UPLOAD);
        ASSERT_TRUE(uidriver::WaitUntil([] { return standin::RequestCount() >= 3; }, kWait))
            << "requests: " << standin::RequestCount() << "; send question: "
            << (uidriver::WaitForCaption(L"Ошибка при отправке изображения.", 0) != nullptr)
            << "; processing question: "
            << (uidriver::WaitForCaption(kProcessingQuestion, 0) != nullptr)
            << "; journal: " << standin::Get(L"/__journal").substr(0, 3000);
        HWND progress = uidriver::WaitForDialog(IDC_SERVER_PROGRESS, client_.Id(), kWait);
        ASSERT_NE(progress, nullptr);
        uidriver::Click(progress, IDC_SERVER_CANCEL);
    }
};

TEST_F(CancelledSending, OkHandsOutTheCodesOfTheHeldPictureToo) {
    CancelAfterTwo();
    EXPECT_FALSE(uidriver::AnswerMessageBox(kPartialQuestion, IDOK, kWait).empty());
    ASSERT_TRUE(AcknowledgeNotice());
    const std::wstring clip = Clipboard();
    // The held answer was still read: the service has that picture, so its code is there.
    EXPECT_EQ(std::count(clip.begin(), clip.end(), L'\n'), 3) << ToUtf8(clip);
    EXPECT_EQ(clip.compare(0, 7, L"http://"), 0);
    EXPECT_EQ(standin::RequestCount(), 3); // nothing after the cancel
}

TEST_F(CancelledSending, CancelCopiesNothing) {
    CancelAfterTwo();
    EXPECT_FALSE(uidriver::AnswerMessageBox(kPartialQuestion, IDCANCEL, kWait).empty());
    ASSERT_TRUE(Ended());
    EXPECT_EQ(Clipboard(), L"before");
}

TEST_F(CancelledSending, ASecondCancelStillOffersTheAcceptedCodes) {
    CancelAfterTwo();
    // The held answer keeps the worker busy: a second Cancel gives up on it at once.
    HWND progress = uidriver::WaitForDialog(IDC_SERVER_PROGRESS, client_.Id(), 1000);
    if (progress) uidriver::Click(progress, IDC_SERVER_CANCEL);
    EXPECT_FALSE(uidriver::AnswerMessageBox(kPartialQuestion, IDOK, kWait).empty());
    ASSERT_TRUE(AcknowledgeNotice());
    const std::wstring clip = Clipboard();
    EXPECT_EQ(std::count(clip.begin(), clip.end(), L'\n'), 2) << ToUtf8(clip);
}

TEST_F(Road, TheClientIdIsMadeOnceAndTheSessionIdEveryRun) {
    std::wstring none;
    ASSERT_TRUE(LoadClientId(none));
    ASSERT_TRUE(none.empty());
    std::string uid[2], sid[2];
    for (int run = 0; run < 2; ++run) {
        HWND dialog = Start(Pictures(1));
        ASSERT_NE(dialog, nullptr);
        uidriver::Click(dialog, IDC_UPLOAD);
        ASSERT_TRUE(AcknowledgeNotice());
        ASSERT_EQ(standin::RequestCount(), 1);
        uid[run] = standin::Field(0, "UID");
        sid[run] = standin::Field(0, "SID");
    }
    std::wstring stored;
    ASSERT_TRUE(LoadClientId(stored));
    ASSERT_EQ(stored.size(), 32u);
    EXPECT_EQ(stored.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
    EXPECT_EQ(uid[0], Lower(ToUtf8(stored)));
    EXPECT_EQ(uid[1], uid[0]);
    const std::string sid0 = sid[0], sid1 = sid[1];
    EXPECT_EQ(sid0.size(), 32u);
    EXPECT_EQ(sid0, Lower(sid0));
    EXPECT_NE(sid0, sid1);
}

} // namespace
