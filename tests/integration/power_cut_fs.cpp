// corvane-power-cut-fs: a FUSE file system for power-cut tests. It passes every call through to a
// backing folder and remembers what has not been made durable yet; told to cut, it forgets all of
// that, as a machine that loses power does, and from then on fails every call with EIO until it
// is unmounted. Mounting it again on the same backing folder is the reboot.
//
//   corvane-power-cut-fs --backing DIR --mount DIR [--strict] [--log FILE] [--cut-marker FILE]
//                        [--anchor REGEX] [--cut-after N]
//
// What survives a cut:
// - A file's content as of its last fsync/fdatasync (or as it was at mount time); a file created
//   since and never synced is left empty.
// - Folder entries: without --strict every create, rename and removal survives (a file system
//   that journals its metadata in order). With --strict a folder's entries go back to what they
//   were at its last fsync (or at mount time): a rename or a new file whose folder was not synced
//   is undone and a removed file comes back. This is what catches a missing folder sync.
// How to cut:
// - write "cut" to the control file MOUNT/.power-cut (not listed in the folder), or
// - --cut-after N: the N-th call is not carried out but cuts; counted from the mount, or with
//   --anchor from the first call whose log line matches REGEX (that call being the first).
// When it cuts it writes the number of the call to --cut-marker (a file outside the mount).
// --log writes one line per call: "<number> <call> <path>[ <path>]", the cut as "<number> CUT".
// Reading the control file gives "live <calls>" or "cut <call>". Single-threaded (-s): calls
// are carried out one at a time, so a cut falls between two calls.
#define FUSE_USE_VERSION 35
#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/falloc.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <unordered_map>
#include <vector>

// The file system is stopped with files still open when a test is done with it (the program that
// had them open was killed at the cut): what it holds then is not a leak.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

namespace fs = std::filesystem;

constexpr const char* kControlName = "/.power-cut";
constexpr std::uint64_t kBlock = 4096;

struct Options {
  std::string backing;
  std::string trash;
  std::string mount;
  std::string log;
  std::string cut_marker;
  std::optional<std::regex> anchor;
  std::uint64_t cut_after = 0;
  bool strict = false;
};
Options g_options;

// What a file held at its last sync: its length then, and the blocks below that length that were
// overwritten or cut off since, as they were. Present only for files changed since their last sync.
struct FileUndo {
  std::uint64_t durable_size = 0;
  std::map<std::uint64_t, std::string> saved;  // block index -> its bytes at the last sync
};
std::unordered_map<ino_t, FileUndo> g_files;

// A folder entry as it was at the folder's last sync (strict mode).
struct OldEntry {
  bool present = false;
  ino_t ino = 0;
  bool is_dir = false;
};
// Folder inode -> entry name -> what it was at the folder's last sync, for every entry changed since.
std::unordered_map<ino_t, std::map<std::string, OldEntry>> g_folders;

std::uint64_t g_calls = 0;
std::uint64_t g_anchor_at = 0;  // the number of the call that matched the anchor; 0 before
bool g_cut = false;
std::uint64_t g_cut_at = 0;
FILE* g_log = nullptr;

struct Handle {
  int fd = -1;
  std::string path;  // as opened, for the log
  bool writable = false;
  bool control = false;
};

Handle* handle_of(const fuse_file_info* fi) { return reinterpret_cast<Handle*>(fi->fh); }

std::string backing_path(const char* path) { return g_options.backing + path; }

std::string parent_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}
std::string name_of(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

void log_line(const char* format, ...) {
  if (g_log == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(g_log, format, args);
  va_end(args);
}

// ---- the durable state ----------------------------------------------------------------------

// Starts the undo record of a file the first time it changes after a sync.
FileUndo& undo_of(ino_t ino, std::uint64_t current_size) {
  return g_files.try_emplace(ino, FileUndo{current_size, {}}).first->second;
}

// Keeps the blocks in [from, to) that still hold what they held at the last sync, before a write
// or a truncation changes them.
void save_blocks(int fd, FileUndo& undo, std::uint64_t from, std::uint64_t to) {
  to = std::min(to, undo.durable_size);
  for (std::uint64_t block = from / kBlock; block * kBlock < to; ++block) {
    if (undo.saved.contains(block)) continue;
    const std::uint64_t start = block * kBlock;
    std::string bytes(static_cast<std::size_t>(std::min(kBlock, undo.durable_size - start)), '\0');
    const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(start));
    if (n < 0) {
      log_line("# cannot keep block %llu: %s\n", static_cast<unsigned long long>(block), std::strerror(errno));
      continue;
    }
    bytes.resize(static_cast<std::size_t>(n));
    undo.saved.emplace(block, std::move(bytes));
  }
}

void before_write(int fd, std::uint64_t offset, std::uint64_t length) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  FileUndo& undo = undo_of(st.st_ino, static_cast<std::uint64_t>(st.st_size));
  if (length != 0) save_blocks(fd, undo, offset, offset + length);
}

void before_truncate(int fd, std::uint64_t new_size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  FileUndo& undo = undo_of(st.st_ino, static_cast<std::uint64_t>(st.st_size));
  if (new_size < static_cast<std::uint64_t>(st.st_size)) save_blocks(fd, undo, new_size, static_cast<std::uint64_t>(st.st_size));
}

void synced(ino_t ino) { g_files.erase(ino); }

// Strict mode: remembers what `name` in the backing folder `folder` was before its first change
// since the folder's last sync.
void note_entry(const std::string& folder, const std::string& name) {
  if (!g_options.strict) return;
  struct stat dir {};
  if (::lstat(folder.c_str(), &dir) != 0) return;
  auto& entries = g_folders[dir.st_ino];
  if (entries.contains(name)) return;
  OldEntry old;
  struct stat st {};
  if (::lstat((folder + "/" + name).c_str(), &st) == 0) old = OldEntry{true, st.st_ino, S_ISDIR(st.st_mode)};
  entries.emplace(name, old);
}

std::string trash_path(ino_t ino) { return g_options.trash + "/" + std::to_string(ino); }

// Strict mode: a removed entry's object goes to the trash, so that a cut can bring it back.
int remove_to_trash(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return -errno;
  if (::rename(path.c_str(), trash_path(st.st_ino).c_str()) != 0) return -errno;
  return 0;
}

// Without strict mode a file whose last name goes is gone: its undo record must not be applied to
// a later file that gets its inode number.
void forget_if_last_link(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && st.st_nlink <= 1) g_files.erase(st.st_ino);
}

// Every object below the backing folder and in the trash: inode -> path, and whether it is reachable
// from the backing folder (live) or only in the trash.
struct Located {
  std::string path;
  bool live = false;
  bool is_dir = false;
};
std::unordered_map<ino_t, Located> locate_all() {
  std::unordered_map<ino_t, Located> found;
  for (const auto& [root, live] : {std::pair{g_options.backing, true}, std::pair{g_options.trash, false}}) {
    struct stat st {};
    if (live && ::lstat(root.c_str(), &st) == 0) found[st.st_ino] = {root, true, true};
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (::lstat(it->path().c_str(), &st) != 0) continue;
      found.try_emplace(st.st_ino, Located{it->path().string(), live, S_ISDIR(st.st_mode)});
    }
  }
  return found;
}

// Strict mode, at the cut: every changed folder gets back the entries it had at its last sync.
void revert_folders() {
  struct Revert {
    ino_t folder;
    std::string name;
    OldEntry old;
    bool done = false;
  };
  std::vector<Revert> reverts;
  for (const auto& [folder, entries] : g_folders) {
    for (const auto& [name, old] : entries) reverts.push_back({folder, name, old});
  }
  // First every entry that differs from what the folder had goes to the trash...
  for (Revert& r : reverts) {
    const auto all = locate_all();
    const auto dir = all.find(r.folder);
    if (dir == all.end() || !dir->second.live) continue;
    const std::string path = dir->second.path + "/" + r.name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    if (r.old.present && r.old.ino == st.st_ino) continue;
    if (::rename(path.c_str(), trash_path(st.st_ino).c_str()) != 0) {
      log_line("# cannot clear %s: %s\n", path.c_str(), std::strerror(errno));
    }
  }
  // ...then the old entries come back, a folder's before what lies in it.
  for (bool progress = true; progress;) {
    progress = false;
    for (Revert& r : reverts) {
      if (r.done) continue;
      if (!r.old.present) {
        r.done = true;
        continue;
      }
      const auto all = locate_all();
      const auto dir = all.find(r.folder);
      if (dir == all.end() || !dir->second.live) continue;
      const std::string path = dir->second.path + "/" + r.name;
      r.done = progress = true;
      const auto object = all.find(r.old.ino);
      struct stat st {};
      if (object != all.end() && object->second.path == path) continue;  // never left
      if (::lstat(path.c_str(), &st) == 0) {
        log_line("# %s is in the way\n", path.c_str());
        continue;
      }
      if (object != all.end() && !object->second.live) {
        if (::rename(object->second.path.c_str(), path.c_str()) != 0) {
          log_line("# cannot restore %s: %s\n", path.c_str(), std::strerror(errno));
        }
      } else if (object != all.end() && !object->second.is_dir) {
        // Durable under another name as well (a rename into a folder that was synced): a copy.
        std::error_code ec;
        fs::copy_file(object->second.path, path, ec);
      } else if (r.old.is_dir) {
        ::mkdir(path.c_str(), 0755);
      } else {
        log_line("# %s is lost\n", path.c_str());
      }
    }
  }
  g_folders.clear();
}

// The cut: folders (strict) and file contents go back to their durable state, and every later
// call fails.
void cut() {
  if (g_cut) return;
  g_cut = true;
  g_cut_at = g_calls;
  if (g_options.strict) revert_folders();
  const auto all = locate_all();
  for (const auto& [ino, undo] : g_files) {
    const auto object = all.find(ino);
    if (object == all.end() || object->second.is_dir) continue;
    const int fd = ::open(object->second.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    for (const auto& [block, bytes] : undo.saved) {
      (void)!::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(block * kBlock));
    }
    (void)!::ftruncate(fd, static_cast<off_t>(undo.durable_size));
    ::close(fd);
  }
  g_files.clear();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(g_options.trash, ec)) fs::remove_all(entry.path(), ec);
  log_line("%llu CUT\n", static_cast<unsigned long long>(g_cut_at));
  if (g_log != nullptr) std::fflush(g_log);
  if (!g_options.cut_marker.empty()) {
    if (FILE* marker = std::fopen(g_options.cut_marker.c_str(), "w")) {
      std::fprintf(marker, "%llu\n", static_cast<unsigned long long>(g_cut_at));
      std::fclose(marker);
    }
  }
}

// Counts and logs one call; true when the call must fail with EIO (the power is off, or this is
// the call that cuts it).
bool gate(const char* call, const char* path, const char* other = nullptr) {
  if (g_cut) return true;
  ++g_calls;
  char line[8192];
  std::snprintf(line, sizeof line, "%s %s%s%s", call, path != nullptr ? path : "-", other != nullptr ? " " : "",
                other != nullptr ? other : "");
  log_line("%llu %s\n", static_cast<unsigned long long>(g_calls), line);
  if (g_options.anchor && g_anchor_at == 0 && std::regex_search(line, *g_options.anchor)) g_anchor_at = g_calls;
  if (g_options.cut_after != 0) {
    const bool counting = !g_options.anchor || g_anchor_at != 0;
    const std::uint64_t base = g_options.anchor ? g_anchor_at - 1 : 0;
    if (counting && g_calls - base == g_options.cut_after) {
      cut();
      return true;
    }
  }
  return false;
}

bool is_control(const char* path) { return path != nullptr && std::strcmp(path, kControlName) == 0; }

// ---- the calls ------------------------------------------------------------------------------

void* pc_init(fuse_conn_info*, fuse_config* cfg) {
  cfg->use_ino = 1;
  cfg->hard_remove = 1;   // no .fuse_hidden files: the folder holds exactly what the program made
  cfg->nullpath_ok = 1;
  cfg->kernel_cache = 0;
  cfg->entry_timeout = 0;
  cfg->attr_timeout = 0;
  cfg->negative_timeout = 0;
  return nullptr;
}

int pc_getattr(const char* path, struct stat* st, fuse_file_info* fi) {
  if (is_control(path) || (fi != nullptr && handle_of(fi)->control)) {
    std::memset(st, 0, sizeof *st);
    st->st_mode = S_IFREG | 0600;
    st->st_nlink = 1;
    return 0;
  }
  if (gate("getattr", path)) return -EIO;
  const int rc = fi != nullptr ? ::fstat(handle_of(fi)->fd, st) : ::lstat(backing_path(path).c_str(), st);
  return rc == 0 ? 0 : -errno;
}

int pc_readlink(const char* path, char* buffer, size_t size) {
  if (gate("readlink", path)) return -EIO;
  const ssize_t n = ::readlink(backing_path(path).c_str(), buffer, size - 1);
  if (n < 0) return -errno;
  buffer[n] = '\0';
  return 0;
}

int pc_mknod(const char* path, mode_t mode, dev_t dev) {
  if (gate("mknod", path)) return -EIO;
  const std::string p = backing_path(path);
  note_entry(parent_of(p), name_of(p));
  return ::mknod(p.c_str(), mode, dev) == 0 ? 0 : -errno;
}

int pc_mkdir(const char* path, mode_t mode) {
  if (gate("mkdir", path)) return -EIO;
  const std::string p = backing_path(path);
  note_entry(parent_of(p), name_of(p));
  return ::mkdir(p.c_str(), mode) == 0 ? 0 : -errno;
}

int pc_unlink(const char* path) {
  if (is_control(path)) return -EPERM;
  if (gate("unlink", path)) return -EIO;
  const std::string p = backing_path(path);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return -errno;
  if (S_ISDIR(st.st_mode)) return -EISDIR;
  if (g_options.strict) {
    note_entry(parent_of(p), name_of(p));
    return remove_to_trash(p);
  }
  forget_if_last_link(p);
  return ::unlink(p.c_str()) == 0 ? 0 : -errno;
}

bool is_empty_folder(const std::string& path) {
  std::error_code ec;
  return fs::is_empty(path, ec) && !ec;
}

int pc_rmdir(const char* path) {
  if (gate("rmdir", path)) return -EIO;
  const std::string p = backing_path(path);
  if (!g_options.strict) return ::rmdir(p.c_str()) == 0 ? 0 : -errno;
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return -errno;
  if (!S_ISDIR(st.st_mode)) return -ENOTDIR;
  if (!is_empty_folder(p)) return -ENOTEMPTY;
  note_entry(parent_of(p), name_of(p));
  return remove_to_trash(p);
}

int pc_symlink(const char* target, const char* path) {
  if (gate("symlink", path, target)) return -EIO;
  const std::string p = backing_path(path);
  note_entry(parent_of(p), name_of(p));
  return ::symlink(target, p.c_str()) == 0 ? 0 : -errno;
}

int pc_rename(const char* from, const char* to, unsigned int flags) {
  if (is_control(from) || is_control(to)) return -EPERM;
  if (gate("rename", from, to)) return -EIO;
  if (flags != 0) return -EINVAL;
  const std::string src = backing_path(from);
  const std::string dst = backing_path(to);
  struct stat s {};
  if (::lstat(src.c_str(), &s) != 0) return -errno;
  struct stat d {};
  const bool replacing = ::lstat(dst.c_str(), &d) == 0;
  if (replacing && s.st_ino == d.st_ino) return 0;
  if (replacing && S_ISDIR(d.st_mode) && !S_ISDIR(s.st_mode)) return -EISDIR;
  if (replacing && !S_ISDIR(d.st_mode) && S_ISDIR(s.st_mode)) return -ENOTDIR;
  if (replacing && S_ISDIR(d.st_mode) && !is_empty_folder(dst)) return -ENOTEMPTY;
  if (g_options.strict) {
    note_entry(parent_of(src), name_of(src));
    note_entry(parent_of(dst), name_of(dst));
    if (replacing) {
      if (const int rc = remove_to_trash(dst)) return rc;
    }
  } else if (replacing) {
    forget_if_last_link(dst);
  }
  return ::rename(src.c_str(), dst.c_str()) == 0 ? 0 : -errno;
}

int pc_link(const char*, const char*) { return -EPERM; }  // one name per file keeps the bookkeeping simple

int pc_chmod(const char* path, mode_t mode, fuse_file_info* fi) {
  if (gate("chmod", path)) return -EIO;
  const int rc = fi != nullptr ? ::fchmod(handle_of(fi)->fd, mode) : ::chmod(backing_path(path).c_str(), mode);
  return rc == 0 ? 0 : -errno;
}

int pc_chown(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
  if (gate("chown", path)) return -EIO;
  const int rc =
      fi != nullptr ? ::fchown(handle_of(fi)->fd, uid, gid) : ::lchown(backing_path(path).c_str(), uid, gid);
  return rc == 0 ? 0 : -errno;
}

int pc_truncate(const char* path, off_t size, fuse_file_info* fi) {
  if (is_control(path) || (fi != nullptr && handle_of(fi)->control)) return 0;
  if (gate("truncate", path)) return -EIO;
  int fd = fi != nullptr ? handle_of(fi)->fd : ::open(backing_path(path).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return -errno;
  before_truncate(fd, static_cast<std::uint64_t>(size));
  const int rc = ::ftruncate(fd, size) == 0 ? 0 : -errno;
  if (fi == nullptr) ::close(fd);
  return rc;
}

int open_handle(const char* path, int flags, mode_t mode, fuse_file_info* fi, bool create) {
  auto* h = new Handle;
  h->path = path;
  h->writable = (flags & O_ACCMODE) != O_RDONLY;
  const std::string p = backing_path(path);
  struct stat before {};
  if (create && ::lstat(p.c_str(), &before) == 0) create = false;  // opened, not made
  if (create) note_entry(parent_of(p), name_of(p));
  // Truncation is done below, once the blocks it cuts off are kept; appending comes with its
  // offsets from the kernel.
  // Written files are opened for reading as well: what a write replaces is read and kept first.
  int native = (flags & ~(O_TRUNC | O_APPEND | (create ? 0 : O_CREAT))) | O_CLOEXEC;
  if ((native & O_ACCMODE) == O_WRONLY) native = (native & ~O_ACCMODE) | O_RDWR;
  h->fd = ::open(p.c_str(), native, mode);
  if (h->fd < 0) {
    const int e = errno;
    delete h;
    return -e;
  }
  if (create) {
    // A new file: what survives a cut before its first sync is an empty file.
    struct stat st {};
    if (::fstat(h->fd, &st) == 0) g_files[st.st_ino] = FileUndo{0, {}};
  } else if ((flags & O_TRUNC) != 0) {
    before_truncate(h->fd, 0);
    (void)!::ftruncate(h->fd, 0);
  }
  fi->fh = reinterpret_cast<std::uint64_t>(h);
  return 0;
}

int pc_open(const char* path, fuse_file_info* fi) {
  if (is_control(path)) {
    static Handle control{-1, kControlName, true, true};
    fi->fh = reinterpret_cast<std::uint64_t>(&control);
    fi->direct_io = 1;
    return 0;
  }
  if (gate((fi->flags & O_ACCMODE) != O_RDONLY ? "open-w" : "open", path)) return -EIO;
  return open_handle(path, fi->flags, 0, fi, false);
}

int pc_create(const char* path, mode_t mode, fuse_file_info* fi) {
  if (is_control(path)) return -EPERM;
  if (gate("create", path)) return -EIO;
  return open_handle(path, fi->flags, mode, fi, true);
}

int pc_read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  Handle* h = handle_of(fi);
  if (h->control) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s %llu\n", g_cut ? "cut" : "live",
                                static_cast<unsigned long long>(g_cut ? g_cut_at : g_calls));
    if (offset >= n) return 0;
    const size_t count = std::min(size, static_cast<size_t>(n - offset));
    std::memcpy(buffer, text + offset, count);
    return static_cast<int>(count);
  }
  if (gate("read", h->path.c_str())) return -EIO;
  const ssize_t n = ::pread(h->fd, buffer, size, offset);
  return n >= 0 ? static_cast<int>(n) : -errno;
}

int pc_write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  Handle* h = handle_of(fi);
  if (h->control) {
    if (size >= 3 && std::memcmp(buffer, "cut", 3) == 0) cut();
    return static_cast<int>(size);
  }
  if (gate("write", h->path.c_str())) return -EIO;
  before_write(h->fd, static_cast<std::uint64_t>(offset), size);
  const ssize_t n = ::pwrite(h->fd, buffer, size, offset);
  return n >= 0 ? static_cast<int>(n) : -errno;
}

int pc_statfs(const char* path, struct statvfs* st) {
  if (gate("statfs", path)) return -EIO;
  return ::statvfs(g_options.backing.c_str(), st) == 0 ? 0 : -errno;
}

int pc_flush(const char*, fuse_file_info* fi) {
  Handle* h = handle_of(fi);
  if (h->control) return 0;
  if (gate("flush", h->path.c_str())) return -EIO;
  return 0;
}

int pc_release(const char*, fuse_file_info* fi) {
  Handle* h = handle_of(fi);
  // Closing always works, also after a cut: the kernel does not wait for an answer.
  if (h->control) return 0;
  (void)gate(h->writable ? "release-w" : "release", h->path.c_str());
  ::close(h->fd);
  delete h;
  return 0;
}

int pc_fsync(const char*, int datasync, fuse_file_info* fi) {
  Handle* h = handle_of(fi);
  if (h->control) return 0;
  if (gate(datasync != 0 ? "fdatasync" : "fsync", h->path.c_str())) return -EIO;
  struct stat st {};
  if (::fstat(h->fd, &st) != 0) return -errno;
  synced(st.st_ino);
  return 0;
}

struct DirHandle {
  DIR* dir = nullptr;
  std::string path;  // as opened, for the log
};
DirHandle* dir_handle_of(const fuse_file_info* fi) { return reinterpret_cast<DirHandle*>(fi->fh); }

int pc_opendir(const char* path, fuse_file_info* fi) {
  if (gate("opendir", path)) return -EIO;
  DIR* dir = ::opendir(backing_path(path).c_str());
  if (dir == nullptr) return -errno;
  fi->fh = reinterpret_cast<std::uint64_t>(new DirHandle{dir, path});
  return 0;
}

int pc_readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* fi, fuse_readdir_flags) {
  if (gate("readdir", dir_handle_of(fi)->path.c_str())) return -EIO;
  DIR* dir = dir_handle_of(fi)->dir;
  ::rewinddir(dir);
  while (const dirent* e = ::readdir(dir)) {
    struct stat st {};
    st.st_ino = e->d_ino;
    st.st_mode = static_cast<mode_t>(DTTOIF(e->d_type));
    if (fill(buffer, e->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
  }
  return 0;
}

int pc_releasedir(const char*, fuse_file_info* fi) {
  DirHandle* h = dir_handle_of(fi);
  ::closedir(h->dir);
  delete h;
  return 0;
}

int pc_fsyncdir(const char*, int, fuse_file_info* fi) {
  DirHandle* h = dir_handle_of(fi);
  if (gate("fsyncdir", h->path.c_str())) return -EIO;
  struct stat st {};
  if (::fstat(::dirfd(h->dir), &st) != 0) return -errno;
  g_folders.erase(st.st_ino);
  return 0;
}

int pc_utimens(const char* path, const struct timespec ts[2], fuse_file_info* fi) {
  if (is_control(path) || (fi != nullptr && handle_of(fi)->control)) return 0;
  if (gate("utimens", path)) return -EIO;
  const int rc = fi != nullptr ? ::futimens(handle_of(fi)->fd, ts)
                               : ::utimensat(AT_FDCWD, backing_path(path).c_str(), ts, AT_SYMLINK_NOFOLLOW);
  return rc == 0 ? 0 : -errno;
}

int pc_fallocate(const char*, int mode, off_t offset, off_t length, fuse_file_info* fi) {
  Handle* h = handle_of(fi);
  if (h->control) return -EOPNOTSUPP;
  if (gate("fallocate", h->path.c_str())) return -EIO;
  // Only reserving blocks (which never changes what the file reads) is offered.
  if ((mode & ~FALLOC_FL_KEEP_SIZE) != 0) return -EOPNOTSUPP;
  before_write(h->fd, 0, 0);
  return ::fallocate(h->fd, mode, offset, length) == 0 ? 0 : -errno;
}

int pc_access(const char* path, int mask) {
  if (is_control(path)) return 0;
  if (gate("access", path)) return -EIO;
  return ::access(backing_path(path).c_str(), mask) == 0 ? 0 : -errno;
}

void pc_destroy(void*) {
  if (g_log != nullptr) std::fflush(g_log);
}

bool parse(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--strict") {
      g_options.strict = true;
    } else if (arg == "--backing" && has_value) {
      g_options.backing = argv[++i];
    } else if (arg == "--mount" && has_value) {
      g_options.mount = argv[++i];
    } else if (arg == "--log" && has_value) {
      g_options.log = argv[++i];
    } else if (arg == "--cut-marker" && has_value) {
      g_options.cut_marker = argv[++i];
    } else if (arg == "--anchor" && has_value) {
      g_options.anchor.emplace(argv[++i], std::regex::ECMAScript);
    } else if (arg == "--cut-after" && has_value) {
      g_options.cut_after = std::strtoull(argv[++i], nullptr, 10);
    } else {
      return false;
    }
  }
  return !g_options.backing.empty() && !g_options.mount.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (!parse(argc, argv)) {
    std::fputs("usage: corvane-power-cut-fs --backing DIR --mount DIR [--strict] [--log FILE] [--cut-marker FILE]\n"
               "                            [--anchor REGEX] [--cut-after N]\n",
               stderr);
    return 2;
  }
  // A test tool: it goes when the test that started it goes, and takes its mount along.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  std::error_code ec;
  g_options.backing = fs::canonical(g_options.backing, ec).string();
  if (ec) {
    std::fprintf(stderr, "no backing folder %s\n", g_options.backing.c_str());
    return 2;
  }
  g_options.trash = g_options.backing + ".power-cut-trash";
  fs::remove_all(g_options.trash, ec);
  fs::create_directories(g_options.trash, ec);
  if (!g_options.log.empty()) g_log = std::fopen(g_options.log.c_str(), "w");

  fuse_operations ops{};
  ops.init = pc_init;
  ops.getattr = pc_getattr;
  ops.readlink = pc_readlink;
  ops.mknod = pc_mknod;
  ops.mkdir = pc_mkdir;
  ops.unlink = pc_unlink;
  ops.rmdir = pc_rmdir;
  ops.symlink = pc_symlink;
  ops.rename = pc_rename;
  ops.link = pc_link;
  ops.chmod = pc_chmod;
  ops.chown = pc_chown;
  ops.truncate = pc_truncate;
  ops.open = pc_open;
  ops.create = pc_create;
  ops.read = pc_read;
  ops.write = pc_write;
  ops.statfs = pc_statfs;
  ops.flush = pc_flush;
  ops.release = pc_release;
  ops.fsync = pc_fsync;
  ops.opendir = pc_opendir;
  ops.readdir = pc_readdir;
  ops.releasedir = pc_releasedir;
  ops.fsyncdir = pc_fsyncdir;
  ops.utimens = pc_utimens;
  ops.fallocate = pc_fallocate;
  ops.access = pc_access;
  ops.destroy = pc_destroy;

  std::string mount = g_options.mount;
  char foreground[] = "-f";
  char single[] = "-s";
  char option[] = "-o";
  char names[] = "fsname=corvane-power-cut,subtype=power-cut";
  char* fuse_argv[] = {argv[0], foreground, single, option, names, mount.data(), nullptr};
  const int rc = fuse_main(6, fuse_argv, &ops, nullptr);
  if (g_log != nullptr) std::fclose(g_log);
  fs::remove_all(g_options.trash, ec);
  return rc;
}
