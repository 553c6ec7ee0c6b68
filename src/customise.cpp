#include "customise.h"

#include <array>
#include <cstdio>

#include "os_file.h"

namespace {

constexpr int TEMPORARY_NAME_ATTEMPTS = 100;

// A path built from the arguments; the limits checked at entry keep it in bounds.
template <std::size_t Size>
bool format_path(std::array<char, Size>& path, std::string_view dir, const char* name,
                 const char* suffix = "") {
    const int written = std::snprintf(path.data(), path.size(), "%.*s%c%s%s", static_cast<int>(dir.size()),
                                      dir.data(), PATH_SEPARATOR, name, suffix);
    return written >= 0 && static_cast<std::size_t>(written) < path.size();
}

// The temporary copy is removed unless it was moved into place.
struct TemporaryPath {
    std::array<char, BUFFER_SIZE + 32> path{};
    bool created = false;
    bool kept = false;

    TemporaryPath() = default;
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;
    ~TemporaryPath() {
        if (created && !kept) {
            remove_file(path.data());
        }
    }
};

File create_temporary(std::string_view deltareg_dir, TemporaryPath& temporary) {
    const unsigned long id = process_id();
    for (int attempt = 0; attempt < TEMPORARY_NAME_ATTEMPTS; ++attempt) {
        std::array<char, 32> suffix{};
        std::snprintf(suffix.data(), suffix.size(), ".%lu-%d.tmp", id, attempt);
        if (!format_path(temporary.path, deltareg_dir, "deltareg.cus", suffix.data())) {
            break;
        }
        File file = File::create_new(temporary.path.data());
        if (file.is_open() || !file.existed()) {
            temporary.created = file.is_open();
            return file;
        }
    }
    return File{};
}

}  // namespace

PassResult customise(ByteSource& input, ByteSink& output, const LengthTexts& texts) {
    PieceReader reader(input, BUFFER_SIZE - 1);
    TextWriter writer(output);
    Text replacement;
    std::string_view piece;
    ReadStatus status = ReadStatus::End;
    for (;;) {
        // Most lines hold no marker and already end in CR LF: they go out in
        // runs, as they came in.
        if (!writer.put_bytes(reader.take_plain_lines(MARKER_TAIL))) {
            return PassResult::WriteFailed;
        }
        if ((status = reader.next(piece)) != ReadStatus::Piece) {
            break;
        }
        const bool replace = rewrite_line(piece, texts, replacement) == LineAction::Replace;
        if (!writer.put(replace ? replacement.view() : piece)) {
            return PassResult::WriteFailed;
        }
    }
    if (status == ReadStatus::Failed) {
        return PassResult::ReadFailed;
    }
    return writer.flush() ? PassResult::Done : PassResult::WriteFailed;
}

bool write_customised_copy(std::string_view deltareg_dir, std::string_view corvane_dir) {
    std::array<char, BUFFER_SIZE> deltareg_path{};
    std::array<char, BUFFER_SIZE> cus_path{};
    if (!format_path(deltareg_path, deltareg_dir, "deltareg") ||
        !format_path(cus_path, deltareg_dir, "deltareg.cus")) {
        return false;
    }
    LengthTexts texts;
    make_length_texts(corvane_dir, texts);

    // Opened for update, as the tool always has: a read-only deltareg is refused.
    File input = File::open_for_update(deltareg_path.data());
    if (!input.is_open()) {
        return false;
    }
    // The copy about to be replaced: its cached pages are of no more use, and
    // handing them back first lets the new copy reuse them instead of
    // claiming as much memory again.
    forget_cached(cus_path.data());
    TemporaryPath temporary;
    File output = create_temporary(deltareg_dir, temporary);
    if (!output.is_open()) {
        return false;
    }
    const PassResult result = customise(input, output, texts);
    if (!output.close() || result != PassResult::Done) {
        return false;
    }
    temporary.kept = replace_file(temporary.path.data(), cus_path.data());
    return temporary.kept;
}
