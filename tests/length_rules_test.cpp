#include "length_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LengthCase {
    const char* name;
    std::string corvane_dir;
    const char* path_length;
    const char* cfg_length;
    const char* image_path_length;
};

TEST(MakeLengthTexts, CountsEveryByteOfTheDirectory) {
    const LengthCase cases[] = {
        {"ten characters", "D:\\APPS\\CV", "16", "11", "41"},
        {"empty", "", "6", "1", "21"},
        {"trailing backslash counts", "D:\\APPS\\CV\\", "17", "12", "43"},
        {"blanks are not trimmed", " C:\\A B ", "14", "9", "37"},
        {"longest accepted", std::string(499, 'x'), "505", "500", "1019"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        LengthTexts texts;
        make_length_texts(row.corvane_dir, texts);
        EXPECT_EQ(texts.path_length.view(), row.path_length);
        EXPECT_EQ(texts.cfg_length.view(), row.cfg_length);
        EXPECT_EQ(texts.image_path_length.view(), row.image_path_length);
    }
}

struct RewriteCase {
    const char* name;
    std::string piece;
    const char* replacement;  // nullptr: the piece is copied
};

TEST(RewriteLine, AppliesTheFirstMatchingRule) {
    using namespace std::string_literals;
    const RewriteCase cases[] = {
        {"path line", "Path=2=27\n", "Path=2=16\n"},
        {"cfg line with text around it", "  QTRCFG=2=99 and more text\n", "QTRCFG=2=11\n"},
        {"image path line", "ImagePath=2=53\n", "ImagePath=2=41\n"},
        {"other text ending in the path marker", "LibPath=2=8\n", "Path=2=16\n"},
        {"marker case matters", "PATH=2=27\n", nullptr},
        {"other digit", "Path=1=27\n", nullptr},
        {"ordinary value line", "\"Name\"=\"Value=2\"\n", nullptr},
        {"marker tail alone", "x=2=y\n", nullptr},
        {"path and cfg: path rule first", "Path=2=1 QTRCFG=2=2\n", "Path=2=16\n"},
        {"image path and cfg: cfg rule before image path", "ImagePath=2=1 QTRCFG=2=2\n", "QTRCFG=2=11\n"},
        {"image path and path elsewhere", "Path=2=1 ImagePath=2=2\n", "ImagePath=2=41\n"},
        {"marker at the very end", "xxPath=2=", "Path=2=16\n"},
        {"no line end still gets one", "QTRCFG=2=5", "QTRCFG=2=11\n"},
        {"marker after a zero byte", "a\0b ImagePath=2=9\n"s, "ImagePath=2=41\n"},
        {"zero byte inside a marker", "Path=\0=2=\n"s, nullptr},
        {"empty piece", "", nullptr},
    };
    LengthTexts texts;
    make_length_texts("D:\\APPS\\CV", texts);
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        Text replacement;
        const LineAction action = rewrite_line(row.piece, texts, replacement);
        if (row.replacement == nullptr) {
            EXPECT_EQ(action, LineAction::Copy);
        } else {
            ASSERT_EQ(action, LineAction::Replace);
            EXPECT_EQ(replacement.view(), row.replacement);
        }
    }
}

}  // namespace
