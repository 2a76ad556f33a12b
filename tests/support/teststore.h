// teststore.h - the real registry store aimed at a scratch key of HKEY_CURRENT_USER
// (one per test program, emptied when made and when gone), able to fail chosen
// operations on chosen keys so that every failure path of the options is reached.
// Key paths below are full paths from the store's root, letter case ignored.
#ifndef TESTSTORE_H
#define TESTSTORE_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "store.h"

const unsigned FAIL_CREATE = 0x01, FAIL_OPEN = 0x02, FAIL_READ = 0x04, FAIL_WRITE = 0x08,
               FAIL_ENUM = 0x10, FAIL_DELETE = 0x20;

class TestStore : public Store
{
  public:
    explicit TestStore(const char* tag = NULL) : base(std::string("Software\\StakkaTests\\") + Tag(tag)),
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
        return !Fails(FAIL_CREATE, Join(parent, path)) &&
               Track(parent, path, key, 0, reg.CreateKey(parent, path, key));
    }
    int DeleteKey(STOREKEY parent, const char* path) override
    {
        return !Fails(FAIL_DELETE, Join(parent, path)) && reg.DeleteKey(parent, path);
    }
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
    int EnumValue(STOREKEY key, DWORD index, char* name, DWORD cbName, char* data,
                  DWORD cbData) override
    {
        return Fails(FAIL_ENUM, Join(key, "")) ? STORE_ENUM_DONE
                                              : reg.EnumValue(key, index, name, cbName, data, cbData);
    }
    int DeleteValue(STOREKEY key, const char* name) override
    {
        return !Fails(FAIL_DELETE, Join(key, "")) && reg.DeleteValue(key, name);
    }
    int FoldsValueCase() const override { return 1; }

    // Makes ops fail on the key at keyPath (every key when null). Calls add up.
    void FailOn(unsigned ops, const char* keyPath = NULL)
    {
        failures.push_back(std::make_pair(ops, keyPath ? std::string(keyPath) : std::string()));
    }
    void ClearFailures() { failures.clear(); }
    int OpenHandles() const { return (int)open.size(); }

    // Inspection and set-up straight through the registry; no failure applies.
    int GetValueData(const char* keyPath, const char* name, std::string* data, DWORD* type = NULL)
    {
        char buf[8192];
        DWORD cb = sizeof buf, t = 0;
        HKEY hk;
        data->clear();
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Full(keyPath).c_str(), 0, KEY_READ, &hk) != ERROR_SUCCESS)
            return 0;
        int ok = RegQueryValueExA(hk, name, NULL, &t, (BYTE*)buf, &cb) == ERROR_SUCCESS;
        RegCloseKey(hk);
        if (ok)
            data->assign(buf, cb);
        if (type)
            *type = t;
        return ok;
    }
    int PutValueData(const char* keyPath, const char* name, const std::string& data, DWORD type)
    {
        HKEY hk;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, Full(keyPath).c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                            NULL, &hk, NULL) != ERROR_SUCCESS)
            return 0;
        int ok = RegSetValueExA(hk, name, 0, type, (const BYTE*)data.data(), (DWORD)data.size()) ==
                 ERROR_SUCCESS;
        RegCloseKey(hk);
        return ok;
    }
    int PutText(const char* keyPath, const char* name, const std::string& text)
    {
        return PutValueData(keyPath, name, std::string(text.c_str(), text.size() + 1), REG_SZ);
    }
    // A string value's text without its terminator; "<missing>" when absent.
    std::string Text(const char* keyPath, const char* name)
    {
        std::string d;
        return GetValueData(keyPath, name, &d) ? std::string(d.c_str()) : "<missing>";
    }
    // The value names of a key in the registry's order, and its class ("" when missing).
    std::vector<std::string> ValueNames(const char* keyPath, std::string* cls = NULL)
    {
        std::vector<std::string> names;
        HKEY hk;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Full(keyPath).c_str(), 0, KEY_READ, &hk) != ERROR_SUCCESS)
            return names;
        char name[512], c[64] = "";
        DWORD cc = sizeof c;
        RegQueryInfoKeyA(hk, c, &cc, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
        if (cls)
            *cls = c;
        for (DWORD i = 0, cch = sizeof name; RegEnumValueA(hk, i, name, &cch, NULL, NULL, NULL, NULL) ==
                                             ERROR_SUCCESS;
             i++, cch = sizeof name)
            names.push_back(name);
        RegCloseKey(hk);
        return names;
    }
    int ValueCount(const char* keyPath) { return (int)ValueNames(keyPath).size(); }
    int KeyExists(const char* keyPath)
    {
        HKEY hk;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Full(keyPath).c_str(), 0, KEY_READ, &hk) != ERROR_SUCCESS)
            return 0;
        RegCloseKey(hk);
        return 1;
    }

  private:
    std::string base;
    RegStore reg;
    std::vector<std::pair<unsigned, std::string>> failures;
    std::vector<std::pair<STOREKEY, std::string>> open; // keys handed out, by full path

    static std::string Tag(const char* tag)
    {
        char exe[MAX_PATH];
        DWORD n = GetModuleFileNameA(NULL, exe, sizeof exe);
        std::string s(exe, n);
        return tag ? tag : s.substr(s.find_last_of('\\') + 1);
    }
    std::string Full(const char* keyPath) const { return base + "\\" + keyPath; }
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
            open.push_back(std::make_pair(*key, full));
        return ok;
    }
};

#endif
