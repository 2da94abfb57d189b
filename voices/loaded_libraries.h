// SPDX-License-Identifier: GPL-3.0-or-later
// Memory the program's shared libraries keep resident after loading.
#pragma once

namespace speech {

// The dynamic loader reads an object's relocation tables once, while it
// loads it, and never again; their pages stay in the process's resident set
// all the same: Qt's libraries hold about 2 MB of them, the embedded voice
// (slt has 41,000 relocations for the pointers in its model) and its sound
// libraries about 1 MB more. dropRelocationTables() hands the whole pages of
// those tables back, for every object loaded so far. They lie in read-only file mappings, so the kernel simply unmaps
// them; should anything read them again it gets the file's pages back.
//
// Called by the speech engines once they have loaded their libraries,
// off the window's thread. Safe at any time and on any thread: an object another thread is loading
// just reads its tables again from the page cache. Takes about 0.2 ms.
void dropRelocationTables();

}  // namespace speech
