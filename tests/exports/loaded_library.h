// Helpers for tests that load the driver library the way the runtime does:
// dlopen, dlsym of the C entry points, a minimal runtime database and
// channel, a hand-built configuration blob, and a look at what the loaded
// library's own relocations resolved to.
#pragma once

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/hostif.h"

#ifndef VEMO_LIBRARY_PATH
#error "VEMO_LIBRARY_PATH must name the built driver library"
#endif

#if __ELF_NATIVE_CLASS == 64
#define VEMO_ELF_R_SYM ELF64_R_SYM
#else
#define VEMO_ELF_R_SYM ELF32_R_SYM
#endif

namespace vemo_test {

typedef IDeviceCtrl* (*CreateFn)(const char*, IDevRtdbCtrl*);
typedef int (*DestroyFn)(IDeviceCtrl*);
typedef int (*VersionFn)(int, IDeviceCtrl*);

// The library built with this tree, or another one named by VEMO_LIBRARY.
inline std::string LibraryPath()
{
    const char* other = std::getenv("VEMO_LIBRARY");
    return other != nullptr && *other != '\0' ? other : VEMO_LIBRARY_PATH;
}

// dlsym result as a function pointer (POSIX guarantees the conversion).
template <class FN>
FN Symbol(void* handle, const char* name)
{
    void* p = dlsym(handle, name);
    FN fn = nullptr;
    static_assert(sizeof(fn) == sizeof(p), "function and object pointers differ in size");
    std::memcpy(&fn, &p, sizeof(fn));
    return fn;
}

template <class FN>
void* Address(FN fn)
{
    void* p = nullptr;
    std::memcpy(&p, &fn, sizeof(p));
    return p;
}

// Database that answers every call with success and counts the calls.
class CountingRtdb : public IDevRtdbCtrl2 {
public:
    virtual ~CountingRtdb() = default;
    int calls = 0;
    int GetValueTypeByName(const char*, DATATYPE& type) override
    {
        type = DATATYPE_INT;
        return Count();
    }
    int GetValueByName(const char*, int&) override { return Count(); }
    int GetValueByName(const char*, double&) override { return Count(); }
    int GetValueByName(const char*, std::string&) override { return Count(); }
    int SetValueByName(const char*, int) override { return Count(); }
    int SetValueByName(const char*, double) override { return Count(); }
    int SetValueByName(const char*, std::string&) override { return Count(); }
    int GetValueTypeByChannel(int, DATATYPE& type) override
    {
        type = DATATYPE_INT;
        return Count();
    }
    int GetValueByChannel(int, int&) override { return Count(); }
    int GetValueByChannel(int, double&) override { return Count(); }
    int GetValueByChannel(int, std::string&) override { return Count(); }
    int SetValueByChannel(int, int) override { return Count(); }
    int SetValueByChannel(int, double) override { return Count(); }
    int SetValueByChannel(int, std::string&) override { return Count(); }
    int GetValueIDByChannel(int, int& id) override
    {
        id = 0;
        return Count();
    }
    int SetCollectFlagSuc(int) override { return Count(); }

private:
    int Count()
    {
        ++calls;
        return 0;
    }
};

// A channel that accepts every request and never answers.
class SilentComm : public ICommunication {
public:
    virtual ~SilentComm() = default;
    int writes = 0;
    int reads = 0;
    int WriteData(const unsigned char*, int& length, int) override
    {
        ++writes;
        return length;
    }
    int ReadData(unsigned char*, int& length, int) override { return Nothing(length); }
    int ReadDataByLen(unsigned char*, int& length, int) override { return Nothing(length); }
    int ReadDataByEndStr(unsigned char*, int& length, const char*, int) override { return Nothing(length); }
    int ClearInBuff() override { return 0; }
    int SetDevName(const char*) override { return 0; }
    int GetCommType() override { return 1; }

private:
    int Nothing(int& length)
    {
        ++reads;
        length = 0;
        return 0;
    }
};

// Configuration blob written byte by byte, little-endian: format marker,
// property count and values, row count, then one row of a 16-bit register
// (read-write, area 14, address 100, bit 0, data type 83, fast-read 0,
// block maximum 0, name).
inline std::vector<unsigned char> OneRegisterBlob(int32_t waitMs)
{
    std::vector<unsigned char> b = {0x20, 0x4E};
    auto u32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    u32(9);
    const int32_t props[9] = {1, waitMs, 0, 0, 0, 0, 0, 0, 0};  // station, wait time, orders
    for (int32_t p : props) u32(static_cast<uint32_t>(p));
    u32(1);
    for (uint32_t v : {2u, 14u, 100u, 0u, 83u, 0u, 0u}) u32(v);
    const std::string name = "读写D0100";
    u32(static_cast<uint32_t>(name.size()));
    b.insert(b.end(), name.begin(), name.end());
    return b;
}

// What the loaded library's relocations against `symbol` hold once the
// dynamic linker is done (RTLD_NOW): the function its own calls reach.
// Empty when the library has no such relocation, i.e. its calls were bound
// at link time (not interposable) or it never calls the function.
inline std::vector<uintptr_t> ResolvedTargets(void* handle, const char* symbol)
{
    std::vector<uintptr_t> targets;
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return targets;
    std::ifstream in(map->l_name, std::ios::binary | std::ios::ate);
    std::vector<char> file(in ? static_cast<size_t>(in.tellg()) : 0);
    in.seekg(0);
    if (!in.read(file.data(), static_cast<std::streamsize>(file.size()))) return targets;
    auto fits = [&file](uint64_t offset, uint64_t size) {
        return offset <= file.size() && size <= file.size() - offset;
    };
    ElfW(Ehdr) eh;
    if (!fits(0, sizeof(eh))) return targets;
    std::memcpy(&eh, file.data(), sizeof(eh));
    if (eh.e_shentsize != sizeof(ElfW(Shdr)) || !fits(eh.e_shoff, uint64_t(eh.e_shnum) * sizeof(ElfW(Shdr))))
        return targets;
    std::vector<ElfW(Shdr)> sections(eh.e_shnum);
    std::memcpy(sections.data(), file.data() + eh.e_shoff, sections.size() * sizeof(ElfW(Shdr)));

    for (const ElfW(Shdr) & rel : sections) {
        if ((rel.sh_type != SHT_REL && rel.sh_type != SHT_RELA) || rel.sh_entsize == 0) continue;
        if (rel.sh_link >= sections.size() || !fits(rel.sh_offset, rel.sh_size)) continue;
        const ElfW(Shdr)& syms = sections[rel.sh_link];
        if (syms.sh_link >= sections.size()) continue;
        const ElfW(Shdr)& strs = sections[syms.sh_link];
        for (uint64_t off = 0; off + rel.sh_entsize <= rel.sh_size; off += rel.sh_entsize) {
            // Rel and Rela begin alike: offset, then info.
            ElfW(Rel) r;
            std::memcpy(&r, file.data() + rel.sh_offset + off, sizeof(r));
            const uint64_t symOff = syms.sh_offset + uint64_t(VEMO_ELF_R_SYM(r.r_info)) * sizeof(ElfW(Sym));
            if (VEMO_ELF_R_SYM(r.r_info) == 0 || !fits(symOff, sizeof(ElfW(Sym)))) continue;
            ElfW(Sym) sym;
            std::memcpy(&sym, file.data() + symOff, sizeof(sym));
            const uint64_t nameOff = strs.sh_offset + sym.st_name;
            const size_t len = std::strlen(symbol) + 1;
            if (!fits(nameOff, len) || std::memcmp(file.data() + nameOff, symbol, len) != 0) continue;
            uintptr_t slot = 0;
            std::memcpy(&slot, reinterpret_cast<const void*>(map->l_addr + r.r_offset), sizeof(slot));
            targets.push_back(slot);
        }
    }
    return targets;
}

}  // namespace vemo_test
