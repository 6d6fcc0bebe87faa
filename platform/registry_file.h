// The registry file as the registry functions see it (private to the registry implementation):
// the parsed tree kept between calls, the locking around it, and batches. The disk side (paths,
// the lock file, reading, the atomic replace) is in registry_disk.h.
//
// The file is the one the path names once symbolic links are followed: a link stays a link, and
// all its writers share the target's lock. The trees this process read are kept by that
// resolved path; a batch knows its file however it is named (registry_lock.h).
// A kept tree is used as long as the file is the one it was read from. Every write replaces
// the file (a temporary file, synced and renamed over it), so another process's write gives
// the path another file. The file a tree was read from is held open while the tree is kept:
// its inode cannot be reused by a later file, and a call compares what the path names now
// (stat: device, inode, size, modification and change times) with what was read. So two quick
// writes of the same size by another process, within one tick of a coarse clock, are still
// seen.
// Reading takes no lock: the file is only ever replaced whole, so a reader never waits for a
// writer in another process. Writing takes the writers' exclusive lock (registry_lock.h) across
// read-modify-write, so no two writers lose each other's changes, even when "<file>.lock" is
// deleted meanwhile. A file whose owner may not write it (no owner write bit, whoever the
// process is), that the process may not write, or whose owner a rewrite by this process would
// lock out (registry_owner.h) is left as it is. A missing file is an empty registry; what is
// not a regular file, or is too large, is neither read nor replaced (registry_disk.h), and no
// write makes the file larger than a reader takes. A writer first removes the temporary files
// that writers killed mid-write left beside the file.
// Writing creates the default folder when it is missing, never the folder of a path given in
// OMBIX_REGISTRY.
// A damaged file is reported once per process on standard error, read as far as it is valid,
// and copied to "<file>.damaged-<UTC time>" before it is first rewritten.
// A batch (BeginBatch .. EndBatch) holds the exclusive lock and this process's registry lock
// from its beginning to its end: the calls of the thread that began it on its file, under any
// name, apply to the kept tree, which is written once at the end.
// Thread-safe: operations of one process run one at a time. The descriptors kept open are
// closed on exec; a process forked during a batch shares its lock until it exits or execs.
#pragma once

#include <functional>
#include <string>

#include "platform/registry_tree.h"

namespace ombix::registry {

// Runs `read` on the registry in `path`; returns its result, or ERROR_CANTREAD when the file
// exists but cannot be read.
LONG ReadRegistry(const std::string& path, const std::function<LONG(const Key& root)>& read);

// Runs `modify` on the registry in `path` under the exclusive lock. `modify` sets *changed when
// it changed the tree; the result is then written before the lock is released (inside a batch:
// when the batch ends). Returns the result of `modify`, or ERROR_CANTREAD / ERROR_CANTWRITE
// when the file could not be read or written (the change is then not made).
LONG ModifyRegistry(const std::string& path,
                    const std::function<LONG(Key& root, bool* changed)>& modify);

// Begins (or, on the thread that has one, nests) a batch on the registry in `path`; see
// OmbixRegBeginBatch in registry.h. ERROR_CANTWRITE / ERROR_CANTREAD when the file cannot be
// locked or read: no batch is then open.
LONG BeginBatch(const std::string& path);
// Ends the calling thread's batch; the outermost end writes what changed, unless this or an
// inner end was told not to keep it. See OmbixRegEndBatch and OmbixRegCancelBatch.
LONG EndBatch(bool keep);

}  // namespace ombix::registry
