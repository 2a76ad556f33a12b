// gdi_count.cpp - counts the process's GDI objects (see gdi_count.h).
#include "gdi_count.h"

#include <windows.h>
#include <winternl.h>

namespace {

// One entry of the GDI handle table that the PEB points to; a used entry has
// a non-zero type. Layout as the 64-bit and 32-bit systems share it.
struct GdiHandleEntry {
    ULONGLONG object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    ULONGLONG user;
};

const int GDI_TABLE_ENTRIES = 0x10000;

#ifdef _WIN64
const size_t PEB_GDI_TABLE_OFFSET = 0xF8;
#else
const size_t PEB_GDI_TABLE_OFFSET = 0x94;
#endif

typedef LONG(WINAPI* QUERYPROCESSPROC)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

PEB* ProcessPeb()
{
    // Asked of ntdll rather than read through the TEB's segment register,
    // which the compiler cannot see into.
    QUERYPROCESSPROC query = (QUERYPROCESSPROC)(void (*)(void))GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION info;
    ULONG got = 0;
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &info, sizeof info, &got) != 0)
        return NULL;
    return info.PebBaseAddress;
}

int CountFromTable()
{
    PEB* peb = ProcessPeb();
    if (!peb)
        return -1;
    const GdiHandleEntry* table =
        *(const GdiHandleEntry* const*)((const char*)peb + PEB_GDI_TABLE_OFFSET);
    if (!table)
        return -1;
    int n = 0;
    for (int i = 0; i < GDI_TABLE_ENTRIES; i++)
        if (table[i].type != 0)
            n++;
    return n;
}

} // namespace

int GdiObjectCount(void)
{
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n != 0)
        return (int)n;
    return CountFromTable();
}
