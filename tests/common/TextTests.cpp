// The shared text rules: what the tag cache, the inscription and the request fields rely on.
#include "common/Text.h"

#include <gtest/gtest.h>

using namespace lumexia;

TEST(TrimText, RemovesOnlyTheEightControlAndSpaceCharacters) {
    EXPECT_EQ(TrimText(L" \a\b\f\n\r\t\vab c\t\n"), L"ab c");
    EXPECT_EQ(TrimText(L" \t \t"), L"");
    EXPECT_EQ(TrimText(L""), L"");
    EXPECT_EQ(TrimText(L"\u00A0x\u00A0"), L"\u00A0x\u00A0");
    EXPECT_EQ(TrimText(L"x"), L"x");
    EXPECT_EQ(TrimText(L"\x0001x"), L"\x0001x");
    EXPECT_EQ(TrimText(L"\tПривет мир "), L"Привет мир");
}

TEST(LowerText, LowersLatinAndCyrillicOverTheWholeLength) {
    EXPECT_EQ(LowerText(L"AbC ПРИВЕТ Ёж"), L"abc привет ёж");
    EXPECT_EQ(LowerText(L"0A1B2C3D"), L"0a1b2c3d");
    EXPECT_EQ(LowerText(L""), L"");
    // A NUL inside the text does not end the lowering.
    EXPECT_EQ(LowerText(std::wstring(L"A\0B", 3)), std::wstring(L"a\0b", 3));
}
