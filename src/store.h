// store.h - the small hierarchical store the options live in.
//
// Keys are addressed by path ("A\B\C", '\' between the parts), either from the
// store's root (parent null) or from an open key. Key names are compared without
// regard to letter case. Values are named texts; a value name is matched exactly,
// letter case included. Every value we write is a string; what we read back may
// be anything another program stored, so it is read as bytes into a bounded
// buffer and always terminated.
#ifndef STORE_H
#define STORE_H

#include <windows.h>

typedef struct StoreKeyTag* STOREKEY; // an open key; null means none

// Results of Store::EnumValue.
const int STORE_ENUM_DONE = 0;  // no value at this index or after it
const int STORE_ENUM_OK = 1;    // name (and data, when asked for) returned
const int STORE_ENUM_SKIP = -1; // this value's name or data does not fit; later ones may

class Store
{
  public:
    virtual ~Store() {}

    // Opens an existing key. Returns 1 and sets *key, or 0 (key missing, or failure).
    virtual int OpenKey(STOREKEY parent, const char* path, STOREKEY* key) = 0;
    // Creates a key (and any missing keys above it) or opens it if it exists.
    virtual int CreateKey(STOREKEY parent, const char* path, STOREKEY* key) = 0;
    // Deletes a key with everything under it. Returns 1 when it is gone.
    virtual int DeleteKey(STOREKEY parent, const char* path) = 0;
    virtual void CloseKey(STOREKEY key) = 0;

    // Reads a value into buf (cb bytes) as text, terminated. Fails (returns 0) when
    // the value is missing or its data with a terminator does not fit into cb bytes.
    // The value's type is ignored.
    virtual int QueryValue(STOREKEY key, const char* name, char* buf, DWORD cb) = 0;
    // Writes text as a string value (with its terminator), creating or replacing it.
    virtual int SetValue(STOREKEY key, const char* name, const char* text) = 0;
    // Returns the name of the value at index (0, 1, ...) and, when data is not
    // null, its text as QueryValue would. See STORE_ENUM_*.
    virtual int EnumValue(STOREKEY key, DWORD index, char* name, DWORD cbName, char* data,
                          DWORD cbData) = 0;
    virtual int DeleteValue(STOREKEY key, const char* name) = 0;

    // 1 when the underlying store cannot hold two value names that differ only in
    // letter case (the Win32 registry): writing one then replaces the other.
    virtual int FoldsValueCase() const = 0;
};

// The Win32 registry. Paths from the root are taken relative to root\base (base may
// be null or empty), so tests can aim the real registry at a scratch subtree of
// HKEY_CURRENT_USER. Keys it creates carry the class string szKeyClass.
class RegStore : public Store
{
  public:
    explicit RegStore(HKEY root = HKEY_CURRENT_USER, const char* base = NULL);

    int OpenKey(STOREKEY parent, const char* path, STOREKEY* key) override;
    int CreateKey(STOREKEY parent, const char* path, STOREKEY* key) override;
    int DeleteKey(STOREKEY parent, const char* path) override;
    void CloseKey(STOREKEY key) override;
    int QueryValue(STOREKEY key, const char* name, char* buf, DWORD cb) override;
    int SetValue(STOREKEY key, const char* name, const char* text) override;
    int EnumValue(STOREKEY key, DWORD index, char* name, DWORD cbName, char* data,
                  DWORD cbData) override;
    int DeleteValue(STOREKEY key, const char* name) override;
    int FoldsValueCase() const override { return 1; }

  private:
    HKEY root;
    char base[256];
    // Resolves (parent, path) to a key and a path relative to it; 0 when too long.
    int Resolve(STOREKEY parent, const char* path, HKEY* from, char* full, DWORD cb) const;
};

#endif
