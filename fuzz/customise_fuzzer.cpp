// Coverage-guided fuzzing of the whole pass in memory: bytes and an
// installation directory in, the customised copy out. It checks properties of
// the output rather than a second copy of the rules.
//
// Input layout: byte 0 = length of the installation directory (mod 64),
// byte 1 = read size hint, then the directory, then the deltareg bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "customise.h"
#include "memory_io.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string run(std::string_view input, std::string_view corvane_dir, std::size_t chunk) {
    LengthTexts texts;
    make_length_texts(corvane_dir, texts);
    MemorySource source(input, chunk);
    MemorySink sink;
    check(customise(source, sink, texts) == PassResult::Done);
    return sink.bytes;
}

bool has_marker(std::string_view text) {
    // "ImagePath=2=" holds "Path=2=".
    return text.find("Path=2=") != std::string_view::npos || text.find("QTRCFG=2=") != std::string_view::npos;
}

// The input as the text conventions alone would copy it: cut at the first
// Ctrl-Z, every LF not already after a CR preceded by one.
std::string copied(std::string_view input) {
    input = input.substr(0, input.find('\x1A'));
    std::string out;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\n' && (i == 0 || input[i - 1] != '\r')) {
            out += '\r';
        }
        out += input[i];
    }
    return out;
}

struct Line {
    std::string_view text;  // without its line end
    bool ended;
};

// Splits `text` at each `end`; the last line may have none.
std::vector<Line> split(std::string_view text, std::string_view end) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t at = text.find(end);
        if (at == std::string_view::npos) {
            lines.push_back({text, false});
            break;
        }
        lines.push_back({text.substr(0, at), true});
        text.remove_prefix(at + end.size());
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t dir_length = std::min<std::size_t>(data[0] % 64, size - 2);
    const std::size_t chunk = 1 + data[1] % 16;
    const std::string_view corvane_dir = bytes.substr(2, dir_length);
    const std::string_view input = bytes.substr(2 + dir_length);

    const std::string output = run(input, corvane_dir, BLOCK_SIZE);
    // How the bytes arrive must not matter.
    check(run(input, corvane_dir, chunk) == output);

    // Nothing past the first Ctrl-Z counts.
    const std::size_t stop = input.find('\x1A');
    check(output.find('\x1A') == std::string::npos);
    if (stop != std::string_view::npos) {
        check(run(input.substr(0, stop), corvane_dir, BLOCK_SIZE) == output);
    }

    for (std::size_t i = 0; i < output.size(); ++i) {
        check(output[i] != '\n' || (i > 0 && output[i - 1] == '\r'));
    }

    const std::string_view kept = input.substr(0, stop);
    if (!has_marker(kept)) {
        check(output == copied(input));
        return 0;
    }

    const std::size_t length = corvane_dir.size();
    const std::string replacements[] = {
        "Path=2=" + std::to_string(length + 6),
        "QTRCFG=2=" + std::to_string(length + 1),
        "ImagePath=2=" + std::to_string(2 * length + 21),
    };
    const auto is_replacement = [&](std::string_view line) {
        return line == replacements[0] || line == replacements[1] || line == replacements[2];
    };

    // A line short enough to be one piece either holds no marker or is a
    // replacement line with the right number.
    const std::vector<Line> out_lines = split(output, "\r\n");
    for (const Line& line : out_lines) {
        if (line.text.size() <= 498 && has_marker(line.text)) {
            check(line.ended && is_replacement(line.text));
        }
    }

    // When every input line is one piece, lines map one to one: a line with a
    // marker becomes a replacement for a marker it holds, any other is kept.
    std::vector<Line> in_lines = split(kept, "\n");
    for (Line& line : in_lines) {
        if (line.ended && !line.text.empty() && line.text.back() == '\r') {
            line.text.remove_suffix(1);
        }
        if (line.text.size() > 498) {
            return 0;
        }
    }
    check(in_lines.size() == out_lines.size());
    for (std::size_t i = 0; i < in_lines.size(); ++i) {
        const Line& in = in_lines[i];
        const Line& out = out_lines[i];
        if (!has_marker(in.text)) {
            check(out.text == in.text && out.ended == in.ended);
            continue;
        }
        check(out.ended && is_replacement(out.text));
        const std::string_view marker = out.text.substr(0, out.text.find('=') + 3);
        check(in.text.find(marker) != std::string_view::npos);
    }
    return 0;
}
