// Recognising length lines and building the lines that replace them.
// Pure functions: no I/O, no state kept between calls.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// Every text the program holds fits in this many bytes, a terminating zero
// included: a line piece, a path, a length text, a replacement line.
inline constexpr std::size_t BUFFER_SIZE = 500;

// A text of at most BUFFER_SIZE - 1 bytes held in place, with its length.
struct Text {
    std::array<char, BUFFER_SIZE> bytes{};
    std::size_t size = 0;

    [[nodiscard]] std::string_view view() const { return {bytes.data(), size}; }
};

// The three decimal numbers written after the markers, computed once per run.
struct LengthTexts {
    Text path_length;
    Text cfg_length;
    Text image_path_length;
};

// Every marker ends with this, and almost no ordinary line holds it: a text
// without it holds no marker.
inline constexpr std::string_view MARKER_TAIL = "=2=";

enum class LineAction { Copy, Replace };

// Fills `texts` from the byte length of `corvane_dir`, taken as it stands.
void make_length_texts(std::string_view corvane_dir, LengthTexts& texts);

// Decides what becomes of one line `piece`: Copy it as it is, or Replace it
// with the marker, its length text from `texts` and a line end, written to
// `replacement`.
[[nodiscard]] LineAction rewrite_line(std::string_view piece, const LengthTexts& texts, Text& replacement);
