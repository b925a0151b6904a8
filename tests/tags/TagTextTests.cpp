// The tag text rules of the completion control, without a window.
#include "ui/TagText.h"

#include <gtest/gtest.h>

using namespace lumexia;

TEST(TagText, TheSpanRunsFromTheCommaBeforeTheCaretToTheNextOne) {
    const std::wstring text = L"cat, do,cow";
    // In the middle tag, at its start (just after the comma) and at its end (on the comma).
    EXPECT_EQ(TagSpanAt(text, 6).start, 4u);
    EXPECT_EQ(TagSpanAt(text, 6).end, 7u);
    EXPECT_EQ(TagSpanAt(text, 4).start, 4u);
    EXPECT_EQ(TagSpanAt(text, 7).start, 4u);
    EXPECT_EQ(TagSpanAt(text, 7).end, 7u);
    // The first tag from 0; the last to the end, also for a caret past the end.
    EXPECT_EQ(TagSpanAt(text, 0).start, 0u);
    EXPECT_EQ(TagSpanAt(text, 0).end, 3u);
    EXPECT_EQ(TagSpanAt(text, 99).start, 8u);
    EXPECT_EQ(TagSpanAt(text, 99).end, 11u);
    EXPECT_EQ(TagSpanAt(L"", 0).end, 0u);
}

TEST(TagText, TheTokenDropsLeadingWhiteSpaceAndIsLowerCased) {
    EXPECT_EQ(TagTokenAt(L"cat, \tDoG ,x", 7), L"dog ");
    EXPECT_EQ(TagTokenAt(L"Кошка,  СОБАКА", 14), L"собака");
    EXPECT_EQ(TagTokenAt(L"cat,  ", 6), L"");
    EXPECT_EQ(TagTokenAt(L"", 0), L"");
}

TEST(TagText, ACompletionReplacesTheTagAroundTheCaretAndPutsTheCaretAfterIt) {
    // The first tag gets no space; the rest of the text stays as it was.
    TagCompletion done = CompleteTagAt(L"co,dog", 1, L"Cow");
    EXPECT_EQ(done.text, L"Cow,dog");
    EXPECT_EQ(done.caret, 3u);
    // A later tag gets one space after its comma, whatever white space it had.
    done = CompleteTagAt(L"cat,   do", 9, L"Dog");
    EXPECT_EQ(done.text, L"cat, Dog");
    EXPECT_EQ(done.caret, 8u);
    done = CompleteTagAt(L"a,b,c", 3, L"Bee");
    EXPECT_EQ(done.text, L"a, Bee,c");
    EXPECT_EQ(done.caret, 6u);
}
