// The registry file on the disk (private to the registry implementation): where it is, reading
// it and replacing it (its lock: registry_lock.h). registry_file.h says what the registry makes
// of these.
#pragma once

#include <sys/stat.h>

#include <string>

namespace ombix::registry {

// ${XDG_CONFIG_HOME:-$HOME/.config}/ombix/registry.reg; empty when no home directory is known.
// Both are taken from the current folder when they are relative (the process may change it).
std::string DefaultRegistryPath();
// $OMBIX_REGISTRY, else DefaultRegistryPath(). Looked up on each call.
std::string ResolveRegistryPath();

// What the last look of FollowLinks found: the file itself, unless the walk ended on a link.
// A caller that wants the file's stat right away need not ask for it again.
struct FileLook {
  bool done = false;  // FALSE: the walk ended on a link (a loop, an unreadable link)
  int error = 0;      // the look's errno; 0 when st holds the file
  struct stat st = {};
};

// The file that `path` names once symbolic links are followed (a loop is left to the file
// functions to report); *look (when given) receives what the last look found.
std::string FollowLinks(const std::string& path, FileLook* look = nullptr);

// The folder of `file` (what `path` names) exists, or is made when `path` is the default one.
// FALSE with the cause noted.
bool PrepareFolder(const std::string& path, const std::string& file);

// FALSE (with the cause noted) when the file exists and its owner's intent or its permissions
// forbid writing it, or a write by this process would lock its owner out (registry_owner.h).
bool MayWrite(const std::string& file);

// The largest registry file read (32,768 lines take about 2 MB); a larger one is refused before
// anything is allocated for it.
inline constexpr off_t kMaxFileSize = off_t{64} << 20;

// Opens the registry file for reading without ever waiting (a FIFO, a device): only a regular
// file of at most kMaxFileSize bytes is read. Returns its descriptor (close-on-exec) with its
// fstat in *st; -1 with *missing set when there is no such file, else -1 with the cause noted
// ("not a regular file", "too large").
int OpenRegistryFile(const std::string& file, struct stat* st, bool* missing);

// Reads what `fd` holds from its start, at most kMaxFileSize bytes. FALSE with errno set
// (EFBIG: the file grew past that).
bool ReadAll(int fd, std::string* text);
// Notes that `file` is (or a write would make it) larger than the registry reads.
void NoteTooLarge(const std::string& file);

// Keeps the damaged text beside the file before the file is rewritten. FALSE (noted) when no
// copy could be kept.
bool CopyAside(const std::string& file, const std::string& text);

// Writes `text` to a temporary file beside `file`, syncs it and renames it over `file`. Returns
// a read-write descriptor (close-on-exec) of the new file, or -1 with the cause noted and
// `file` untouched. Only a regular file (or none) is replaced: anything else at `file` is
// refused ("not a regular file"). The caller holds the exclusive lock: the temporary files that
// writers killed mid-write left beside `file` are removed first.
int WriteAtomically(const std::string& file, const std::string& text);

// Records "<path>: <cause>" as the calling thread's last file failure and passes it to the
// debugger output.
void NoteFailure(const std::string& path, const char* cause);
void NoteErrno(const std::string& path, int error);
// "<file>: <cause>" for the calling thread's last ERROR_CANTREAD or ERROR_CANTWRITE; empty
// before the first. The same text goes to the debugger output when it is noted.
std::string LastFileFailure();

}  // namespace ombix::registry
