#include "customise.h"

#include <gtest/gtest.h>

#include <string>

#include "memory_io.h"

namespace {

using namespace std::string_literals;

std::string run_pass(const std::string& input, PassResult expected = PassResult::Done) {
    LengthTexts texts;
    make_length_texts("D:\\APPS\\CV", texts);
    MemorySource source(input);
    MemorySink sink;
    EXPECT_EQ(customise(source, sink, texts), expected);
    return sink.bytes;
}

TEST(Customise, RewritesLengthLinesAndCopiesTheRest) {
    const std::string x600(600, 'x');
    const std::string x499(499, 'x');
    struct {
        const char* name;
        std::string input;
        std::string output;
    } cases[] = {
        {"registry lines", "[HKEY_X]\r\n\"A\"=\"b\"\r\nPath=2=27\r\n  QTRCFG=2=99 more\r\nImagePath=2=53\r\n",
         "[HKEY_X]\r\n\"A\"=\"b\"\r\nPath=2=16\r\nQTRCFG=2=11\r\nImagePath=2=41\r\n"},
        {"LF line ends become CR LF", "a\nPath=2=1\n", "a\r\nPath=2=16\r\n"},
        {"lone CR kept", "a\rb\r\r\n", "a\rb\r\r\n"},
        {"last line without line end copied as it is", "a\r\nend", "a\r\nend"},
        {"last length line gains a line end", "a\r\nPath=2=3", "a\r\nPath=2=16\r\n"},
        {"Ctrl-Z cuts the rest", "a\r\nb\x1APath=2=1\r\n", "a\r\nb"},
        {"zero bytes copied, marker after one found", "a\0b\r\nc\0Path=2=1\r\n"s, "a\0b\r\nPath=2=16\r\n"s},
        {"long line reproduced whole", x600 + "\r\n", x600 + "\r\n"},
        {"marker in the second piece joins the first", x499 + "LibPath=2=9\r\nz\r\n",
         x499 + "Path=2=16\r\nz\r\n"},
        {"marker straddling the cut is not found", std::string(495, 'x') + "Path=2=1\r\n",
         std::string(495, 'x') + "Path=2=1\r\n"},
        {"empty input", "", ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(run_pass(row.input), row.output);
    }
}

TEST(Customise, ReportsReadAndWriteFailures) {
    std::string input;
    for (int i = 0; i < 100000; ++i) {
        input += i % 40 == 0 ? "ImagePath=2=1\r\n" : "\"Value\"=\"something\"\r\n";
    }
    LengthTexts texts;
    make_length_texts("C:\\corvane", texts);

    MemorySource failing_source(input, 4096, input.size() / 2);
    MemorySink sink;
    EXPECT_EQ(customise(failing_source, sink, texts), PassResult::ReadFailed);

    MemorySource source(input);
    MemorySink small_sink(input.size() / 2);
    EXPECT_EQ(customise(source, small_sink, texts), PassResult::WriteFailed);

    // The last block goes out only when the pass flushes.
    MemorySource whole(input);
    MemorySink unlimited;
    ASSERT_EQ(customise(whole, unlimited, texts), PassResult::Done);
    MemorySource again(input);
    MemorySink one_byte_short(unlimited.bytes.size() - 1);
    EXPECT_EQ(customise(again, one_byte_short, texts), PassResult::WriteFailed);
}

}  // namespace
