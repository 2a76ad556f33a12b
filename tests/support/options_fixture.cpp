// options_fixture.cpp - error box recorder and scratch stores for the options tests.
#include "options_fixture.h"

#include <stdio.h>

namespace
{

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    RecordedBoxes().push_back(BoxCall{owner, text ? text : "", caption ? caption : "", type});
    return IDOK;
}

const char SCRATCH_ROOT[] = "Software\\StakkaTest";
int scratchCount = 0;

} // namespace

std::vector<BoxCall>& RecordedBoxes()
{
    static std::vector<BoxCall> calls;
    return calls;
}

MessageRecorder::MessageRecorder() : previous(SetMbErrorBox(RecordBox))
{
    Clear();
}

MessageRecorder::~MessageRecorder()
{
    SetMbErrorBox(previous);
}

std::vector<std::string> MessageRecorder::Texts() const
{
    std::vector<std::string> texts;
    for (const BoxCall& c : Calls())
        texts.push_back(c.text);
    return texts;
}

StoreHarness::StoreHarness(StoreKind k, const char* tag) : kind(k), store(NULL), mem(NULL)
{
    if (kind == MEM_STORE) {
        store = mem = new MemStore();
    } else {
        char path[256];
        snprintf(path, sizeof path, "%s\\%s-%lu-%d", SCRATCH_ROOT, tag,
                 static_cast<unsigned long>(GetCurrentProcessId()), ++scratchCount);
        base = path;
        RegStore(HKEY_CURRENT_USER, NULL).DeleteKey(NULL, base.c_str());
        store = new RegStore(HKEY_CURRENT_USER, base.c_str());
    }
    previous = SetOptionsStore(store);
}

StoreHarness::~StoreHarness()
{
    SetOptionsStore(previous);
    if (kind == REG_STORE) {
        RegStore(HKEY_CURRENT_USER, NULL).DeleteKey(NULL, base.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, SCRATCH_ROOT); // only goes when empty
    }
    delete store;
}

HKEY StoreHarness::OpenReg(const char* path, int create)
{
    std::string full = base + "\\" + path;
    HKEY hk = NULL;
    LONG r = create ? RegCreateKeyExA(HKEY_CURRENT_USER, full.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                      NULL, &hk, NULL)
                    : RegOpenKeyExA(HKEY_CURRENT_USER, full.c_str(), 0, KEY_ALL_ACCESS, &hk);
    return r == ERROR_SUCCESS ? hk : NULL;
}

int StoreHarness::PutRaw(const char* path, const char* name, const std::string& data, DWORD type)
{
    if (mem)
        return mem->PutValueData(path, name, data, type);
    HKEY hk = OpenReg(path, 1);
    LONG r = hk ? RegSetValueExA(hk, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()))
                : ERROR_FILE_NOT_FOUND;
    RegCloseKey(hk);
    return r == ERROR_SUCCESS;
}

int StoreHarness::GetRaw(const char* path, const char* name, std::string* data, DWORD* type)
{
    if (mem)
        return mem->GetValueData(path, name, data, type);
    HKEY hk = OpenReg(path, 0);
    DWORD size = 0;
    if (!hk || RegQueryValueExA(hk, name, NULL, type, NULL, &size) != ERROR_SUCCESS) {
        RegCloseKey(hk);
        return 0;
    }
    data->assign(size, '\0');
    LONG r = RegQueryValueExA(hk, name, NULL, type, reinterpret_cast<BYTE*>(&(*data)[0]), &size);
    data->resize(size);
    RegCloseKey(hk);
    return r == ERROR_SUCCESS;
}

std::string StoreHarness::GetText(const char* path, const char* name)
{
    std::string data;
    DWORD type;
    if (!GetRaw(path, name, &data, &type))
        return "<missing>";
    if (type != REG_SZ)
        return "<not a string>";
    if (data.empty() || data.back() != '\0')
        return "<unterminated>";
    return data.substr(0, data.size() - 1);
}

std::vector<std::string> StoreHarness::Names(const char* path)
{
    std::vector<std::string> names;
    STOREKEY key;
    if (!store->OpenKey(NULL, path, &key))
        return names;
    char name[1024];
    int r;
    for (DWORD i = 0; (r = store->EnumValue(key, i, name, sizeof name, NULL, 0)); i++)
        if (r == STORE_ENUM_OK)
            names.push_back(name);
    store->CloseKey(key);
    return names;
}

int StoreHarness::KeyExists(const char* path)
{
    STOREKEY key;
    if (!store->OpenKey(NULL, path, &key))
        return 0;
    store->CloseKey(key);
    return 1;
}

std::string StoreHarness::KeyClass(const char* path)
{
    if (mem)
        return mem->KeyClass(path);
    HKEY hk = OpenReg(path, 0);
    char cls[64] = "";
    DWORD cch = sizeof cls;
    LONG r =
        hk ? RegQueryInfoKeyA(hk, cls, &cch, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)
           : ERROR_FILE_NOT_FOUND;
    RegCloseKey(hk);
    return r == ERROR_SUCCESS ? std::string(cls) : std::string("<missing>");
}
