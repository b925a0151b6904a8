// The tag query against the stand-in: what goes on the wire, what is read from the answer,
// and that every failure leaves the caller's list as it was.
#include "StandIn.h"
#include "TagTestSupport.h"

#include "service/TagQuery.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace lumexia;

namespace {

class TagQueryCall : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::CoInitialize(nullptr));
        standin::Reset();
    }
    void TearDown() override { ::CoUninitialize(); }

    bool Query(const std::wstring& token, std::vector<std::wstring>& tags) {
        TagQuery query{token, standin::ProxyText(), L"50", &cancel_, &answer_};
        return QueryTagSuggestions(query, tags);
    }

    std::atomic<bool> cancel_{false};
    std::vector<char> answer_ = std::vector<char>(kTagAnswerCapacity, 'x');
};

TEST_F(TagQueryCall, SendsTheThreeFieldsAndReadsTheTagsInOrder) {
    tag_tests::SetTags({L"Кот", L"котёнок", L"кошка", L"Кот в сапогах"});
    std::vector<std::wstring> tags;
    ASSERT_TRUE(Query(L"кот", tags));
    EXPECT_EQ(tags, (std::vector<std::wstring>{L"Кот", L"котёнок", L"Кот в сапогах"}));
    ASSERT_EQ(standin::RequestCount(), 1);
    EXPECT_NE(standin::Head(0).find("/api3/rest/getimgtag/substr"), std::string::npos);
    EXPECT_EQ(standin::FieldNames(0),
              (std::vector<std::string>{"RESPTYPE", "SUBSTR_TAG", "PAGESIZE"}));
    EXPECT_EQ(standin::Field(0, "SUBSTR_TAG"), "\xD0\xBA\xD0\xBE\xD1\x82"); // UTF-8 of «кот»
    EXPECT_EQ(standin::Field(0, "PAGESIZE"), "50");
}

TEST_F(TagQueryCall, TokenOverTheFieldLimitGoesWithoutIt) {
    std::vector<std::wstring> tags;
    EXPECT_TRUE(Query(std::wstring(501, L'a'), tags));
    EXPECT_EQ(standin::FieldNames(0), (std::vector<std::string>{"RESPTYPE", "PAGESIZE"}));
    EXPECT_TRUE(tags.empty());
}

TEST_F(TagQueryCall, TagsComeCleanedAndOnesWithACommaAreNotOffered) {
    // UTF-8 of U+202E and U+0085 written out: the script's form takes the bytes as they are.
    standin::Post(L"/__script",
                  "body=" + std::string("<OperationResult><Err/><Result>"
                                        "<PubImgTag><TagVal>cat,dog</TagVal></PubImgTag>"
                                        "<PubImgTag><TagVal>\xE2\x80\xAE"
                                        "cat"
                                        "\xC2\x85"
                                        "</TagVal></PubImgTag>"
                                        "</Result></OperationResult>"));
    std::vector<std::wstring> tags;
    ASSERT_TRUE(Query(L"c", tags));
    EXPECT_EQ(tags, (std::vector<std::wstring>{L"cat"}));
}

TEST_F(TagQueryCall, TagsWithoutTagValAreSkippedAndRefusalsChangeNothing) {
    standin::Post(L"/__script", "body=" + std::string("<OperationResult><Err/><Result>"
                                                      "<PubImgTag><TagVal>one</TagVal></PubImgTag>"
                                                      "<PubImgTag><Other>x</Other></PubImgTag>"
                                                      "<PubImgTag><TagVal>two</TagVal></PubImgTag>"
                                                      "</Result></OperationResult>"));
    std::vector<std::wstring> tags{L"kept"};
    ASSERT_TRUE(Query(L"o", tags));
    EXPECT_EQ(tags, (std::vector<std::wstring>{L"kept", L"one", L"two"}));

    tag_tests::SetTags({L"one"});
    standin::Post(L"/__script", "code=7&msg=refused");
    tags = {L"kept"};
    EXPECT_FALSE(Query(L"o", tags));
    standin::Post(L"/__script", "status=500");
    EXPECT_FALSE(Query(L"o", tags));
    cancel_ = true; // a replaced request: nothing is read
    EXPECT_FALSE(Query(L"o", tags));
    EXPECT_EQ(tags, (std::vector<std::wstring>{L"kept"}));
}

} // namespace
