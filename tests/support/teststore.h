// teststore.h - the real registry store aimed at a scratch key of HKEY_CURRENT_USER (one per
// test program, emptied when made and when gone), able to fail chosen operations on keys
// whose path ends with a chosen name (case ignored), and counting the keys left open.
#ifndef TESTSTORE_H
#define TESTSTORE_H

#include <windows.h>

#include <shlwapi.h>

#include <map>
#include <string>
#include <vector>

#include "store.h"

const unsigned FAIL_CREATE = 1, FAIL_OPEN = 2, FAIL_READ = 4, FAIL_WRITE = 8;

class TestStore : public RegStore
{
  public:
    explicit TestStore(const char* tag = "")
        : RegStore(HKEY_CURRENT_USER, Base(tag).c_str()), base(Base(tag))
    {
        DeleteKey(NULL, "");
    }
    ~TestStore() override { DeleteKey(NULL, ""); }

    int OpenKey(STOREKEY p, const char* path, STOREKEY* k) override
    {
        return Track(path, k, !Fails(FAIL_OPEN, path) && RegStore::OpenKey(p, path, k));
    }
    int CreateKey(STOREKEY p, const char* path, STOREKEY* k) override
    {
        return Track(path, k, !Fails(FAIL_CREATE, path) && RegStore::CreateKey(p, path, k));
    }
    void CloseKey(STOREKEY key) override
    {
        open.erase(key);
        RegStore::CloseKey(key);
    }
    int QueryValue(STOREKEY key, const char* name, char* buf, DWORD cb) override
    {
        return !Fails(FAIL_READ, open.count(key) ? open[key] : "") &&
               RegStore::QueryValue(key, name, buf, cb);
    }
    int SetValue(STOREKEY key, const char* name, const char* text) override
    {
        return !Fails(FAIL_WRITE, "") && RegStore::SetValue(key, name, text);
    }

    // Makes ops fail on keys whose path ends with keyName (every key when empty); calls add up.
    void FailOn(unsigned ops, const char* keyName = "") { failures.push_back({ops, keyName}); }
    void ClearFailures() { failures.clear(); }
    int OpenHandles() const { return (int)open.size(); }

    // Inspection and set-up; no failure applies.
    int Put(const std::string& path, const char* name, const std::string& data, DWORD t = REG_SZ)
    {
        DWORD cb = (DWORD)data.size() + (t == REG_SZ);
        return !SHSetValueA(HKEY_CURRENT_USER, (base + "\\" + path).c_str(), name, t, data.c_str(),
                            cb);
    }
    // A value's text; "<missing>" when absent.
    std::string Text(const std::string& path, const char* name)
    {
        STOREKEY k;
        char buf[8192];
        if (!RegStore::OpenKey(NULL, path.c_str(), &k))
            return "<missing>";
        const int ok = RegStore::QueryValue(k, name, buf, sizeof buf);
        RegStore::CloseKey(k);
        return ok ? buf : "<missing>";
    }
    // The value names of a key in the registry's order.
    std::vector<std::string> ValueNames(const std::string& path)
    {
        std::vector<std::string> names;
        STOREKEY k;
        char name[512];
        if (!RegStore::OpenKey(NULL, path.c_str(), &k))
            return names;
        for (DWORD i = 0; EnumValue(k, i, name, sizeof name, NULL, 0) == STORE_ENUM_OK; i++)
            names.push_back(name);
        RegStore::CloseKey(k);
        return names;
    }
    int KeyExists(const std::string& path)
    {
        STOREKEY k;
        if (!RegStore::OpenKey(NULL, path.c_str(), &k))
            return 0;
        RegStore::CloseKey(k);
        return 1;
    }

  private:
    std::string base;
    std::vector<std::pair<unsigned, std::string>> failures;
    std::map<STOREKEY, std::string> open; // keys handed out, by the path they were opened with

    static std::string Base(const char* tag)
    {
        char exe[MAX_PATH];
        GetModuleFileNameA(NULL, exe, sizeof exe);
        return std::string("Software\\StakkaTests\\") + tag + PathFindFileNameA(exe);
    }
    int Fails(unsigned op, const std::string& path) const
    {
        for (const auto& f : failures) {
            size_t n = f.second.size();
            if ((f.first & op) && n <= path.size() &&
                !lstrcmpiA(f.second.c_str(), &path[path.size() - n]))
                return 1;
        }
        return 0;
    }
    int Track(const char* path, STOREKEY* k, int ok)
    {
        if (!ok) {
            *k = 0;
            return 0;
        }
        open[*k] = path;
        return 1;
    }
};

#endif
