#include "length_rules.h"

#include <charconv>
#include <cstring>

namespace {

constexpr std::string_view PATH_MARKER = "Path=2=";
constexpr std::string_view CFG_MARKER = "QTRCFG=2=";
constexpr std::string_view IMAGE_PATH_MARKER = "ImagePath=2=";

bool contains(std::string_view piece, std::string_view marker) {
    return piece.find(marker) != std::string_view::npos;
}

void write_number(std::size_t value, Text& text) {
    // The values stay far below the buffer's size, so this cannot fail.
    auto result = std::to_chars(text.bytes.data(), text.bytes.data() + text.bytes.size() - 1, value);
    text.size = static_cast<std::size_t>(result.ptr - text.bytes.data());
    text.bytes[text.size] = '\0';
}

void append(Text& text, std::string_view part) {
    std::memcpy(text.bytes.data() + text.size, part.data(), part.size());
    text.size += part.size();
    text.bytes[text.size] = '\0';
}

LineAction replace_with(std::string_view marker, const Text& length_text, Text& replacement) {
    replacement.size = 0;
    append(replacement, marker);
    append(replacement, length_text.view());
    append(replacement, "\n");
    return LineAction::Replace;
}

}  // namespace

void make_length_texts(std::string_view corvane_dir, LengthTexts& texts) {
    const std::size_t length = corvane_dir.size();
    write_number(length + 6, texts.path_length);
    write_number(length + 1, texts.cfg_length);
    write_number(2 * length + 21, texts.image_path_length);
}

LineAction rewrite_line(std::string_view piece, const LengthTexts& texts, Text& replacement) {
    if (!contains(piece, MARKER_TAIL)) {
        return LineAction::Copy;
    }
    // The order matters: "ImagePath=2=" holds "Path=2=", and a line that holds
    // both a QTRCFG and an ImagePath marker is a QTRCFG line.
    const bool image_path = contains(piece, IMAGE_PATH_MARKER);
    if (!image_path && contains(piece, PATH_MARKER)) {
        return replace_with(PATH_MARKER, texts.path_length, replacement);
    }
    if (contains(piece, CFG_MARKER)) {
        return replace_with(CFG_MARKER, texts.cfg_length, replacement);
    }
    if (image_path) {
        return replace_with(IMAGE_PATH_MARKER, texts.image_path_length, replacement);
    }
    return LineAction::Copy;
}
