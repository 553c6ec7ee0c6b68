#include "text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_io.h"

namespace {

using namespace std::string_literals;

constexpr std::size_t PIECE_LIMIT = 499;

struct Pieces {
    std::vector<std::string> pieces;
    ReadStatus last;
};

Pieces read_pieces(ByteSource& source) {
    PieceReader reader(source, PIECE_LIMIT);
    Pieces result;
    std::string_view piece;
    while ((result.last = reader.next(piece)) == ReadStatus::Piece) {
        result.pieces.emplace_back(piece);
    }
    return result;
}

struct PieceCase {
    const char* name;
    std::string input;
    std::vector<std::string> pieces;
};

TEST(PieceReader, TranslatesLineEndsAndCutsPieces) {
    const std::string x498(498, 'x');
    const std::string x499(499, 'x');
    const std::string x600(600, 'x');
    const PieceCase cases[] = {
        {"empty input", "", {}},
        {"CR LF is one line end", "a\r\nbc\r\n", {"a\n", "bc\n"}},
        {"LF alone is a line end", "a\nb\n", {"a\n", "b\n"}},
        {"lone CR is an ordinary character", "a\rb\r\n", {"a\rb\n"}},
        {"CR CR LF keeps the first CR", "a\r\r\n", {"a\r\n"}},
        {"CR at the very end", "a\r", {"a\r"}},
        {"CR before Ctrl-Z", "a\r\x1A\n", {"a\r"}},
        {"last line without line end", "a\r\nlast", {"a\n", "last"}},
        {"Ctrl-Z ends the input", "a\r\nb\032c\r\nd\r\n", {"a\n", "b"}},
        {"Ctrl-Z first", "\032abc\r\n", {}},
        {"zero bytes are characters", "a\0b\r\n\0\r\n"s, {"a\0b\n"s, "\0\n"s}},
        {"empty lines", "\r\n\n\r\n", {"\n", "\n", "\n"}},
        {"498 characters and CR LF fit one piece", x498 + "\r\n", {x498 + "\n"}},
        {"499 characters and CR LF", x499 + "\r\n", {x499, "\n"}},
        {"499 characters and LF", x499 + "\n", {x499, "\n"}},
        {"600 characters", x600 + "\r\ny\r\n", {x499, std::string(101, 'x') + "\n", "y\n"}},
        {"498 characters, CR, CR LF", x498 + "\r\r\n", {x498 + "\r", "\n"}},
        {"exactly 499 characters at the end", x499, {x499}},
    };
    // Small reads make every piece straddle a refill of the reader's block.
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
        for (const auto& row : cases) {
            SCOPED_TRACE(std::string(row.name) + ", reads of " + std::to_string(chunk));
            MemorySource source(row.input, chunk);
            const Pieces result = read_pieces(source);
            EXPECT_EQ(result.last, ReadStatus::End);
            EXPECT_EQ(result.pieces, row.pieces);
        }
    }
}

TEST(PieceReader, CutsLongInputsAcrossManyBlocks) {
    std::string input;
    std::vector<std::string> expected;
    for (int i = 0; input.size() < 3 * BLOCK_SIZE; ++i) {
        const std::string line(static_cast<std::size_t>(i * 37 % 1100), static_cast<char>('a' + i % 26));
        input += line + (i % 3 == 0 ? "\n" : "\r\n");
        std::string_view rest = line;
        while (rest.size() >= PIECE_LIMIT) {
            expected.emplace_back(rest.substr(0, PIECE_LIMIT));
            rest.remove_prefix(PIECE_LIMIT);
        }
        expected.push_back(std::string(rest) + "\n");
    }
    MemorySource source(input, 65521);
    const Pieces result = read_pieces(source);
    EXPECT_EQ(result.last, ReadStatus::End);
    EXPECT_EQ(result.pieces, expected);
}

TEST(PieceReader, ReportsAReadFailureRatherThanAnEnd) {
    std::string input;
    for (int i = 0; i < 1000; ++i) {
        input += "line\r\n";
    }
    MemorySource source(input, 1000, 3000);
    const Pieces result = read_pieces(source);
    EXPECT_EQ(result.last, ReadStatus::Failed);
    EXPECT_LT(result.pieces.size(), 500U);
    for (const auto& piece : result.pieces) {
        EXPECT_EQ(piece, "line\n");
    }
}

TEST(PieceReader, TakesPlainLinesUpToAnLfAloneOrTheAvoidedText) {
    const std::string x40(40, 'x');
    const struct {
        const char* name;
        std::string buffered;
        std::string run;
    } cases[] = {
        {"stops at an LF alone", "a\r\nb\r\nc\nd\r\n", "a\r\nb\r\n"},
        {"stops before the line holding the text", "a\r\nb=2=\r\nc\r\n", "a\r\n"},
        {"empty lines", "\r\n\r\n\n", "\r\n\r\n"},
        {"empty line with LF alone first", "\nb\r\n", ""},
        {"no whole line", "abc", ""},
        {"partial line after whole ones", "a\r\nbc", "a\r\n"},
        {"lone CR inside a line", "a\rb\r\n", "a\rb\r\n"},
        {"near misses of the text", "=2\r\n2=\r\n= 2=\r\n=2", "=2\r\n2=\r\n= 2=\r\n"},
        {"long lines, text late", x40 + "\r\n" + x40 + "\r\n" + x40 + "=2=\r\n", x40 + "\r\n" + x40 + "\r\n"},
        {"long lines, LF alone late", x40 + "\r\n" + x40 + "\n", x40 + "\r\n"},
        {"over-long line without the text", std::string(1200, 'y') + "\r\n", std::string(1200, 'y') + "\r\n"},
        {"LF alone with lines after it", x40 + "\r\nc\n" + x40 + "\r\n", x40 + "\r\n"},
        {"text with lines after it", x40 + "\r\na=2=b\r\n" + x40 + "\r\n", x40 + "\r\n"},
        {"LF alone right after a CR LF", x40 + "\r\n\n" + x40 + "\r\n", x40 + "\r\n"},
    };
    for (const auto& row : cases) {
        // A plain line in front puts the same bytes at every offset within a
        // sixteen-byte chunk.
        for (std::size_t shift = 0; shift < 17; ++shift) {
            SCOPED_TRACE(std::string(row.name) + ", shifted by " + std::to_string(shift));
            const std::string lead = std::string(shift, 'p') + "\r\n";
            const std::string input = "first\r\n" + lead + row.buffered;
            MemorySource source(input);
            PieceReader reader(source, PIECE_LIMIT);
            std::string_view piece;
            ASSERT_EQ(reader.next(piece), ReadStatus::Piece);  // fills the block
            EXPECT_EQ(reader.take_plain_lines("=2="), lead + row.run);
            // Reading goes on right after the run.
            std::string rest;
            while (reader.next(piece) == ReadStatus::Piece) {
                rest += piece;
            }
            MemorySource after(std::string_view(row.buffered).substr(row.run.size()));
            std::string expected;
            for (const auto& each : read_pieces(after).pieces) {
                expected += each;
            }
            EXPECT_EQ(rest, expected);
        }
    }
}

TEST(TextWriter, WritesEveryLineEndAsCrLf) {
    MemorySink sink;
    TextWriter writer(sink);
    for (const char* text : {"a\n", "b\rc\n", "", "\n", "no end"}) {
        ASSERT_TRUE(writer.put(text));
    }
    ASSERT_TRUE(writer.put("\0z\n"s));
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(sink.bytes, "a\r\nb\rc\r\n\r\nno end\0z\r\n"s);
}

TEST(TextWriter, KeepsOrderAcrossBlocksAndReportsASinkFailure) {
    const std::string line(1000, 'q');
    std::string expected;
    MemorySink sink;
    TextWriter writer(sink);
    for (int i = 0; i < 400; ++i) {
        ASSERT_TRUE(writer.put(line + "\n"));
        expected += line + "\r\n";
    }
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(sink.bytes, expected);

    MemorySink small(BLOCK_SIZE);
    TextWriter failing(small);
    bool ok = true;
    for (int i = 0; i < 400 && ok; ++i) {
        ok = failing.put(line + "\n");
    }
    EXPECT_FALSE(ok && failing.flush());
    EXPECT_FALSE(failing.flush());
}

}  // namespace
