// Once through the real client: a tag typed in its options dialog is completed from the
// stand-in's suggestions and travels in the upload's TAGS field.
#include "StandIn.h"
#include "StandInSettings.h"
#include "TagTestSupport.h"
#include "TestPictures.h"
#include "LoginPrompt.h"
#include "UiDriver.h"

#include "common/TaskFile.h"
#include "imaging/GdiPlus.h"
#include "resources/resource.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 60000;

class TagRoad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        ASSERT_TRUE(settings_.Saved());
        EmptyDataFolder();
        standin::Reset();
    }
    void TearDown() override {
        client_.Kill();
        EmptyDataFolder();
        ::OleUninitialize();
    }

    StandInProxySettings settings_;
    uidriver::Process client_;
};

TEST_F(TagRoad, ChosenSuggestionTravelsInTheUpload) {
    tag_tests::SetTags({L"Закат", L"Закат над морем", L"Зима"});
    const std::wstring picture = NewScratchFolder() + L"photo.jpg";
    {
        GdiplusSession gdiplus;
        ASSERT_TRUE(test_pictures::SaveSolid(picture, 200, 150, 0xFF808080, L"image/jpeg"));
    }
    const std::wstring task = WriteNewTaskFile({picture});
    ASSERT_TRUE(
        client_.Start(uidriver::ProgramFolder() + L"LumexiaClient.exe", L"\"" + task + L"\""));
    HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, client_.Id(), kWait);
    ASSERT_TRUE(dialog);
    // The first paint checks the version and, with no login stored, asks for one: once
    // that is answered the road runs anonymously, as a user who declines would.
    ASSERT_TRUE(SkipLoginPrompt(client_.Id(), kWait));
    HWND list = uidriver::WaitForWindow(L"MainLB", client_.Id(), kWait);
    ASSERT_TRUE(list);
    HWND edit = ::GetDlgItem(dialog, IDC_TAGS);

    uidriver::TypeText(edit, L"зака", 50);
    ASSERT_TRUE(uidriver::WaitUntil(
        [&] { return ::IsWindowVisible(list) && ::SendMessageW(list, LB_GETCOUNT, 0, 0) == 2; },
        kWait));
    uidriver::PressKey(edit, VK_DOWN);
    uidriver::PressKey(edit, VK_DOWN);
    uidriver::PressKey(edit, VK_RETURN);
    ASSERT_TRUE(
        uidriver::WaitUntil([&] { return uidriver::Text(edit) == L"Закат над морем"; }, kWait));

    uidriver::Click(dialog, IDC_UPLOAD);
    HWND notice = uidriver::WaitForDialog(IDC_CLIP_OK, client_.Id(), kWait);
    ASSERT_TRUE(notice);
    uidriver::Click(notice, IDC_CLIP_OK);
    DWORD code = 1;
    EXPECT_TRUE(client_.Wait(kWait, &code) && code == 0);

    int upload = -1;
    for (int i = standin::RequestCount() - 1; i >= 0 && upload < 0; --i)
        if (standin::Head(i).find("/uplimg/") != std::string::npos) upload = i;
    ASSERT_GE(upload, 0);
    EXPECT_EQ(standin::Field(upload, "TAGS"), ToUtf8(L"Закат над морем"));
    EXPECT_EQ(tag_tests::AskedTokens(), std::vector<std::wstring>{L"зака"});
}

} // namespace
