#include <gtest/gtest.h>

#include "CKivPreviewText.h"

TEST(PreviewText, TextIsValidUtf8WithoutControlCharacters) {
    EXPECT_TRUE(CKivPreviewText::LooksLikeText(""));
    EXPECT_TRUE(CKivPreviewText::LooksLikeText("line one\r\nline\ttwo\f\n"));
    EXPECT_TRUE(CKivPreviewText::LooksLikeText("Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac"));
    // A character cut by the end of the sample is still text; cut in the middle it is not.
    EXPECT_TRUE(CKivPreviewText::LooksLikeText("price \xe2\x82"));
    EXPECT_FALSE(CKivPreviewText::LooksLikeText("price \xe2\x82 more"));
    EXPECT_FALSE(CKivPreviewText::LooksLikeText(std::string("PK\x03\x04", 4)));
    EXPECT_FALSE(CKivPreviewText::LooksLikeText(std::string("abc\0def", 7)));
    EXPECT_FALSE(CKivPreviewText::LooksLikeText("\xff\xd8\xff\xe0"));
    EXPECT_FALSE(CKivPreviewText::LooksLikeText("\xc0\xaf"));          // overlong '/'
    EXPECT_FALSE(CKivPreviewText::LooksLikeText("\xed\xa0\x80"));      // a surrogate
}

TEST(PreviewText, HexDumpLinesShowOffsetBytesAndPrintables) {
    std::string bytes = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\x0a" "12";
    EXPECT_EQ(CKivPreviewText::HexDump(bytes),
              "00000000  25 50 44 46 2d 31 2e 34  0a 25 e2 e3 cf d3 0a 31  %PDF-1.4.%.....1\n"
              "00000010  32                                                2\n");
    EXPECT_EQ(CKivPreviewText::HexDump(""), "");
}
