// teststore.h - the real registry store aimed at a scratch key of HKEY_CURRENT_USER
// (one per test program, emptied when made and when gone), able to fail chosen
// operations on chosen keys (full paths from the store's root, case ignored).
#ifndef TESTSTORE_H
#define TESTSTORE_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "store.h"

const unsigned FAIL_CREATE = 1, FAIL_OPEN = 2, FAIL_READ = 4, FAIL_WRITE = 8;

class TestStore : public Store
{
  public:
    explicit TestStore(const char* tag = "") : base(std::string("Software\\StakkaTests\\") + tag + Exe()),
                                               reg(HKEY_CURRENT_USER, base.c_str())
    {
        reg.DeleteKey(NULL, "");
    }
    ~TestStore() override { reg.DeleteKey(NULL, ""); }

    int OpenKey(STOREKEY parent, const char* path, STOREKEY* key) override
    {
        return Track(parent, path, key, FAIL_OPEN, reg.OpenKey(parent, path, key));
    }
    int CreateKey(STOREKEY parent, const char* path, STOREKEY* key) override
    {
        *key = NULL;
        return !Fails(FAIL_CREATE, Join(parent, path)) && Track(parent, path, key, 0, reg.CreateKey(parent, path, key));
    }
    int DeleteKey(STOREKEY parent, const char* path) override { return reg.DeleteKey(parent, path); }
    void CloseKey(STOREKEY key) override
    {
        for (size_t i = 0; i < open.size(); i++)
            if (open[i].first == key)
                open.erase(open.begin() + i--);
        reg.CloseKey(key);
    }
    int QueryValue(STOREKEY key, const char* name, char* buf, DWORD cb) override
    {
        if (buf && cb)
            buf[0] = '\0';
        return !Fails(FAIL_READ, Join(key, "")) && reg.QueryValue(key, name, buf, cb);
    }
    int SetValue(STOREKEY key, const char* name, const char* text) override
    {
        return !Fails(FAIL_WRITE, Join(key, "")) && reg.SetValue(key, name, text);
    }
    int EnumValue(STOREKEY key, DWORD index, char* name, DWORD cbName, char* data, DWORD cbData) override
    {
        return reg.EnumValue(key, index, name, cbName, data, cbData);
    }
    int DeleteValue(STOREKEY key, const char* name) override { return reg.DeleteValue(key, name); }
    int FoldsValueCase() const override { return 1; }

    // Makes ops fail on the key at keyPath (every key when null). Calls add up.
    void FailOn(unsigned ops, const char* keyPath = NULL) { failures.push_back({ops, keyPath ? keyPath : ""}); }
    void ClearFailures() { failures.clear(); }
    int OpenHandles() const { return (int)open.size(); }

    // Inspection and set-up straight through the registry; no failure applies.
    HKEY Key(const std::string& keyPath, bool create = false)
    {
        HKEY hk = NULL;
        if (create)
            RegCreateKeyExA(HKEY_CURRENT_USER, Full(keyPath).c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hk, NULL);
        else
            RegOpenKeyExA(HKEY_CURRENT_USER, Full(keyPath).c_str(), 0, KEY_READ, &hk);
        return hk;
    }
    int Get(const std::string& keyPath, const char* name, std::string* data)
    {
        char buf[8192];
        DWORD cb = sizeof buf;
        HKEY hk = Key(keyPath);
        int ok = hk && RegQueryValueExA(hk, name, NULL, NULL, (BYTE*)buf, &cb) == ERROR_SUCCESS;
        data->assign(buf, ok ? cb : 0);
        return RegCloseKey(hk), ok;
    }
    int Put(const std::string& keyPath, const char* name, const std::string& data, DWORD type = REG_SZ)
    {
        std::string d = type == REG_SZ ? std::string(data.c_str(), data.size() + 1) : data;
        HKEY hk = Key(keyPath, true);
        int ok = hk && RegSetValueExA(hk, name, 0, type, (const BYTE*)d.data(), (DWORD)d.size()) == ERROR_SUCCESS;
        return RegCloseKey(hk), ok;
    }
    // A string value's text without its terminator; "<missing>" when absent.
    std::string Text(const std::string& keyPath, const char* name)
    {
        std::string d;
        return Get(keyPath, name, &d) ? std::string(d.c_str()) : "<missing>";
    }
    // The value names of a key in the registry's order, and its class ("" when missing).
    std::vector<std::string> ValueNames(const std::string& keyPath, std::string* cls = NULL)
    {
        std::vector<std::string> names;
        HKEY hk = Key(keyPath);
        if (!hk)
            return names;
        char name[512], c[64] = "";
        DWORD cc = sizeof c, cch = sizeof name;
        RegQueryInfoKeyA(hk, c, &cc, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
        if (cls)
            *cls = c;
        for (DWORD i = 0; RegEnumValueA(hk, i, name, &cch, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; cch = sizeof name)
            names.push_back(name), i++;
        RegCloseKey(hk);
        return names;
    }
    int KeyExists(const std::string& keyPath)
    {
        HKEY hk = Key(keyPath);
        return hk && RegCloseKey(hk) == ERROR_SUCCESS;
    }

  private:
    std::string base;
    RegStore reg;
    std::vector<std::pair<unsigned, std::string>> failures;
    std::vector<std::pair<STOREKEY, std::string>> open; // keys handed out, by full path

    static std::string Exe()
    {
        char exe[MAX_PATH];
        std::string s(exe, GetModuleFileNameA(NULL, exe, sizeof exe));
        return s.substr(s.find_last_of('\\') + 1);
    }
    std::string Full(const std::string& keyPath) const { return base + "\\" + keyPath; }
    std::string Join(STOREKEY parent, const char* path) const
    {
        std::string p;
        for (const auto& k : open)
            if (parent && k.first == parent)
                p = k.second;
        return p.empty() ? std::string(path ? path : "") : (path && *path ? p + "\\" + path : p);
    }
    int Fails(unsigned op, const std::string& path) const
    {
        for (const auto& f : failures)
            if ((f.first & op) && (f.second.empty() || lstrcmpiA(f.second.c_str(), path.c_str()) == 0))
                return 1;
        return 0;
    }
    int Track(STOREKEY parent, const char* path, STOREKEY* key, unsigned op, int ok)
    {
        std::string full = Join(parent, path);
        if (ok && Fails(op, full)) {
            reg.CloseKey(*key);
            *key = NULL;
            return 0;
        }
        if (ok)
            open.push_back({*key, full});
        return ok;
    }
};

#endif
