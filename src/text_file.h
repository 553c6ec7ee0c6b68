// The on-disk text conventions, provided by the program itself over
// untranslated bytes so that every platform behaves the same:
// - on reading, CR LF is one line end (LF), an LF alone is a line end, a CR
//   not followed by LF is an ordinary character, and Ctrl-Z ends the input;
// - on writing, every line end goes out as CR LF.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// Where the reader's bytes come from: a file, or memory in tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads at most `size` bytes into `buffer`: returns how many, 0 at the end
    // of the input, or -1 when the read failed.
    [[nodiscard]] virtual std::ptrdiff_t read_some(char* buffer, std::size_t size) = 0;
};

// Where the writer's bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all `size` bytes of `data`; false when the write failed.
    [[nodiscard]] virtual bool write_all(const char* data, std::size_t size) = 0;
};

inline constexpr char END_OF_INPUT = '\x1A';
inline constexpr std::size_t BLOCK_SIZE = std::size_t{128} * 1024;

enum class ReadStatus { Piece, End, Failed };

// Cuts the input into pieces: each piece is the text up to and including the
// first line end, or `piece_limit` characters of it, or what is left before
// the end of the input, whichever is shortest. A CR LF counts as one character.
class PieceReader {
public:
    PieceReader(ByteSource& source, std::size_t piece_limit);

    // On Piece, `piece` views the next piece, valid until the next call.
    [[nodiscard]] ReadStatus next(std::string_view& piece);

    // Takes the longest run of whole lines already buffered that a TextWriter
    // reproduces byte for byte and that holds no `avoid` (three bytes or
    // more): each line ends in CR LF on disk. Cutting such lines into pieces
    // changes nothing, so a caller that would copy every piece of them may
    // copy the run instead.
    // Valid until the next call; empty when no such line is buffered.
    [[nodiscard]] std::string_view take_plain_lines(std::string_view avoid);

private:
    [[nodiscard]] bool fill(std::size_t wanted);

    ByteSource& source_;
    std::size_t piece_limit_;
    std::array<char, BLOCK_SIZE> block_;  // bytes [begin_, end_) are unread
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool source_ended_ = false;
    bool failed_ = false;  // a read failed: no further read is tried
};

// Writes text through one block buffer, each LF going out as CR LF.
class TextWriter {
public:
    explicit TextWriter(ByteSink& sink) : sink_(sink) {}

    // All three return false once any write has failed.
    [[nodiscard]] bool put(std::string_view text);
    // Writes `bytes` as they are, line ends included.
    [[nodiscard]] bool put_bytes(std::string_view bytes);
    [[nodiscard]] bool flush();

private:
    void append(const char* data, std::size_t size);

    ByteSink& sink_;
    std::array<char, BLOCK_SIZE> block_;  // bytes [0, size_) wait to be written
    std::size_t size_ = 0;
    bool failed_ = false;
};
