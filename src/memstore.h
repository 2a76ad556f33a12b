// memstore.h - an in-memory store for tests: no registry, inspectable, and able
// to fail on command so that every failure path of the options can be reached.
#ifndef MEMSTORE_H
#define MEMSTORE_H

#include <memory>
#include <string>
#include <vector>

#include "store.h"

// Operations that can be told to fail.
const unsigned MEMFAIL_CREATE = 0x01; // CreateKey
const unsigned MEMFAIL_OPEN = 0x02;   // OpenKey
const unsigned MEMFAIL_READ = 0x04;   // QueryValue
const unsigned MEMFAIL_WRITE = 0x08;  // SetValue
const unsigned MEMFAIL_ENUM = 0x10;   // EnumValue
const unsigned MEMFAIL_DELETE = 0x20; // DeleteValue, DeleteKey

// Type of a value as the registry would report it; only for inspection.
const DWORD MEMVALUE_STRING = REG_SZ;
const DWORD MEMVALUE_BINARY = REG_BINARY;

class MemStore : public Store
{
  public:
    MemStore();
    ~MemStore() override;

    int OpenKey(STOREKEY parent, const char* path, STOREKEY* key) override;
    int CreateKey(STOREKEY parent, const char* path, STOREKEY* key) override;
    int DeleteKey(STOREKEY parent, const char* path) override;
    void CloseKey(STOREKEY key) override;
    int QueryValue(STOREKEY key, const char* name, char* buf, DWORD cb) override;
    int SetValue(STOREKEY key, const char* name, const char* text) override;
    int EnumValue(STOREKEY key, DWORD index, char* name, DWORD cbName, char* data,
                  DWORD cbData) override;
    int DeleteValue(STOREKEY key, const char* name) override;
    int FoldsValueCase() const override { return 0; }

    // Makes the given operations fail on the key with this full path (letter case
    // ignored), or on every key when keyPath is null. Calls add up.
    void FailOn(unsigned ops, const char* keyPath = NULL);
    void ClearFailures();

    // Inspection and set-up by full key path from the root.
    int KeyExists(const char* keyPath) const;
    std::string KeyClass(const char* keyPath) const; // "" when missing
    int ValueCount(const char* keyPath) const;       // -1 when the key is missing
    std::vector<std::string> ValueNames(const char* keyPath) const;
    // The stored bytes of a value (a string's terminator included); 0 when missing.
    int GetValueData(const char* keyPath, const char* name, std::string* data,
                     DWORD* type = NULL) const;
    // Stores raw bytes with a type, creating the key; no failure applies.
    int PutValueData(const char* keyPath, const char* name, const std::string& data, DWORD type);
    int OpenHandles() const { return openHandles; }

  private:
    struct Value {
        std::string name;
        std::string data;
        DWORD type;
    };
    struct Key {
        std::string name;
        std::string cls;
        std::vector<Value> values; // in order of creation
        std::vector<std::unique_ptr<Key>> children;
    };
    struct Failure {
        unsigned ops;
        std::string path; // empty: every key
    };

    Key rootKey;
    std::vector<Failure> failures;
    int openHandles;

    // A handle holds its key's full path, so a key deleted under an open handle
    // makes later calls fail instead of touching freed memory.
    static std::string* Handle(STOREKEY key);
    std::string FullPath(STOREKEY parent, const char* path) const;
    Key* Find(const std::string& fullPath) const;
    Key* Make(const std::string& fullPath);
    Value* FindValue(Key* k, const char* name) const;
    int Fails(unsigned op, const std::string& fullPath) const;
};

#endif
