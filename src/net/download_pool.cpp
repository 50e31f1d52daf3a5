#include "net/download_pool.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "net/arrival_hash.h"
#include "net/http_client.h"
#include "net/resume.h"

namespace corvane {
namespace {

constexpr int kAttempts = 3;
constexpr std::chrono::milliseconds kProgressInterval{200};

bool cancelled(const DownloadPool& pool) { return pool.cancel != nullptr && pool.cancel->load(); }

struct WriterContext {
  PartWriter write;
  FileTable* table;
};

bool write_through(void* context, const DownloadPart& part, std::uint64_t file_offset,
                   const std::uint8_t* data, std::size_t size) {
  const auto* writer = static_cast<const WriterContext*>(context);
  return writer->write(*writer->table, part, file_offset, data, size);
}

void run_worker(const UrlParts& url_parts, DownloadPool& pool, FileTable& table, PartWriter write) {
  std::optional<WorkerConnection> connection = open_worker_connection(url_parts);
  if (!connection) return;
  WriterContext writer{write, &table};
  const std::uint64_t count = pool.parts.size();
  for (;;) {
    if (cancelled(pool)) break;
    const std::uint64_t index = pool.next_index.fetch_add(1);
    if (index >= count) break;
    const DownloadPart& part = pool.parts[index];
    bool ok = false;
    bool fatal = false;
    bool too_slow = false;
    for (int attempt = 0; attempt < kAttempts && !ok && !cancelled(pool); ++attempt) {
      // A part that fell below the floor is tried again on a fresh connection: the old one may be
      // what is slow.
      if (too_slow && !(connection = open_worker_connection(url_parts))) break;
      ok = fetch_part(*connection, url_parts, part, &write_through, &writer, pool, fatal, &too_slow);
    }
    if (ok) {
      pool.parts_done.fetch_add(1);
    } else if (!cancelled(pool)) {
      pool.parts_failed.fetch_add(1);
      if (fatal) pool.parts_fatal.fetch_add(1);
      // Too slow on every connection: the server will not deliver the rest in time either, so no
      // further part is claimed; the finished parts stay for the next run to resume from.
      if (too_slow) pool.next_index.store(count);
    }
    if (!connection) break;
    // A ranged file is hashed here, between parts, as far as its parts are complete in order: the
    // part just fetched may be the one that the hash waited for.
    if (part.length != 0) {
      const auto found = table.files.find(part.file_key);
      if (found != table.files.end() && !found->second.packed) hash_completed_parts(found->second);
    }
  }
}

// The pool's recorder thread (record_finished_parts) for as long as the object lives.
class RecorderThread {
 public:
  explicit RecorderThread(FileTable& table) : records_(table.records) {
    {
      const std::lock_guard<std::mutex> guard(records_.lock);
      records_.parts.clear();
      records_.stop = false;
      records_.running = true;
    }
    try {
      thread_ = std::thread(record_finished_parts, std::ref(table));
    } catch (...) {
      const std::lock_guard<std::mutex> guard(records_.lock);
      records_.running = false;
    }
  }
  ~RecorderThread() { stop(); }
  RecorderThread(const RecorderThread&) = delete;
  RecorderThread& operator=(const RecorderThread&) = delete;

  // Lets it record what is left, then joins it; from then on mark_part_done records by itself.
  void stop() {
    {
      const std::lock_guard<std::mutex> guard(records_.lock);
      records_.stop = true;
    }
    records_.ready.notify_one();
    if (thread_.joinable()) thread_.join();
    const std::lock_guard<std::mutex> guard(records_.lock);
    records_.running = false;
  }

 private:
  PendingRecords& records_;
  std::thread thread_;
};

// Counts a worker as ended (or as never started) and wakes the thread that waits for the last one.
void end_worker(DownloadPool& pool) {
  {
    const std::lock_guard<std::mutex> guard(pool.end_lock);
    pool.workers_running.fetch_sub(1);
  }
  pool.worker_ended.notify_all();
}

}  // namespace

void download_worker(const UrlParts& url_parts, DownloadPool& pool, FileTable& table, PartWriter write) {
  try {
    run_worker(url_parts, pool, table, write);
  } catch (...) {
    // Exhausted memory (or anything else thrown) ends this worker, never the program: the part in
    // hand is counted failed by the pool, and the other workers go on.
  }
  end_worker(pool);
}

void run_download_pool(const UrlParts& url_parts, DownloadPool& pool, unsigned thread_count,
                       FileTable& table, PartWriter write, PoolProgressFn progress,
                       void* progress_context) {
  const std::uint64_t count = pool.parts.size();
  // The recorder makes finished parts durable and records them while the workers go on; without
  // it (no thread to be had) mark_part_done records them itself. It is stopped and joined on every
  // way out, once the workers are joined.
  RecorderThread recorder(table);
  pool.workers_running = thread_count;
  std::vector<std::thread> workers;
  workers.reserve(thread_count);
  for (unsigned i = 0; i < thread_count; ++i) {
    try {
      workers.emplace_back(download_worker, std::cref(url_parts), std::ref(pool), std::ref(table), write);
    } catch (...) {
      end_worker(pool);  // a thread that never started is a worker that ended
    }
  }

  // An exception from the progress function ends the reports and the claiming of parts; the
  // workers finish the parts in hand and are joined before it goes on to the caller.
  std::exception_ptr progress_error;
  const auto report = [&] {
    if (progress == nullptr || progress_error) return;
    try {
      progress(progress_context);
    } catch (...) {
      progress_error = std::current_exception();
      pool.next_index.store(count);
    }
  };
  const auto unfinished = [&] {
    return pool.next_index.load() < count ||
           std::uint64_t{pool.parts_done.load()} + pool.parts_failed.load() < count;
  };
  // The wait ends early when the last worker ends, so the run goes on as soon as the last byte is in.
  const auto all_ended = [&] { return pool.workers_running.load() == 0; };
  std::unique_lock<std::mutex> lock(pool.end_lock);
  while (unfinished() && !all_ended() && !progress_error) {
    lock.unlock();
    if (cancelled(pool)) pool.next_index.store(count);
    report();
    lock.lock();
    pool.worker_ended.wait_for(lock, kProgressInterval, all_ended);
  }
  lock.unlock();
  for (std::thread& worker : workers) worker.join();
  recorder.stop();  // every part a worker finished is recorded (or could not be flushed) by now

  // Every worker has ended; parts that none of them finished (never claimed, or in the hands of a
  // worker that ended on an exception) failed.
  const std::uint64_t accounted = std::uint64_t{pool.parts_done.load()} + pool.parts_failed.load();
  if (accounted < count) pool.parts_failed.fetch_add(static_cast<std::uint32_t>(count - accounted));
  pool.next_index = count;
  if (progress_error) std::rethrow_exception(progress_error);
  report();
}

bool write_part_data(FileTable& table, const DownloadPart& part, std::uint64_t file_offset,
                     const std::uint8_t* data, std::size_t size) {
  const auto found = table.files.find(part.file_key);
  if (found == table.files.end()) return false;
  DownloadFile& file = found->second;
  const std::uint64_t part_end = std::uint64_t{part.offset} + expected_bytes(part);
  if (file_offset < part.offset || file_offset > part_end || size > part_end - file_offset) return false;
  const bool ranged = file.part_size != 0;
  if (ranged && !file.packed && file_offset == part.offset) note_part_attempt(file, part.offset);
  if (file.handle.write_at(file_offset, data, size) != os::kErrorSuccess) return false;
  // A file fetched whole is hashed as it is written; its bytes never need to be read back.
  if (!ranged && !file.packed) hash_arriving_piece(file, file_offset, data, size);
  // The part's last byte: it is complete, and recorded once it is on the disk (by the recorder, so
  // that this worker goes on fetching meanwhile).
  if (file_offset + size == part_end) mark_part_done(table, file, part.offset);
  return true;
}

void close_download_files(FileTable& table) {
  for (auto& [path, file] : table.files) file.handle.close();
}

}  // namespace corvane
