// regstore.cpp - the options store in the Win32 registry.
#include "store.h"

#include <stdio.h>
#include <string.h>

#include "options.h"

namespace
{

const int PATH_LEN = 512;
// Longest value name we ever compare; the registry allows longer ones, which
// cannot be ours and are passed over.
const DWORD VALUE_NAME_LEN = 256;

HKEY ToHkey(STOREKEY key)
{
    return reinterpret_cast<HKEY>(key);
}
STOREKEY ToStoreKey(HKEY key)
{
    return reinterpret_cast<STOREKEY>(key);
}

// Bytes just read (size of them in buf of cb) become a terminated text; 0 when the
// terminator does not fit without cutting the data.
int TerminateData(char* buf, DWORD size, DWORD cb)
{
    if (cb == 0)
        return 0;
    if (size < cb) {
        buf[size] = '\0';
        return 1;
    }
    return buf[cb - 1] == '\0';
}

// The registry folds letter case in value names, while scheme names are matched
// exactly. Finds a stored name equal to name: sets *exact when one is spelled the
// same, and copies into twin (when given) one that differs only in case.
void FindValueName(HKEY hk, const char* name, int* exact, char* twin, DWORD cbTwin)
{
    *exact = 0;
    if (twin && cbTwin)
        twin[0] = '\0';
    char found[VALUE_NAME_LEN];
    for (DWORD i = 0;; i++) {
        DWORD cch = sizeof found;
        LONG r = RegEnumValueA(hk, i, found, &cch, NULL, NULL, NULL, NULL);
        if (r == ERROR_MORE_DATA)
            continue;
        if (r != ERROR_SUCCESS)
            break;
        if (strcmp(found, name) == 0) {
            *exact = 1;
        } else if (lstrcmpiA(found, name) == 0 && twin && cbTwin) {
            lstrcpynA(twin, found, static_cast<int>(cbTwin));
        }
    }
}

int DeleteTree(HKEY from, const char* path)
{
    HKEY hk;
    if (RegOpenKeyExA(from, path, 0, KEY_ALL_ACCESS, &hk) != ERROR_SUCCESS)
        return 0;
    char sub[VALUE_NAME_LEN];
    // Always take index 0: each deletion shifts the rest down. A child that will not
    // go would loop forever, so stop at the first failure.
    for (;;) {
        DWORD cch = sizeof sub;
        if (RegEnumKeyExA(hk, 0, sub, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (!DeleteTree(hk, sub))
            break;
    }
    RegCloseKey(hk);
    return RegDeleteKeyA(from, path) == ERROR_SUCCESS;
}

} // namespace

RegStore::RegStore(HKEY rootKey, const char* basePath) : root(rootKey)
{
    base[0] = '\0';
    if (basePath)
        lstrcpynA(base, basePath, sizeof base);
}

int RegStore::Resolve(STOREKEY parent, const char* path, HKEY* from, char* full, DWORD cb) const
{
    if (!path)
        path = "";
    int n;
    if (parent) {
        *from = ToHkey(parent);
        n = snprintf(full, cb, "%s", path);
    } else {
        *from = root;
        if (base[0] && path[0])
            n = snprintf(full, cb, "%s\\%s", base, path);
        else
            n = snprintf(full, cb, "%s", base[0] ? base : path);
    }
    return n >= 0 && static_cast<DWORD>(n) < cb;
}

int RegStore::OpenKey(STOREKEY parent, const char* path, STOREKEY* key)
{
    HKEY from, hk;
    char full[PATH_LEN];
    *key = NULL;
    if (!Resolve(parent, path, &from, full, sizeof full))
        return 0;
    if (RegOpenKeyExA(from, full, 0, KEY_ALL_ACCESS, &hk) != ERROR_SUCCESS)
        return 0;
    *key = ToStoreKey(hk);
    return 1;
}

int RegStore::CreateKey(STOREKEY parent, const char* path, STOREKEY* key)
{
    HKEY from, hk;
    char full[PATH_LEN];
    char cls[16];
    *key = NULL;
    if (!Resolve(parent, path, &from, full, sizeof full))
        return 0;
    lstrcpynA(cls, szKeyClass, sizeof cls);
    if (RegCreateKeyExA(from, full, 0, cls, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &hk,
                        NULL) != ERROR_SUCCESS)
        return 0;
    *key = ToStoreKey(hk);
    return 1;
}

int RegStore::DeleteKey(STOREKEY parent, const char* path)
{
    HKEY from;
    char full[PATH_LEN];
    if (!Resolve(parent, path, &from, full, sizeof full) || !full[0])
        return 0;
    return DeleteTree(from, full);
}

void RegStore::CloseKey(STOREKEY key)
{
    if (key)
        RegCloseKey(ToHkey(key));
}

int RegStore::QueryValue(STOREKEY key, const char* name, char* buf, DWORD cb)
{
    if (!key || !name || !buf || cb == 0)
        return 0;
    buf[0] = '\0';
    DWORD size = cb;
    LONG r = RegQueryValueExA(ToHkey(key), name, NULL, NULL, reinterpret_cast<BYTE*>(buf), &size);
    if (r != ERROR_SUCCESS || !TerminateData(buf, size, cb)) {
        buf[0] = '\0';
        return 0;
    }
    int exact;
    FindValueName(ToHkey(key), name, &exact, NULL, 0);
    if (!exact)
        buf[0] = '\0';
    return exact;
}

int RegStore::SetValue(STOREKEY key, const char* name, const char* text)
{
    if (!key || !name || !text)
        return 0;
    HKEY hk = ToHkey(key);
    int exact;
    char twin[VALUE_NAME_LEN];
    FindValueName(hk, name, &exact, twin, sizeof twin);
    // Writing over a twin would keep the twin's spelling; drop it so the stored
    // name is the one asked for.
    if (!exact && twin[0])
        RegDeleteValueA(hk, twin);
    DWORD len = static_cast<DWORD>(strlen(text)) + 1;
    return RegSetValueExA(hk, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), len) ==
           ERROR_SUCCESS;
}

int RegStore::EnumValue(STOREKEY key, DWORD index, char* name, DWORD cbName, char* data,
                        DWORD cbData)
{
    if (!key || !name || cbName == 0)
        return STORE_ENUM_DONE;
    DWORD cch = cbName;
    DWORD size = cbData;
    LONG r = RegEnumValueA(ToHkey(key), index, name, &cch, NULL, NULL,
                           data ? reinterpret_cast<BYTE*>(data) : NULL, data ? &size : NULL);
    if (r == ERROR_MORE_DATA) {
        name[0] = '\0';
        return STORE_ENUM_SKIP;
    }
    if (r != ERROR_SUCCESS) {
        name[0] = '\0';
        return STORE_ENUM_DONE;
    }
    name[cbName - 1] = '\0';
    if (data && !TerminateData(data, size, cbData))
        return STORE_ENUM_SKIP;
    return STORE_ENUM_OK;
}

int RegStore::DeleteValue(STOREKEY key, const char* name)
{
    if (!key || !name)
        return 0;
    int exact;
    FindValueName(ToHkey(key), name, &exact, NULL, 0);
    if (!exact)
        return 0;
    return RegDeleteValueA(ToHkey(key), name) == ERROR_SUCCESS;
}
