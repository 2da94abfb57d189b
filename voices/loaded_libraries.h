// SPDX-License-Identifier: GPL-3.0-or-later
// Memory the program's shared libraries keep resident after loading.
#pragma once

namespace voices {

// The dynamic loader reads an object's relocation tables once, while it
// loads it, and never again, and its symbol tables (symbols, their names,
// the hash tables, looked up for the objects that link against it) only
// while loading or in a later dlopen() or dlsym(). Their pages stay in the
// process's resident set all the same, megabytes of them
// (docs/qt-notes.md).
// dropLoaderTables() hands the whole pages of those tables back, for every
// object loaded so far. They lie in read-only file mappings, so the kernel
// simply unmaps them; a later lookup gets the file's pages back from the
// page cache.
//
// Called by the speech engines after they load their libraries, and by the
// Speech Dispatcher engine before it connects (so that the embedded voice,
// should it take over, loads its own with none of the window's resident),
// off the window's thread. Safe at any time and on any thread: an object
// another thread is loading just reads its tables again from the page
// cache.
void dropLoaderTables();

}  // namespace voices
