// The registry file and the locking around it (private to the registry implementation).
//
// The file is the one the path names once symbolic links are followed: a link stays a link, and
// all its writers share the target's lock.
// Every operation reads the file afresh under an advisory lock on "<file>.lock" beside it
// (shared to read, exclusive across read-modify-write), so each process sees what the others
// wrote and no two writers lose each other's changes. A change is written to a temporary file
// in the same directory, synced and renamed over the file; a file whose owner may not write it
// (no owner write bit, whoever the process is) or that the process may not write is left as it
// is. A missing file is an empty registry. Writing creates the default folder when it is missing,
// never the folder of a path given in OMBIX_REGISTRY.
// A damaged file is reported once per process on standard error, read as far as it is valid,
// and copied to "<file>.damaged-<UTC time>" before it is first rewritten.
// Thread-safe: operations of one process run one at a time.
#pragma once

#include <functional>
#include <string>

#include "platform/registry_tree.h"

namespace ombix::registry {

// $OMBIX_REGISTRY, else ${XDG_CONFIG_HOME:-$HOME/.config}/ombix/registry.reg; empty when no
// home directory is known. Looked up on each call.
std::string ResolveRegistryPath();

// Runs `read` on the registry in `path`; returns its result, or ERROR_CANTREAD when the file
// exists but cannot be read.
LONG ReadRegistry(const std::string& path, const std::function<LONG(const Key& root)>& read);

// Runs `modify` on the registry in `path` under the exclusive lock. `modify` sets *changed when
// it changed the tree; the result is then written before the lock is released. Returns the
// result of `modify`, or ERROR_CANTREAD / ERROR_CANTWRITE when the file could not be read or
// written (the change is then not made).
LONG ModifyRegistry(const std::string& path,
                    const std::function<LONG(Key& root, bool* changed)>& modify);

// "<file>: <cause>" for the calling thread's last ERROR_CANTREAD or ERROR_CANTWRITE; empty
// before the first. The same text goes to the debugger output when it is noted.
std::string LastFileFailure();

}  // namespace ombix::registry
