// memstore.cpp - the in-memory store used by tests.
#include "memstore.h"

#include <string.h>

#include "options.h"

namespace
{

std::string Lower(const std::string& s)
{
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return r;
}

// Splits a path at '\' into its non-empty parts.
std::vector<std::string> Split(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string r;
    for (const std::string& p : parts) {
        if (!r.empty())
            r += '\\';
        r += p;
    }
    return r;
}

// Copies bytes as a terminated text into buf of cb; 0 when they do not fit.
int CopyText(const std::string& data, char* buf, DWORD cb)
{
    if (cb == 0)
        return 0;
    size_t n = data.size();
    if (n > cb)
        return 0;
    if (n == cb && data[n - 1] != '\0')
        return 0;
    if (n)
        memcpy(buf, data.data(), n);
    if (n < cb)
        buf[n] = '\0';
    return 1;
}

} // namespace

MemStore::MemStore() : openHandles(0) {}

MemStore::~MemStore() {}

std::string* MemStore::Handle(STOREKEY key)
{
    return reinterpret_cast<std::string*>(key);
}

std::string MemStore::FullPath(STOREKEY parent, const char* path) const
{
    std::string full = parent ? *Handle(parent) : std::string();
    if (path && path[0])
        full += std::string("\\") + path;
    return Join(Split(full));
}

MemStore::Key* MemStore::Find(const std::string& fullPath) const
{
    Key* k = const_cast<Key*>(&rootKey);
    for (const std::string& part : Split(fullPath)) {
        Key* next = NULL;
        for (const std::unique_ptr<Key>& c : k->children)
            if (Lower(c->name) == Lower(part))
                next = c.get();
        if (!next)
            return NULL;
        k = next;
    }
    return k;
}

MemStore::Key* MemStore::Make(const std::string& fullPath)
{
    Key* k = &rootKey;
    for (const std::string& part : Split(fullPath)) {
        Key* next = NULL;
        for (const std::unique_ptr<Key>& c : k->children)
            if (Lower(c->name) == Lower(part))
                next = c.get();
        if (!next) {
            k->children.push_back(std::unique_ptr<Key>(new Key()));
            next = k->children.back().get();
            next->name = part;
            next->cls = szKeyClass;
        }
        k = next;
    }
    return k;
}

MemStore::Value* MemStore::FindValue(Key* k, const char* name) const
{
    for (Value& v : k->values)
        if (v.name == name)
            return &v;
    return NULL;
}

int MemStore::Fails(unsigned op, const std::string& fullPath) const
{
    for (const Failure& f : failures)
        if ((f.ops & op) && (f.path.empty() || Lower(f.path) == Lower(fullPath)))
            return 1;
    return 0;
}

void MemStore::FailOn(unsigned ops, const char* keyPath)
{
    Failure f;
    f.ops = ops;
    f.path = keyPath ? Join(Split(keyPath)) : std::string();
    failures.push_back(f);
}

void MemStore::ClearFailures()
{
    failures.clear();
}

int MemStore::OpenKey(STOREKEY parent, const char* path, STOREKEY* key)
{
    *key = NULL;
    std::string full = FullPath(parent, path);
    if (Fails(MEMFAIL_OPEN, full) || !Find(full))
        return 0;
    *key = reinterpret_cast<STOREKEY>(new std::string(full));
    openHandles++;
    return 1;
}

int MemStore::CreateKey(STOREKEY parent, const char* path, STOREKEY* key)
{
    *key = NULL;
    std::string full = FullPath(parent, path);
    if (Fails(MEMFAIL_CREATE, full))
        return 0;
    Make(full);
    *key = reinterpret_cast<STOREKEY>(new std::string(full));
    openHandles++;
    return 1;
}

int MemStore::DeleteKey(STOREKEY parent, const char* path)
{
    std::string full = FullPath(parent, path);
    std::vector<std::string> parts = Split(full);
    if (parts.empty() || Fails(MEMFAIL_DELETE, full))
        return 0;
    std::string name = parts.back();
    parts.pop_back();
    Key* up = Find(Join(parts));
    if (!up)
        return 0;
    for (size_t i = 0; i < up->children.size(); i++) {
        if (Lower(up->children[i]->name) == Lower(name)) {
            up->children.erase(up->children.begin() + i);
            return 1;
        }
    }
    return 0;
}

void MemStore::CloseKey(STOREKEY key)
{
    if (!key)
        return;
    delete Handle(key);
    openHandles--;
}

int MemStore::QueryValue(STOREKEY key, const char* name, char* buf, DWORD cb)
{
    if (!key || !name || !buf || cb == 0)
        return 0;
    buf[0] = '\0';
    const std::string& path = *Handle(key);
    Key* k = Find(path);
    if (!k || Fails(MEMFAIL_READ, path))
        return 0;
    Value* v = FindValue(k, name);
    if (!v || !CopyText(v->data, buf, cb)) {
        buf[0] = '\0';
        return 0;
    }
    return 1;
}

int MemStore::SetValue(STOREKEY key, const char* name, const char* text)
{
    if (!key || !name || !text)
        return 0;
    const std::string& path = *Handle(key);
    Key* k = Find(path);
    if (!k || Fails(MEMFAIL_WRITE, path))
        return 0;
    std::string data(text, strlen(text) + 1);
    Value* v = FindValue(k, name);
    if (v) {
        v->data = data;
        v->type = MEMVALUE_STRING;
    } else {
        Value nv;
        nv.name = name;
        nv.data = data;
        nv.type = MEMVALUE_STRING;
        k->values.push_back(nv);
    }
    return 1;
}

int MemStore::EnumValue(STOREKEY key, DWORD index, char* name, DWORD cbName, char* data,
                        DWORD cbData)
{
    if (!key || !name || cbName == 0)
        return STORE_ENUM_DONE;
    name[0] = '\0';
    const std::string& path = *Handle(key);
    Key* k = Find(path);
    if (!k || Fails(MEMFAIL_ENUM, path) || index >= k->values.size())
        return STORE_ENUM_DONE;
    const Value& v = k->values[index];
    if (v.name.size() >= cbName)
        return STORE_ENUM_SKIP;
    memcpy(name, v.name.c_str(), v.name.size() + 1);
    if (data && !CopyText(v.data, data, cbData))
        return STORE_ENUM_SKIP;
    return STORE_ENUM_OK;
}

int MemStore::DeleteValue(STOREKEY key, const char* name)
{
    if (!key || !name)
        return 0;
    const std::string& path = *Handle(key);
    Key* k = Find(path);
    if (!k || Fails(MEMFAIL_DELETE, path))
        return 0;
    for (size_t i = 0; i < k->values.size(); i++) {
        if (k->values[i].name == name) {
            k->values.erase(k->values.begin() + i);
            return 1;
        }
    }
    return 0;
}

int MemStore::KeyExists(const char* keyPath) const
{
    return Find(Join(Split(keyPath))) != NULL;
}

std::string MemStore::KeyClass(const char* keyPath) const
{
    Key* k = Find(Join(Split(keyPath)));
    return k ? k->cls : std::string();
}

int MemStore::ValueCount(const char* keyPath) const
{
    Key* k = Find(Join(Split(keyPath)));
    return k ? static_cast<int>(k->values.size()) : -1;
}

std::vector<std::string> MemStore::ValueNames(const char* keyPath) const
{
    std::vector<std::string> names;
    Key* k = Find(Join(Split(keyPath)));
    if (k)
        for (const Value& v : k->values)
            names.push_back(v.name);
    return names;
}

int MemStore::GetValueData(const char* keyPath, const char* name, std::string* data,
                           DWORD* type) const
{
    Key* k = Find(Join(Split(keyPath)));
    if (!k)
        return 0;
    Value* v = FindValue(k, name);
    if (!v)
        return 0;
    if (data)
        *data = v->data;
    if (type)
        *type = v->type;
    return 1;
}

int MemStore::PutValueData(const char* keyPath, const char* name, const std::string& data,
                           DWORD type)
{
    Key* k = Make(Join(Split(keyPath)));
    Value* v = FindValue(k, name);
    if (v) {
        v->data = data;
        v->type = type;
        return 1;
    }
    Value nv;
    nv.name = name;
    nv.data = data;
    nv.type = type;
    k->values.push_back(nv);
    return 1;
}
