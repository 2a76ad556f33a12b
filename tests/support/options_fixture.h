// options_fixture.h - what the options tests share: a recorder for the error box and
// a scratch store of either kind (the in-memory store or the real registry under a
// scratch subtree of HKEY_CURRENT_USER), installed as the options store.
#ifndef OPTIONS_FIXTURE_H
#define OPTIONS_FIXTURE_H

#include <windows.h>

#include <string>
#include <vector>

#include "STAKKA.h"
#include "memstore.h"
#include "options.h"
#include "store.h"

struct BoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

std::vector<BoxCall>& RecordedBoxes();

// Records MbError's boxes instead of showing them, while it lives.
class MessageRecorder
{
  public:
    MessageRecorder();
    ~MessageRecorder();
    std::vector<std::string> Texts() const;
    const std::vector<BoxCall>& Calls() const { return RecordedBoxes(); }
    void Clear() { RecordedBoxes().clear(); }

  private:
    MBERRORBOXPROC previous;
};

enum StoreKind { MEM_STORE, REG_STORE };
inline const char* StoreKindName(StoreKind kind)
{
    return kind == MEM_STORE ? "Memory" : "Registry";
}

// A fresh, empty store of the given kind, installed with SetOptionsStore while it
// lives. Paths below are full paths from the store's root.
class StoreHarness
{
  public:
    StoreHarness(StoreKind kind, const char* tag);
    ~StoreHarness();

    StoreKind kind;
    Store* store;
    MemStore* mem;    // null for the registry
    std::string base; // the registry's scratch subtree under HKEY_CURRENT_USER

    int PutRaw(const char* path, const char* name, const std::string& data, DWORD type);
    int PutText(const char* path, const char* name, const std::string& text)
    {
        return PutRaw(path, name, std::string(text.c_str(), text.size() + 1), REG_SZ);
    }
    int GetRaw(const char* path, const char* name, std::string* data, DWORD* type);
    // The stored text of a string value, without its terminator; "<missing>" when absent.
    std::string GetText(const char* path, const char* name);
    std::vector<std::string> Names(const char* path);
    int KeyExists(const char* path);
    std::string KeyClass(const char* path);
    int DeleteKey(const char* path) { return store->DeleteKey(NULL, path); }

  private:
    Store* previous;
    HKEY OpenReg(const char* path, int create);
};

// Paths of the options keys (szRegKey and its subkeys).
inline std::string AppKey()
{
    return szRegKey;
}
inline std::string SubKey(const char* subkey)
{
    return AppKey() + "\\" + subkey;
}

#endif
