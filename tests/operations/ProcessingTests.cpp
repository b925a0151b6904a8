// The processing phase in a real progress dialog: pictures made with GDI+, the
// skip-or-stop question answered through the dialog-owned message box.
#include "common/DataFolder.h"
#include "operations/Form4Server.h"
#include "operations/ProcessingPhase.h"
#include "resources/resource.h"

#include "TestPictures.h"
#include "TestSupport.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <thread>

using namespace lumexia;

namespace {

const wchar_t kQuestionCaption[] = L"Ошибка при обработке изображения.";

class Processing : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::EmptyDataFolder();
        folder_ = testing_support::NewScratchFolder();
        ASSERT_TRUE(gdiplus_.Ok());
    }
    std::wstring Picture(const wchar_t* name) {
        const std::wstring path = folder_ + name;
        EXPECT_TRUE(test_pictures::SaveSolid(path, 64, 48, 0xFF336699, L"image/jpeg"));
        return path;
    }
    std::wstring NotAPicture(const wchar_t* name) {
        const std::wstring path = folder_ + name;
        EXPECT_TRUE(testing_support::WriteBytes(path, "just some text"));
        return path;
    }

    // Runs kind 3 with the stock operation and records the caption it ends with.
    void Run(Form4Server& server) {
        server.SetOperation([this](OperationContext& ctx) {
            RunProcessing(ctx);
            finalCaption_ = WindowText(ctx.dialog);
        });
        ASSERT_TRUE(server.Run(nullptr));
    }

    GdiplusSession gdiplus_;
    std::wstring folder_;
    std::wstring finalCaption_;
};

} // namespace

TEST_F(Processing, UnreadablePictureSkippedOnOk) {
    Form4Server server(kOperationProcessing);
    server.Context().jobs = {Picture(L"a.jpg"), NotAPicture(L"b.jpg"), Picture(L"c.jpg")};
    std::wstring question;
    std::thread answer(
        [&] { question = uidriver::AnswerMessageBox(kQuestionCaption, IDOK, 10000); });
    Run(server);
    answer.join();

    EXPECT_EQ(question,
              L"Файл [" + folder_ +
                  L"b.jpg]\r\n"
                  L"Файл поврежден, не является графическим, или его формат не поддерживается.\r\n"
                  L"OK - Пропустить файл и продолжить обработку.\r\n"
                  L"Отмена - прекратить обработку.");
    ASSERT_TRUE(server.Finished());
    EXPECT_TRUE(server.Success());
    EXPECT_FALSE(server.Cancelled());
    EXPECT_EQ(server.Outcome(), L"");
    EXPECT_EQ(finalCaption_, L"Обработка изображений 3 из 3");
    const auto& prepared = server.Context().prepared;
    ASSERT_EQ(prepared.size(), 2u);
    EXPECT_EQ(prepared[0].sourcePath, folder_ + L"a.jpg");
    EXPECT_EQ(prepared[1].sourcePath, folder_ + L"c.jpg");
    for (const auto& p : prepared) {
        EXPECT_EQ(p.preparedPath.rfind(DataFolder(), 0), 0u);
        EXPECT_EQ(p.preparedPath.size(), DataFolder().size() + 32);
        EXPECT_TRUE(testing_support::FileExists(p.preparedPath));
    }
}

TEST_F(Processing, CancelInTheQuestionStopsTheBatch) {
    Form4Server server(kOperationProcessing);
    server.Context().jobs = {Picture(L"a.jpg"), NotAPicture(L"b.jpg"), Picture(L"c.jpg")};
    std::thread answer([&] { uidriver::AnswerMessageBox(kQuestionCaption, IDCANCEL, 10000); });
    Run(server);
    answer.join();

    ASSERT_TRUE(server.Finished());
    EXPECT_FALSE(server.Success());
    EXPECT_TRUE(server.Cancelled());
    EXPECT_EQ(server.Outcome(), L"Прерванно пользователем");
    EXPECT_EQ(finalCaption_, L"Обработка изображений 1 из 3");
    ASSERT_EQ(server.Context().prepared.size(), 1u);
    EXPECT_EQ(server.Context().prepared[0].sourcePath, folder_ + L"a.jpg");
}

TEST_F(Processing, EmptyJobListSucceedsAtOnce) {
    Form4Server server(kOperationProcessing);
    Run(server);
    EXPECT_TRUE(server.Success());
    EXPECT_TRUE(server.Context().prepared.empty());
    EXPECT_EQ(finalCaption_, L"Обработка изображений 0 из 0");
}

TEST_F(Processing, SameFileTwiceGivesTwoPreparedFiles) {
    const std::wstring a = Picture(L"a.jpg");
    Form4Server server(kOperationProcessing);
    server.Context().jobs = {a, a};
    Run(server);
    ASSERT_TRUE(server.Success());
    const auto& prepared = server.Context().prepared;
    ASSERT_EQ(prepared.size(), 2u);
    EXPECT_NE(prepared[0].preparedPath, prepared[1].preparedPath);
    EXPECT_EQ(testing_support::ReadBytes(prepared[0].preparedPath),
              testing_support::ReadBytes(prepared[1].preparedPath));
}

TEST_F(Processing, WithoutGdiplusEveryPictureFailsWithAnEmptyText) {
    const std::wstring a = Picture(L"a.jpg");
    ShutdownGdiplus();
    Form4Server server(kOperationProcessing);
    server.Context().jobs = {a};
    std::wstring question;
    std::thread answer(
        [&] { question = uidriver::AnswerMessageBox(kQuestionCaption, IDOK, 10000); });
    Run(server);
    answer.join();
    StartGdiplus(); // for the fixture's shutdown
    EXPECT_EQ(question, L"Файл [" + a +
                            L"]\r\n\r\n"
                            L"OK - Пропустить файл и продолжить обработку.\r\n"
                            L"Отмена - прекратить обработку.");
    EXPECT_TRUE(server.Success());
    EXPECT_TRUE(server.Context().prepared.empty());
}

TEST_F(Processing, ShutdownWaitsForAPictureInProgress) {
    // A worker abandoned mid-picture must not find GDI+ gone under it: the shutdown
    // asked for meanwhile takes effect when the picture is done.
    {
        GdiplusUse use;
        ASSERT_TRUE(use.Active());
        ShutdownGdiplus();
        EXPECT_EQ(GdiplusToken(), 0u);
        GdiplusUse late; // no new work starts after the shutdown request
        EXPECT_FALSE(late.Active());
        EXPECT_TRUE(
            test_pictures::SaveSolid(folder_ + L"still.png", 8, 8, 0xFF00FF00, L"image/png"));
    }
    EXPECT_TRUE(StartGdiplus());
    EXPECT_NE(GdiplusToken(), 0u);
}

TEST_F(Processing, CancelInTheDialogStopsAfterTheCurrentPicture) {
    const std::wstring big = folder_ + L"big.jpg";
    ASSERT_TRUE(test_pictures::SaveSolid(big, 4000, 3000, 0xFF204080, L"image/jpeg"));
    Form4Server server(kOperationProcessing);
    server.Context().jobs = {big, big, big};
    std::thread driver([] {
        HWND dialog = uidriver::WaitForDialog(IDC_SERVER_PROGRESS, ::GetCurrentProcessId(), 10000);
        if (dialog) uidriver::Click(dialog, IDC_SERVER_CANCEL);
    });
    Run(server);
    driver.join();
    ASSERT_TRUE(server.Finished());
    EXPECT_FALSE(server.Success());
    EXPECT_TRUE(server.Cancelled());
    EXPECT_EQ(server.Outcome(), L"Прерванно пользователем");
    // The click lands during the first picture (or, on a slow machine, the second); the
    // picture in hand is kept, the stop is not counted as done, nothing more is started.
    const size_t kept = server.Context().prepared.size();
    EXPECT_GE(kept, 1u);
    EXPECT_LT(kept, 3u);
    EXPECT_EQ(finalCaption_, L"Обработка изображений " + std::to_wstring(kept - 1) + L" из 3");
}
