#include "text_file.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Where the first byte stands that a plain run must not reach: an LF not
// after a CR, or the start of `avoid` (three bytes or more). This is the hot
// loop of a whole pass, so where the processor allows it tests sixteen
// positions at a time, and ordinary lines cost no branch at all.
std::size_t first_stop(std::string_view text, std::string_view avoid) {
    const auto stops_at = [&](std::size_t at) {
        if (text[at] == '\n') {
            return at == 0 || text[at - 1] != '\r';
        }
        return text[at] == avoid[0] && text.substr(at, avoid.size()) == avoid;
    };
    std::size_t at = 0;
#ifdef __SSE2__
    if (text.size() >= 18) {
        if (stops_at(0)) {
            return 0;
        }
        const auto load = [&](std::size_t from) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        };
        const auto equal = [](__m128i bytes, char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
        for (at = 1; at + 18 <= text.size(); at += 16) {
            const __m128i here = load(at);
            const __m128i lone_lf = _mm_andnot_si128(equal(load(at - 1), '\r'), equal(here, '\n'));
            const __m128i avoided =
                _mm_and_si128(equal(here, avoid[0]),
                              _mm_and_si128(equal(load(at + 1), avoid[1]), equal(load(at + 2), avoid[2])));
            for (auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(lone_lf, avoided)));
                 hits != 0; hits &= hits - 1) {
                const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(hits));
                if (stops_at(candidate)) {
                    return candidate;
                }
            }
        }
    }
#endif
    for (; at < text.size(); ++at) {
        if (stops_at(at)) {
            return at;
        }
    }
    return std::string_view::npos;
}

// Length of the longest run of whole lines at the start of `text` that end in
// CR LF and hold no `avoid`.
std::size_t plain_prefix(std::string_view text, std::string_view avoid) {
    const std::size_t stop = first_stop(text, avoid);
    if (stop == 0) {
        return 0;
    }
    const std::size_t last_lf = text.rfind('\n', stop == std::string_view::npos ? stop : stop - 1);
    return last_lf == std::string_view::npos ? 0 : last_lf + 1;
}

}  // namespace

PieceReader::PieceReader(ByteSource& source, std::size_t piece_limit)
    : source_(source), piece_limit_(std::clamp<std::size_t>(piece_limit, 1, BLOCK_SIZE / 2)) {}

bool PieceReader::fill(std::size_t wanted) {
    if (end_ - begin_ >= wanted || source_ended_ || failed_) {
        return !failed_;
    }
    if (block_.size() - begin_ < wanted) {
        std::memmove(block_.data(), block_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    while (end_ - begin_ < wanted && !source_ended_) {
        char* fresh = block_.data() + end_;
        const std::ptrdiff_t got = source_.read_some(fresh, block_.size() - end_);
        if (got < 0) {
            failed_ = true;
            return false;
        }
        if (got == 0) {
            source_ended_ = true;
            break;
        }
        // Nothing after a Ctrl-Z is ever looked at.
        const void* stop = std::memchr(fresh, END_OF_INPUT, static_cast<std::size_t>(got));
        if (stop != nullptr) {
            end_ = static_cast<std::size_t>(static_cast<const char*>(stop) - block_.data());
            source_ended_ = true;
        } else {
            end_ += static_cast<std::size_t>(got);
        }
    }
    return true;
}

ReadStatus PieceReader::next(std::string_view& piece) {
    // One byte past the longest piece tells whether its last CR starts a CR LF.
    if (!fill(piece_limit_ + 1)) {
        return ReadStatus::Failed;
    }
    const std::size_t available = end_ - begin_;
    if (available == 0) {
        return ReadStatus::End;
    }
    char* start = block_.data() + begin_;
    const std::size_t window = std::min(available, piece_limit_ + 1);
    const void* found = std::memchr(start, '\n', window);

    std::size_t taken = std::min(available, piece_limit_);  // bytes consumed from the input
    std::size_t length = taken;                             // characters in the piece
    if (found != nullptr) {
        const auto lf = static_cast<std::size_t>(static_cast<const char*>(found) - start);
        const bool crlf = lf > 0 && start[lf - 1] == '\r';
        const std::size_t characters = crlf ? lf : lf + 1;
        if (characters <= piece_limit_) {
            taken = lf + 1;
            length = characters;
            if (crlf) {
                start[lf - 1] = '\n';
            }
        }
    }
    begin_ += taken;
    piece = std::string_view(start, length);
    return ReadStatus::Piece;
}

std::string_view PieceReader::take_plain_lines(std::string_view avoid) {
    const std::string_view unread(block_.data() + begin_, end_ - begin_);
    const std::size_t taken = plain_prefix(unread, avoid);
    begin_ += taken;
    return unread.substr(0, taken);
}

void TextWriter::append(const char* data, std::size_t size) {
    while (size > 0 && !failed_) {
        if (size_ == block_.size()) {
            (void)flush();
            continue;
        }
        const std::size_t part = std::min(size, block_.size() - size_);
        std::memcpy(block_.data() + size_, data, part);
        size_ += part;
        data += part;
        size -= part;
    }
}

bool TextWriter::put(std::string_view text) {
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos) {
            append(text.data(), text.size());
            break;
        }
        append(text.data(), lf);
        append("\r\n", 2);
        text.remove_prefix(lf + 1);
    }
    return !failed_;
}

bool TextWriter::put_bytes(std::string_view bytes) {
    append(bytes.data(), bytes.size());
    return !failed_;
}

bool TextWriter::flush() {
    if (!failed_ && size_ > 0) {
        failed_ = !sink_.write_all(block_.data(), size_);
        size_ = 0;
    }
    return !failed_;
}
