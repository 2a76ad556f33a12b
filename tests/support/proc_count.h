// proc_count.h - what a process holds, for leak checks and benchmarks of the
// music library, and the PE tables that show how it is linked.
#ifndef PROC_COUNT_H
#define PROC_COUNT_H

#include <windows.h>

#include <string>
#include <vector>

// Kernel handles, threads and private memory of this process.
DWORD ProcessHandleCount();
DWORD ProcessThreadCount();
SIZE_T ProcessPrivateBytes();

// Ids of this process's threads, sorted.
std::vector<DWORD> ProcessThreadIds();

// Threads of this process that started inside the image of `module`.
int ModuleThreadCount(HMODULE module);

// Handle, thread and memory counts of this process.
struct PROCCOUNTS {
    DWORD handles;
    DWORD threads;
    SIZE_T memory;
};

// The lowest counts seen over windowMs. Wine's sound driver starts and ends
// helper threads (each with its stack and a handle) on its own schedule, so
// one reading can catch one in passing; a real leak raises the lowest too.
PROCCOUNTS LowestCounts(DWORD windowMs);

// Like LowestCounts, but keeps looking (up to timeoutMs) until the counts
// are back down to `base`, then returns what it saw last.
PROCCOUNTS SettledCounts(const PROCCOUNTS& base, DWORD timeoutMs);

// Seconds of CPU time (user + kernel) used so far.
double ProcessCpuSeconds();
double ThreadCpuSeconds(HANDLE thread);

// The folder of this program with a trailing backslash.
std::string ExeDir();

// A new empty folder under the temporary folder, with a trailing backslash.
std::string MakeTempDir(const char* tag);
// Removes the files directly inside dir, then dir itself.
void RemoveTempDir(const std::string& dir);
bool WriteBytes(const std::string& path, const void* data, size_t size);
bool ReadBytes(const std::string& path, std::vector<unsigned char>& out);

// Import entries of `module` from the DLL named `dll` (case-insensitive):
// ordinals for entries imported by ordinal, -1 for each imported by name.
std::vector<int> ImportOrdinals(HMODULE module, const char* dll);
// Export table of a loaded DLL: the ordinals with an address, and the
// number of exported names.
std::vector<int> ExportOrdinals(HMODULE dll, DWORD* nameCount);

#endif // PROC_COUNT_H
