// SPDX-License-Identifier: GPL-3.0-or-later
#include "voices/loaded_libraries.h"

#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace voices {

void dropLoaderTables() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) -> int {
            const ElfW(Dyn)* dynamic = nullptr;
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_DYNAMIC)
                    dynamic = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
            // The kernel's vDSO is no file mapping; its tables are a page anyway.
            if (!dynamic || std::strncmp(info->dlpi_name, "linux-vdso", 10) == 0) return 0;
            ElfW(Addr) rela = 0, relaSize = 0, plt = 0, pltSize = 0;
            ElfW(Addr) hash = 0, gnuHash = 0, symbols = 0, names = 0, namesSize = 0;
            for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d) {
                switch (d->d_tag) {
                    case DT_RELA: rela = d->d_un.d_ptr; break;
                    case DT_RELASZ: relaSize = d->d_un.d_val; break;
                    case DT_JMPREL: plt = d->d_un.d_ptr; break;
                    case DT_PLTRELSZ: pltSize = d->d_un.d_val; break;
                    case DT_HASH: hash = d->d_un.d_ptr; break;
                    case DT_GNU_HASH: gnuHash = d->d_un.d_ptr; break;
                    case DT_SYMTAB: symbols = d->d_un.d_ptr; break;
                    case DT_STRTAB: names = d->d_un.d_ptr; break;
                    case DT_STRSZ: namesSize = d->d_un.d_val; break;
                    case DT_TEXTREL: return 0;  // its read-only pages were written to
                    default: break;
                }
            }
            const auto page = static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE));
            const auto drop = [&](ElfW(Addr) at, ElfW(Addr) size) {
                if (!at || !size) return;
                // glibc has made these entries absolute on x86-64; other
                // loaders leave them relative to the object.
                if (at < info->dlpi_addr) at += info->dlpi_addr;
                // Only inside a segment that is never written.
                bool readOnly = false;
                for (int i = 0; i < info->dlpi_phnum; ++i) {
                    const auto& ph = info->dlpi_phdr[i];
                    const ElfW(Addr) start = info->dlpi_addr + ph.p_vaddr;
                    if (ph.p_type == PT_LOAD && !(ph.p_flags & PF_W) && at >= start &&
                        at + size <= start + ph.p_memsz)
                        readOnly = true;
                }
                if (!readOnly) return;
                const ElfW(Addr) first = (at + page - 1) & ~(page - 1);
                const ElfW(Addr) end = (at + size) & ~(page - 1);
                if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
            };
            // The hash tables, the symbols and their names lie together, in
            // that order, ahead of the relocations.
            ElfW(Addr) tables = symbols;
            if (hash && hash < tables) tables = hash;
            if (gnuHash && gnuHash < tables) tables = gnuHash;
            if (tables && names > tables) drop(tables, names + namesSize - tables);
            drop(rela, relaSize);
            drop(plt, pltSize);
            return 0;
        },
        nullptr);
}

}  // namespace voices
