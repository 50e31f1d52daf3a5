#pragma once
#include <cstddef>
#include <cstdint>

#include "net/download_part.h"
#include "net/file_table.h"
#include "net/url.h"

// The pool of download workers that fetches a planned queue of parts into the staging files.
namespace corvane {

// Writes one piece of a part's body at `file_offset` of the part's file; false fails the attempt.
// Called on the worker threads, several at once.
using PartWriter = bool (*)(FileTable& table, const DownloadPart& part, std::uint64_t file_offset,
                            const std::uint8_t* data, std::size_t size);
// Reports progress; called only on the thread that runs the pool.
using PoolProgressFn = void (*)(void* context);

// Runs `thread_count` workers over `pool.parts` and returns when every part has been tried: the
// calling thread calls `progress` (may be null) about every 200 ms while the workers run and once
// more after they have all ended. One more thread records the finished parts in the resume files
// once their bytes are flushed (record_finished_parts), and is joined before this returns. Parts that no worker finished, because every worker ended
// without a connection or a worker ended on an exception (such as exhausted memory), are counted
// in `parts_failed`, so the pool always ends and nothing thrown on a worker leaves its thread.
// An exception from `progress` stops the claiming of parts; the workers finish the parts in hand,
// all threads are joined, the unfinished parts are counted failed, and then it is rethrown.
// Writers may throw; the HTTP session carries the exception out of the transfer to the worker.
void run_download_pool(const UrlParts& url_parts, DownloadPool& pool, unsigned thread_count,
                       FileTable& table, PartWriter write, PoolProgressFn progress,
                       void* progress_context);

// One worker: opens its own connection, then claims parts until the queue is exhausted, giving each
// up to three attempts in a row. After each ranged part it hashes that file's parts that are now
// complete in order (hash_completed_parts), while the other workers go on downloading.
void download_worker(const UrlParts& url_parts, DownloadPool& pool, FileTable& table, PartWriter write);

// The writer of the update run: one positioned write into the part's staging file, never outside
// the part's own range; the part is complete when its last byte has been written (mark_part_done),
// and its resume record follows once its bytes are flushed. A file fetched whole and not packed is
// hashed piece by piece right after each write.
[[nodiscard]] bool write_part_data(FileTable& table, const DownloadPart& part,
                                   std::uint64_t file_offset, const std::uint8_t* data,
                                   std::size_t size);

// Closes every staging file of the table; called once the pool has returned.
void close_download_files(FileTable& table);

}  // namespace corvane
