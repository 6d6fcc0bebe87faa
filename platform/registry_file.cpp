#include "platform/registry_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "platform/registry_disk.h"
#include "platform/registry_format.h"
#include "platform/registry_lock.h"
#include "platform/winerror.h"

namespace ombix::registry {

namespace {

// A tree is kept for at most this many files; the least recently used goes first.
constexpr size_t kMaxKeptFiles = 8;

// What this process last read of one registry file.
class FileState {
 public:
  FileState() = default;
  FileState(const FileState&) = delete;
  FileState& operator=(const FileState&) = delete;
  ~FileState() { Forget(); }

  bool valid = false;  // the tree describes the file `identity` names
  bool exists = false;
  int fd = -1;                // that file, held open so that its inode is not reused
  struct stat identity = {};  // fstat of fd when it was read or written
  ParsedRegistry parsed;
  std::string damaged_text;  // the text as read when it is damaged, to be copied aside
  bool damage_reported = false;
  uint64_t last_use = 0;

  // The tree no longer stands for the file: it is read again at the next use.
  void Forget() {
    if (fd >= 0) close(fd);
    fd = -1;
    valid = false;
    exists = false;
    parsed = ParsedRegistry();
    damaged_text.clear();
  }
};

struct BatchState {
  int depth = 0;          // nested begins; 0 when no batch is open
  std::string path;       // as named when it began
  std::string file;       // the file it resolved to
  FileIdentity identity;  // that file however it is named
  WriteLock lock;         // held to the end
  bool changed = false;
  bool cancelled = false;  // an end said not to keep the changes
};

struct Store {
  std::map<std::string, FileState> files;  // by resolved path
  BatchState batch;
  uint64_t uses = 0;
};

// Guards the store. A batch holds it from its beginning to its end.
std::mutex g_mutex;
// TRUE on the thread whose batch holds g_mutex (a plain flag: unloading needs no destructor).
thread_local bool t_batch_owner = false;

Store& TheStore() {
  // Never destroyed: a static destructor elsewhere may still use the registry at exit. Built in
  // static storage so that unloading the library leaves nothing on the heap.
  alignas(Store) static unsigned char storage[sizeof(Store)];
  static Store* store = new (storage) Store;
  return *store;
}

// g_mutex, unless the calling thread holds it already for its batch.
class ProcessLock {
 public:
  ProcessLock() : owned_(!t_batch_owner) {
    if (owned_) g_mutex.lock();
  }
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;
  ~ProcessLock() {
    if (owned_) g_mutex.unlock();
  }

 private:
  bool owned_;
};

// When the library is unloaded, the kept trees and their files are given back; the store stays
// usable, so a later use during unload simply reads the file again.
struct StoreRelease {
  ~StoreRelease() {
    ProcessLock guard;  // a thread unloading in its own batch does not wait for itself
    TheStore().files.clear();
  }
} g_store_release;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         SameTime(a.st_mtim, b.st_mtim) && SameTime(a.st_ctim, b.st_ctim);
}

FileState& StateFor(const std::string& file) {
  Store& store = TheStore();
  auto [it, added] = store.files.try_emplace(file);
  it->second.last_use = ++store.uses;
  if (added && store.files.size() > kMaxKeptFiles) {
    auto oldest = store.files.end();
    for (auto other = store.files.begin(); other != store.files.end(); ++other) {
      if (other == it || (store.batch.depth && other->first == store.batch.file)) continue;
      if (oldest == store.files.end() || other->second.last_use < oldest->second.last_use) {
        oldest = other;
      }
    }
    if (oldest != store.files.end()) store.files.erase(oldest);
  }
  return it->second;
}

void ReportDamage(const std::string& file, FileState* state) {
  if (state->parsed.damaged_lines == 0 || state->damage_reported) return;
  state->damage_reported = true;
  std::fprintf(stderr,
               "ombix registry: %s is damaged (%d unreadable line(s), the first at line %d); "
               "using what could be read\n",
               file.c_str(), state->parsed.damaged_lines, state->parsed.first_damaged_line);
}

// Reads the file into *state. FALSE (noted) when it exists but cannot be read.
bool Load(const std::string& file, FileState* state) {
  state->Forget();
  bool missing = false;
  const int fd = OpenRegistryFile(file, &state->identity, &missing);
  if (fd < 0) {
    if (!missing) return false;
    state->valid = true;  // a missing file: an empty registry
    return true;
  }
  std::string text;
  try {
    text.reserve(static_cast<size_t>(state->identity.st_size));
    if (!ReadAll(fd, &text)) {
      if (errno == EFBIG) {
        NoteTooLarge(file);
      } else {
        NoteErrno(file, errno);
      }
      close(fd);
      return false;
    }
    state->parsed = ParseRegistryText(text);
  } catch (...) {  // out of memory: the tree stays forgotten
    close(fd);
    throw;
  }
  state->fd = fd;
  if (state->parsed.damaged_lines != 0) state->damaged_text = std::move(text);
  state->exists = true;
  state->valid = true;
  ReportDamage(file, state);
  return true;
}

// TRUE when *state still describes the file (no lock is needed to tell: files are replaced
// whole, by rename). `look`, when given, is what FollowLinks found just now; a caller that took
// a lock since then must look again.
bool IsCurrent(const std::string& file, const FileState& state, const FileLook* look = nullptr) {
  if (!state.valid) return false;
  FileLook now;
  if (look != nullptr && look->done) {
    now = *look;
  } else if (stat(file.c_str(), &now.st) != 0) {
    now.error = errno;
  }
  if (now.error != 0) return !state.exists && (now.error == ENOENT || now.error == ENOTDIR);
  return state.exists && SameFile(now.st, state.identity);
}

// Brings *state up to date with the file; the caller holds a lock on it when it must.
bool Refresh(const std::string& file, FileState* state) {
  return IsCurrent(file, *state) || Load(file, state);
}

// Writes the tree over the file. On failure the tree is forgotten (its changes are dropped)
// and the file is left as it was.
LONG WriteState(const std::string& file, FileState* state) {
  if (!MayWrite(file) ||
      (state->parsed.damaged_lines != 0 && !CopyAside(file, state->damaged_text))) {
    state->Forget();
    return ERROR_CANTWRITE;
  }
  const std::string text = FormatRegistryText(state->parsed.root, "", true);
  // A file larger than any reader takes could not even be mended through the registry.
  if (static_cast<off_t>(text.size()) > kMaxFileSize) {
    NoteTooLarge(file);
    state->Forget();
    return ERROR_CANTWRITE;
  }
  const int fd = WriteAtomically(file, text);
  if (fd < 0) {
    state->Forget();
    return ERROR_CANTWRITE;
  }
  if (state->fd >= 0) close(state->fd);
  state->fd = fd;
  state->exists = true;
  state->parsed.damaged_lines = 0;
  state->parsed.first_damaged_line = 0;
  state->damaged_text.clear();
  // The file is written; only knowing it again costs a read when this fails.
  state->valid = fstat(fd, &state->identity) == 0;
  return ERROR_SUCCESS;
}

// Runs `change` on *state's tree. An exception (out of memory) may leave part of a change in the
// tree: the tree is then forgotten, so that the file is read again rather than contradicted.
template <typename Change>
LONG ForgetOnException(FileState* state, Change&& change) {
  try {
    return change();
  } catch (...) {
    state->Forget();
    throw;
  }
}

// TRUE when the calling thread has a batch open on the file `path` names, however it names it.
bool InBatch(const std::string& path) {
  if (!t_batch_owner) return false;
  const BatchState& batch = TheStore().batch;
  if (path == batch.path) return true;
  const std::string file = FollowLinks(path);
  return file == batch.file || IdentifyFile(file) == batch.identity;
}

// The lock the calling thread's batch holds, if it has one: its own writes to other files in
// that folder must not wait for it.
const WriteLock* HeldLock() {
  return t_batch_owner ? &TheStore().batch.lock : nullptr;
}

// The open batch's file state; nullptr (noted) when it cannot be read. Never another lock on
// the file: the batch's own exclusive lock would keep it waiting for ever.
FileState* BatchFile() {
  const std::string& file = TheStore().batch.file;
  FileState& state = StateFor(file);
  // Read again after a refused change; not after a change that failed part way (out of memory)
  // once others were made: reading the file would drop them, and the end would write the rest.
  if (!state.valid && TheStore().batch.changed) {
    NoteFailure(file, "a change failed part way; the batch's changes are dropped");
    return nullptr;
  }
  if (!state.valid && !Load(file, &state)) return nullptr;
  return &state;
}

}  // namespace

LONG ReadRegistry(const std::string& path, const std::function<LONG(const Key& root)>& read) {
  ProcessLock guard;
  if (path.empty()) return read(Key());
  if (InBatch(path)) {
    FileState* batch = BatchFile();
    return batch ? read(batch->parsed.root) : ERROR_CANTREAD;
  }
  FileLook look;
  const std::string file = FollowLinks(path, &look);
  FileState& state = StateFor(file);
  // No lock: files are replaced whole, so a writer in another process (even one stopped in its
  // batch) never keeps a reader waiting.
  if (!IsCurrent(file, state, &look) && !Load(file, &state)) return ERROR_CANTREAD;
  return read(state.parsed.root);
}

LONG ModifyRegistry(const std::string& path,
                    const std::function<LONG(Key& root, bool* changed)>& modify) {
  if (path.empty()) {
    NoteFailure("registry", "no file: neither OMBIX_REGISTRY nor a home directory is set");
    return ERROR_CANTWRITE;
  }
  ProcessLock guard;
  if (InBatch(path)) {
    FileState* batch = BatchFile();
    if (!batch) return ERROR_CANTREAD;
    bool changed = false;
    const LONG result =
        ForgetOnException(batch, [&] { return modify(batch->parsed.root, &changed); });
    if (!changed) return result;
    BatchState& open = TheStore().batch;
    // The first change of a batch finds out whether the file may be written at all; a file
    // that may not is read again, as it is, and the change refused.
    if (!open.changed && !MayWrite(open.file)) {
      batch->Forget();
      return ERROR_CANTWRITE;
    }
    open.changed = true;
    return result;
  }
  const std::string file = FollowLinks(path);
  if (!PrepareFolder(path, file)) return ERROR_CANTWRITE;
  WriteLock lock;
  if (!lock.Take(file, HeldLock())) return ERROR_CANTWRITE;
  FileState& state = StateFor(file);
  if (!Refresh(file, &state)) return ERROR_CANTREAD;
  bool changed = false;
  const LONG result =
      ForgetOnException(&state, [&] { return modify(state.parsed.root, &changed); });
  if (!changed) return result;
  if (result != ERROR_SUCCESS) {
    state.Forget();  // the tree now differs from the file
    return result;
  }
  return ForgetOnException(&state, [&] { return WriteState(file, &state); });
}

LONG BeginBatch(const std::string& path) {
  Store& store = TheStore();
  if (t_batch_owner) {
    ++store.batch.depth;
    return ERROR_SUCCESS;
  }
  if (path.empty()) {
    NoteFailure("registry", "no file: neither OMBIX_REGISTRY nor a home directory is set");
    return ERROR_CANTWRITE;
  }
  std::unique_lock<std::mutex> guard(g_mutex);
  const std::string file = FollowLinks(path);
  if (!PrepareFolder(path, file)) return ERROR_CANTWRITE;
  WriteLock lock;
  if (!lock.Take(file)) return ERROR_CANTWRITE;
  if (!Refresh(file, &StateFor(file))) return ERROR_CANTREAD;
  // Built aside, so that running out of memory half way leaves no half-open batch.
  BatchState begun;
  begun.depth = 1;
  begun.path = path;
  begun.file = file;
  begun.identity = IdentifyFile(file);
  begun.lock = std::move(lock);
  store.batch = std::move(begun);
  guard.release();  // held until the batch ends
  t_batch_owner = true;
  return ERROR_SUCCESS;
}

LONG EndBatch(bool keep) {
  if (!t_batch_owner) return ERROR_INVALID_FUNCTION;
  BatchState& batch = TheStore().batch;
  if (!keep) batch.cancelled = true;
  if (--batch.depth > 0) return ERROR_SUCCESS;
  // The batch ends whatever comes below: an exception (out of memory) drops its changes, as a
  // failed write does, and its locks are still given back.
  struct Ending {
    ~Ending() {
      BatchState& open = TheStore().batch;
      open.lock.Release();
      BatchState ended;
      std::swap(open, ended);  // gives its strings back: nothing is left when the library goes
      t_batch_owner = false;
      g_mutex.unlock();
    }
  } ending;
  if (batch.cancelled) {
    if (batch.changed) StateFor(batch.file).Forget();  // the tree holds what the file never will
    // An end that meant to write must not pass a dropped batch off as a written one.
    return keep ? ERROR_CANCELLED : ERROR_SUCCESS;
  }
  if (!batch.changed) return ERROR_SUCCESS;
  FileState& state = StateFor(batch.file);
  if (!state.valid) return ERROR_CANTREAD;
  return ForgetOnException(&state, [&] { return WriteState(batch.file, &state); });
}

}  // namespace ombix::registry
