// The serial store's file: where it is, reading it, and rewriting it whole
// under a lock on its folder, atomically and through a symbolic link.
// Internal to the store (platform/linux/serialstore*.cpp).
#pragma once

#include <functional>
#include <string>

namespace plat::store {

// The store's folder (<Config>) and file (<Config>/serial.conf).
std::string StoreDir();
std::string StorePath();

// The store's text; a missing or unreadable file reads as empty.
std::string ReadStoreText();

// Rewrites the store: `rewrite` gets its text as it stands and returns what
// it becomes. Holds a lock on the store's folder, which every process
// writing this store takes too (mptest and the virtual printer both come
// here), for the whole read-change-write. The new text goes to a temporary
// file in the same folder, is flushed and renamed over the old; a store that
// is a symbolic link is written through it (the file it leads to is
// replaced in its own folder, keeping its permissions, and the link stays).
// Text that is unchanged is not written. False with the last error set when
// the store cannot be written; the old store is then untouched.
bool RewriteStoreText(const std::function<std::string(const std::string& before)>& rewrite);

} // namespace plat::store
