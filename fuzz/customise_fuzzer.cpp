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

    // A line short enough to be one piece either holds no marker or is a
    // replacement line with the right number.
    const std::size_t length = corvane_dir.size();
    const std::string replacements[] = {
        "Path=2=" + std::to_string(length + 6) + "\r\n",
        "QTRCFG=2=" + std::to_string(length + 1) + "\r\n",
        "ImagePath=2=" + std::to_string(2 * length + 21) + "\r\n",
    };
    std::string_view rest = output;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::size_t line_size = end == std::string_view::npos ? rest.size() : end + 2;
        const std::string_view line = rest.substr(0, line_size);
        rest.remove_prefix(line_size);
        if (line.size() <= 498 + 2 && has_marker(line)) {
            check(line == replacements[0] || line == replacements[1] || line == replacements[2]);
        }
    }
    return 0;
}
