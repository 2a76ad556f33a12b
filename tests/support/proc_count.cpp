// proc_count.cpp - process counters and PE table readers for the music tests.
#include "proc_count.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

DWORD ProcessHandleCount()
{
    DWORD n = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &n) && n > 0)
        return n;
    // Wine answers 0 here. Its handles are small table indices handed out
    // lowest first, so the open ones can be counted by asking about each
    // until a long run of unused values follows the last one in use.
    const UINT_PTR HANDLE_PROBE_END = 0x10000;
    const UINT_PTR UNUSED_RUN = 0x400;
    UINT_PTR lastUsed = 0;
    for (UINT_PTR h = 4; h < HANDLE_PROBE_END && h - lastUsed < UNUSED_RUN; h += 4) {
        DWORD flags;
        if (GetHandleInformation((HANDLE)h, &flags)) {
            n++;
            lastUsed = h;
        }
    }
    return n;
}

std::vector<DWORD> ProcessThreadIds()
{
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return ids;
    THREADENTRY32 te;
    te.dwSize = sizeof te;
    DWORD pid = GetCurrentProcessId();
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == pid)
            ids.push_back(te.th32ThreadID);
    CloseHandle(snap);
    std::sort(ids.begin(), ids.end());
    return ids;
}

DWORD ProcessThreadCount()
{
    return (DWORD)ProcessThreadIds().size();
}

SIZE_T ProcessPrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX pmc;
    std::memset(&pmc, 0, sizeof pmc);
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&pmc, sizeof pmc);
    return pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
}

int ModuleThreadCount(HMODULE module)
{
    // The start address comes from NtQueryInformationThread; class 9 is
    // ThreadQuerySetWin32StartAddress.
    typedef LONG(WINAPI * QueryThreadFn)(HANDLE, int, PVOID, ULONG, PULONG);
    const int THREAD_START_ADDRESS_CLASS = 9;
    QueryThreadFn query = (QueryThreadFn)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                               "NtQueryInformationThread");
    MODULEINFO mi;
    if (!query || !module || !GetModuleInformation(GetCurrentProcess(), module, &mi, sizeof mi))
        return -1;
    const BYTE* lo = (const BYTE*)mi.lpBaseOfDll;
    const BYTE* hi = lo + mi.SizeOfImage;
    int n = 0;
    for (DWORD id : ProcessThreadIds()) {
        HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
        if (!h)
            continue;
        void* start = NULL;
        if (query(h, THREAD_START_ADDRESS_CLASS, &start, sizeof start, NULL) == 0 &&
            (const BYTE*)start >= lo && (const BYTE*)start < hi)
            n++;
        CloseHandle(h);
    }
    return n;
}

PROCCOUNTS LowestCounts(DWORD windowMs)
{
    const DWORD SAMPLE_MS = 50;
    PROCCOUNTS low = {ProcessHandleCount(), ProcessThreadCount(), ProcessPrivateBytes()};
    for (DWORD waited = 0; waited < windowMs; waited += SAMPLE_MS) {
        Sleep(SAMPLE_MS);
        low.handles = std::min(low.handles, ProcessHandleCount());
        low.threads = std::min(low.threads, ProcessThreadCount());
        low.memory = std::min(low.memory, ProcessPrivateBytes());
    }
    return low;
}

PROCCOUNTS SettledCounts(const PROCCOUNTS& base, DWORD timeoutMs)
{
    const DWORD WINDOW_MS = 500;
    PROCCOUNTS now = LowestCounts(WINDOW_MS);
    for (DWORD waited = WINDOW_MS; waited < timeoutMs; waited += WINDOW_MS) {
        if (now.handles <= base.handles && now.threads <= base.threads && now.memory <= base.memory)
            break;
        now = LowestCounts(WINDOW_MS);
    }
    return now;
}

static double FileTimeSeconds(const FILETIME& ft)
{
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return (double)u.QuadPart / 1e7;
}

double ProcessCpuSeconds()
{
    FILETIME c, e, k, u;
    if (!GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u))
        return 0.0;
    return FileTimeSeconds(k) + FileTimeSeconds(u);
}

double ThreadCpuSeconds(HANDLE thread)
{
    FILETIME c, e, k, u;
    if (!thread || !GetThreadTimes(thread, &c, &e, &k, &u))
        return 0.0;
    return FileTimeSeconds(k) + FileTimeSeconds(u);
}

std::string ExeDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return std::string();
    std::string s(path, n);
    size_t cut = s.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : s.substr(0, cut + 1);
}

std::string MakeTempDir(const char* tag)
{
    char base[MAX_PATH];
    DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n >= sizeof base)
        return std::string();
    for (unsigned i = 0; i < 1000; i++) {
        char dir[MAX_PATH];
        std::snprintf(dir, sizeof dir, "%s%s-%lu-%u", base, tag, GetCurrentProcessId(), i);
        if (CreateDirectoryA(dir, NULL))
            return std::string(dir) + "\\";
    }
    return std::string();
}

void RemoveTempDir(const std::string& dir)
{
    if (dir.empty())
        return;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((dir + fd.cFileName).c_str());
            else if (std::strcmp(fd.cFileName, ".") && std::strcmp(fd.cFileName, ".."))
                RemoveDirectoryA((dir + fd.cFileName).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

bool WriteBytes(const std::string& path, const void* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool ReadBytes(const std::string& path, std::vector<unsigned char>& out)
{
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return true;
}

static const IMAGE_DATA_DIRECTORY* Directory(HMODULE module, int which)
{
    const BYTE* base = (const BYTE*)module;
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + dos->e_lfanew);
    return &nt->OptionalHeader.DataDirectory[which];
}

std::vector<int> ImportOrdinals(HMODULE module, const char* dll)
{
    std::vector<int> result;
    const BYTE* base = (const BYTE*)module;
    const IMAGE_DATA_DIRECTORY* dir = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (!dir->VirtualAddress)
        return result;
    for (const IMAGE_IMPORT_DESCRIPTOR* d = (const IMAGE_IMPORT_DESCRIPTOR*)(base + dir->VirtualAddress);
         d->Name; d++) {
        if (lstrcmpiA((const char*)(base + d->Name), dll) != 0)
            continue;
        // The lookup table keeps what the linker wrote; the address table
        // has been overwritten by the loader.
        DWORD lookup = d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk;
        for (const IMAGE_THUNK_DATA* t = (const IMAGE_THUNK_DATA*)(base + lookup); t->u1.Ordinal; t++) {
            if (IMAGE_SNAP_BY_ORDINAL(t->u1.Ordinal))
                result.push_back((int)IMAGE_ORDINAL(t->u1.Ordinal));
            else
                result.push_back(-1);
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}

std::vector<int> ExportOrdinals(HMODULE dll, DWORD* nameCount)
{
    std::vector<int> result;
    const BYTE* base = (const BYTE*)dll;
    const IMAGE_DATA_DIRECTORY* dir = Directory(dll, IMAGE_DIRECTORY_ENTRY_EXPORT);
    *nameCount = 0;
    if (!dir->VirtualAddress)
        return result;
    const IMAGE_EXPORT_DIRECTORY* e = (const IMAGE_EXPORT_DIRECTORY*)(base + dir->VirtualAddress);
    const DWORD* functions = (const DWORD*)(base + e->AddressOfFunctions);
    for (DWORD i = 0; i < e->NumberOfFunctions; i++)
        if (functions[i])
            result.push_back((int)(e->Base + i));
    *nameCount = e->NumberOfNames;
    return result;
}
