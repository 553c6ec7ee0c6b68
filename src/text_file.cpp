#include "text_file.h"

#include <algorithm>
#include <cstring>

PieceReader::PieceReader(ByteSource& source, std::size_t piece_limit)
    : source_(source), piece_limit_(std::clamp<std::size_t>(piece_limit, 1, BLOCK_SIZE / 2)) {}

bool PieceReader::fill(std::size_t wanted) {
    if (end_ - begin_ >= wanted || source_ended_) {
        return true;
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

void TextWriter::append(const char* data, std::size_t size) {
    while (size > 0 && !failed_) {
        if (size_ == block_.size()) {
            failed_ = !sink_.write_all(block_.data(), size_);
            size_ = 0;
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

bool TextWriter::flush() {
    if (!failed_ && size_ > 0) {
        failed_ = !sink_.write_all(block_.data(), size_);
        size_ = 0;
    }
    return !failed_;
}
