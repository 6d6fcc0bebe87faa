// Who owns a registry file after a rewrite (private to the registry implementation).
//
// A rewrite is a new file, so it is the writer's unless it is given back. It keeps the old
// owner where the writer may give it (root, or the owner itself). Otherwise it keeps the old
// group, and is written only when the old owner can still read and write it through that group
// (the owner is a member, by the user and group databases, and the group bits allow both); a
// write by another user must never take the settings from their owner.
#pragma once

#include <sys/stat.h>

#include <string>

namespace ombix::registry {

// FALSE (noted) when this process's rewrite of `file`, whose stat is `old`, would lock its
// owner out. Asked before a write; KeepOwner has the last word.
bool OwnerKeepsAccess(const std::string& file, const struct stat& old);

// Gives the new file `fd` the owner and group of the old one (`old`) where it may. FALSE
// (noted) when the old owner could not read and write the new file: it must not replace the old.
bool KeepOwner(int fd, const struct stat& old, const std::string& file);

}  // namespace ombix::registry
