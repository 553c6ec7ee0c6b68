// The program's only contact with the file system: untranslated file
// descriptors that close themselves, and whole-file operations.
#pragma once

#include <cstddef>

#include "text_file.h"

// Joins a directory and a file name.
#ifdef _WIN32
inline constexpr char PATH_SEPARATOR = '\\';
#else
inline constexpr char PATH_SEPARATOR = '/';
#endif

class File : public ByteSource, public ByteSink {
public:
    // Opens an existing file for reading and update; it is never created.
    [[nodiscard]] static File open_for_update(const char* path);
    // Creates a file that must not exist yet, for writing, with the
    // permissions a plain creation gives.
    [[nodiscard]] static File create_new(const char* path);

    File() = default;  // not open
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    File& operator=(File&&) = delete;
    ~File() override;

    [[nodiscard]] bool is_open() const { return fd_ >= 0; }
    // True when the file existed already (after a failed create_new).
    [[nodiscard]] bool existed() const { return existed_; }
    [[nodiscard]] std::ptrdiff_t read_some(char* buffer, std::size_t size) override;
    [[nodiscard]] bool write_all(const char* data, std::size_t size) override;
    // Closes now, reporting what a deferred write failure shows only here.
    [[nodiscard]] bool close();

private:
    explicit File(int fd, bool existed = false) : fd_(fd), existed_(existed) {}

    int fd_ = -1;
    bool existed_ = false;
};

// Moves `from` to `to`, replacing a file already there.
[[nodiscard]] bool replace_file(const char* from, const char* to);
void remove_file(const char* path);
// Tells the system that the cached contents of the regular file at `path`
// will not be read again; the file itself is left as it is.
void forget_cached(const char* path);
[[nodiscard]] unsigned long process_id();
