// The pass that turns a deltareg file into its customised copy, and the run
// around it that owns the files.
#pragma once

#include <cstddef>
#include <string_view>

#include "length_rules.h"
#include "text_file.h"

// Longest arguments the path and text buffers hold: the directory leaves room
// for a separator and "deltareg.cus".
inline constexpr std::size_t DELTAREG_DIR_LIMIT = BUFFER_SIZE - 1 - 13;
inline constexpr std::size_t CORVANE_DIR_LIMIT = BUFFER_SIZE - 1;

enum class PassResult { Done, ReadFailed, WriteFailed };

// Copies `input` to `output` piece by piece, rewriting length lines from
// `texts`, and flushes; nothing is written to `input`.
[[nodiscard]] PassResult customise(ByteSource& input, ByteSink& output, const LengthTexts& texts);

// Writes "deltareg.cus" beside "deltareg" in `deltareg_dir`. On any failure it
// returns false and leaves both files as they were and no other file behind.
[[nodiscard]] bool write_customised_copy(std::string_view deltareg_dir, std::string_view corvane_dir);
