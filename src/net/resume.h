#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/download_file.h"
#include "net/file_table.h"
#include "os/error.h"

// The staging file of one download and its ".parts" resume record: unsigned 32-bit little-endian
// integers, first the part size the staging file is being filled with (8388608 or 0), then the
// offset of every completed part, in completion order, each at most once.
namespace corvane {

// The record's whole integers (a torn last one is left out), or empty when the file is missing,
// shorter than 4 bytes, 1048576 bytes or longer, not a plain file reached without a link, or cannot
// be read whole.
std::vector<std::uint32_t> read_parts_file(std::wstring_view path);

// Creates or truncates `file.parts_path` holding only `file.part_size`.
[[nodiscard]] os::ErrorCode create_parts_file(const DownloadFile& file);

// Opens (creating it when missing) `file.data_path` into `file.handle` and takes over the finished
// parts of an earlier run when the staging file has exactly `file.size` bytes and the resume record
// was made with `file.part_size` and names only offsets of this file's parts. Otherwise the file
// starts afresh: its length is set to `file.size` and a new resume record is written. Either way
// the staging file's blocks are reserved, and a torn last integer is cut off the record, so a full disk shows here. Returns the Windows error code
// of the step that failed, 0 on success.
[[nodiscard]] os::ErrorCode open_download_file(DownloadFile& file);

// Notes that the part at `offset` of `file` is complete: once in `done_offsets`, counting the file
// in `table.files_done` when that was its last part, and once in the resume record, but only after
// its bytes are on the disk, so that a power cut never leaves a record of bytes it took back. While
// a pool's recorder runs (table.records.running) the record is left to it; otherwise it is written
// here (record_parts). Takes `file.lock`; any thread.
void mark_part_done(FileTable& table, DownloadFile& file, std::uint32_t offset);

// Flushes the staging file's data, then appends `offsets` to its resume record and flushes that.
// When the data cannot be flushed nothing is recorded, and a failed append is ignored: a later run
// fetches those parts again.
void record_parts(DownloadFile& file, const std::vector<std::uint32_t>& offsets);

// The pool's recorder thread: records the parts handed over in `table.records`, a file at a time
// with one flush for all of its parts that finished meanwhile, until the pool says stop and
// nothing is left. Never throws.
void record_finished_parts(FileTable& table);

}  // namespace corvane
