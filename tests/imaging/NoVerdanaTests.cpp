// Without the Verdana font the picture is prepared without its inscription and without
// a message. The test prefix maps Verdana to another font; the mapping is read when a
// process starts, so the check runs in a child process started while the mapping is
// removed, and the mapping is put back whatever happens.
#include "imaging/ImagePipeline.h"

#include "common/ScopedWin.h"
#include "TestPictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace lumexia;
using namespace test_pictures;
namespace ts = testing_support;

namespace {

const wchar_t kReplacements[] = L"Software\\Wine\\Fonts\\Replacements";
const wchar_t kChildVariable[] = L"LUMEXIA_NO_VERDANA_CHILD";

// Removes the Verdana replacement for its lifetime and restores it on destruction.
class VerdanaReplacementRemoved {
public:
    VerdanaReplacementRemoved() {
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kReplacements, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                            key_.Put()) != ERROR_SUCCESS)
            return;
        DWORD type = 0, bytes = 0;
        if (::RegQueryValueExW(key_.Get(), L"Verdana", nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS)
            return;
        data_.resize(bytes);
        if (::RegQueryValueExW(key_.Get(), L"Verdana", nullptr, &type, data_.data(), &bytes) !=
            ERROR_SUCCESS)
            return;
        type_ = type;
        saved_ = ::RegDeleteValueW(key_.Get(), L"Verdana") == ERROR_SUCCESS;
    }
    ~VerdanaReplacementRemoved() {
        if (saved_)
            ::RegSetValueExW(key_.Get(), L"Verdana", 0, type_, data_.data(),
                             static_cast<DWORD>(data_.size()));
    }
    VerdanaReplacementRemoved(const VerdanaReplacementRemoved&) = delete;
    VerdanaReplacementRemoved& operator=(const VerdanaReplacementRemoved&) = delete;

private:
    UniqueRegKey key_;
    std::vector<BYTE> data_;
    DWORD type_ = REG_SZ;
    bool saved_ = false;
};

bool InChild() {
    return ::GetEnvironmentVariableW(kChildVariable, nullptr, 0) != 0;
}

bool HasReplacement() {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kReplacements, 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return false;
    return ::RegQueryValueExW(key.Get(), L"Verdana", nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

} // namespace

// Runs only as the child of the test below.
TEST(NoVerdana, Child) {
    if (!InChild()) GTEST_SKIP() << "runs inside NoVerdana.PictureIsPreparedWithoutInscription";
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Ok());
    GpFontFamilyPtr family;
    ASSERT_NE(Gdiplus::DllExports::GdipCreateFontFamilyFromName(L"Verdana", nullptr, family.Put()),
              Gdiplus::Ok)
        << "Verdana is still available";

    const std::wstring folder = ts::NewScratchFolder();
    ASSERT_TRUE(SaveSolid(folder + L"g.png", 120, 50, 0xFF808080, L"image/png"));
    UploadSettings settings;
    settings.outFormat = 1;
    settings.isSubscr = true;
    settings.subscrText = L"Caption";
    PreparedImage image;
    std::wstring error = L"untouched";
    ASSERT_TRUE(PrepareImage(folder + L"g.png", folder + L"OUT", settings, image, error));
    EXPECT_EQ(error, L"untouched");
    EXPECT_EQ(image.isInscription, 1);
    EXPECT_EQ(image.inscription, L"Caption");
    Loaded out = Load(folder + L"OUT");
    ASSERT_TRUE(out.ok);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 120; ++x)
            ASSERT_EQ(Pixel(out.bitmap.Get(), x, y), 0xFF808080u);
    // Tells the parent that this body ran to its end (and was not skipped).
    wchar_t marker[MAX_PATH] = {};
    ::GetEnvironmentVariableW(kChildVariable, marker, MAX_PATH);
    ASSERT_TRUE(ts::WriteBytes(marker, "ran"));
}

TEST(NoVerdana, PictureIsPreparedWithoutInscription) {
    if (InChild()) GTEST_SKIP();
    wchar_t exe[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=NoVerdana.Child";
    const std::wstring marker = ts::NewScratchFolder() + L"child-ran";
    DWORD exitCode = 1;
    {
        VerdanaReplacementRemoved removed;
        ::SetEnvironmentVariableW(kChildVariable, marker.c_str());
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        const BOOL started = ::CreateProcessW(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                              nullptr, &si, &pi);
        ::SetEnvironmentVariableW(kChildVariable, nullptr);
        ASSERT_TRUE(started);
        UniqueHandle process(pi.hProcess), thread(pi.hThread);
        if (::WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
            ::TerminateProcess(pi.hProcess, 2);
            ::WaitForSingleObject(pi.hProcess, 5000);
        }
        ::GetExitCodeProcess(pi.hProcess, &exitCode);
    }
    EXPECT_TRUE(HasReplacement()) << "the Verdana mapping was not restored";
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(ts::FileExists(marker)) << "the check did not run in the child";
}
