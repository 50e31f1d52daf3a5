#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/download_file.h"
#include "os/error.h"
#include "update/manifest.h"

// Whether a client file already matches its manifest entry, and whether a finished download is
// the content the manifest promises. Verification runs on the thread of the update run, one file
// at a time, after the download pool has closed its staging files; the client's files are checked
// on several threads at once.
namespace corvane {

// SHA-256 of a whole file as 64 lower-case hexadecimal digits, streamed through one 64 KiB buffer
// with the sequential-read hint. False (and `out` empty) when the file cannot be opened or read,
// and for anything but a plain file reached without a link at `path` (never waits on a pipe).
[[nodiscard]] bool sha256_file(std::wstring_view path, std::string& out);

// A plain file is at `path` itself (not a link, folder, pipe or device) and its length is exactly
// `size`. A file of 4 GiB or more never matches.
[[nodiscard]] bool has_file_size(std::wstring_view path, std::uint32_t size);

// The client's file for `entry` (at target_path_for) has the entry's size and SHA-256. The size is
// compared first: a file of another length is never read. Missing, unreadable or different files
// are not current, and so is anything that is not a plain file (a link even to the right content,
// a pipe, a device): apply_files replaces it as it is.
[[nodiscard]] bool is_file_current(std::wstring_view client_dir, const ManifestFile& entry);

// is_file_current for every entry of `files`, on the calling thread and up to `threads - 1` more,
// each taking the next unchecked entry (largest first) until none is left. The answers (1 current,
// 0 not) are in the order of `files`, whatever order they were found in. An exception on any
// thread, or while the threads are started (memory running out), stops the others and is rethrown
// here once they have all ended; a thread the system cannot start only leaves fewer threads.
[[nodiscard]] std::vector<std::uint8_t> check_files_current(std::wstring_view client_dir,
                                                            const std::vector<ManifestFile>& files,
                                                            unsigned threads);

// Unpacks the packed file at `packed_path`, which must be exactly `packed_size` bytes long, into
// `output_path`, created or truncated and made exactly `output_size` bytes long (its blocks
// reserved first, so a full disk shows before any byte is decoded). The whole frame is checked
// before anything is decoded. False on any failure; the output may then hold a part of the
// content, and the caller deletes it. When the output could not be made (the disk is full, no
// permission) and `write_error` is given, it receives the system's code: the packed file itself
// may be sound; otherwise it is left 0.
[[nodiscard]] bool unpack_lzms(std::wstring_view packed_path, std::uint32_t packed_size,
                               std::wstring_view output_path, std::uint32_t output_size,
                               os::ErrorCode* write_error = nullptr);

// The staged download is the entry's content: a packed download is unpacked from data_path to
// raw_path first; then raw_path must hash to the entry's sha256. An unpacked download is judged by
// the digest taken while it arrived (arrival_digest) when there is one, else hashed in place. On
// true the content is at file.raw_path. False with a nonzero `*write_error` (when given): the
// unpacked file could not be written, which says nothing about the download.
[[nodiscard]] bool verify_download(const DownloadFile& file, const ManifestFile& entry,
                                   os::ErrorCode* write_error = nullptr);

// Deletes the download's data, content and resume files (data_path, raw_path, parts_path);
// failures are ignored.
void discard_download(const DownloadFile& file);

}  // namespace corvane
