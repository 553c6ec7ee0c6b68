// In-memory byte sources and sinks for driving the text layer and the pass
// without files, with failures injected where a test asks for them.
#pragma once

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "text_file.h"

// Hands out `bytes` at most `chunk` at a time, then fails once `fail_at`
// bytes have been handed out.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes, std::size_t chunk = std::numeric_limits<std::size_t>::max(),
                          std::size_t fail_at = std::numeric_limits<std::size_t>::max())
        : bytes_(bytes), chunk_(chunk), fail_at_(fail_at) {}

    std::ptrdiff_t read_some(char* buffer, std::size_t size) override {
        if (offset_ >= fail_at_) {
            return -1;
        }
        const std::size_t count = std::min({size, chunk_, bytes_.size() - offset_, fail_at_ - offset_});
        std::memcpy(buffer, bytes_.data() + offset_, count);
        offset_ += count;
        return static_cast<std::ptrdiff_t>(count);
    }

private:
    std::string_view bytes_;
    std::size_t chunk_;
    std::size_t fail_at_;
    std::size_t offset_ = 0;
};

// Collects what is written; refuses any write that would pass `capacity`.
class MemorySink : public ByteSink {
public:
    explicit MemorySink(std::size_t capacity = std::numeric_limits<std::size_t>::max())
        : capacity_(capacity) {}

    bool write_all(const char* data, std::size_t size) override {
        if (size > capacity_ - bytes.size()) {
            return false;
        }
        bytes.append(data, size);
        return true;
    }

    std::string bytes;

private:
    std::size_t capacity_;
};
