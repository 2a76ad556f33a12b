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

// Waits up to timeoutMs for the handle and thread counts to come back down
// to the given ones: Wine's sound driver ends its own helper threads a
// little after a device closes. True if they did.
bool CountsSettle(DWORD handles, DWORD threads, DWORD timeoutMs);

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
