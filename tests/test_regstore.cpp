// test_regstore.cpp - the two stores behind the options: the Win32 registry (in a
// scratch subtree of HKEY_CURRENT_USER) and the in-memory store, held to the same
// contract, plus what only one of them does.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "options_fixture.h"

using std::string;
using std::vector;

namespace
{

const HKEY kNoKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFF0010));

class StoreTest : public ::testing::TestWithParam<StoreKind>
{
  protected:
    void SetUp() override
    {
        h.reset(new StoreHarness(GetParam(), "store"));
        st = h->store;
    }
    void TearDown() override
    {
        if (h->mem) {
            EXPECT_EQ(0, h->mem->OpenHandles()) << "keys left open";
        }
        h.reset();
    }
    STOREKEY Create(const char* path, STOREKEY parent = NULL)
    {
        STOREKEY k = NULL;
        EXPECT_TRUE(st->CreateKey(parent, path, &k)) << path;
        return k;
    }

    std::unique_ptr<StoreHarness> h;
    Store* st;
    char buf[300];
};

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, ::testing::Values(MEM_STORE, REG_STORE),
                         [](const ::testing::TestParamInfo<StoreKind>& info) {
                             return string(StoreKindName(info.param));
                         });

TEST_P(StoreTest, KeysByPathIgnoringCase)
{
    STOREKEY k = reinterpret_cast<STOREKEY>(1);
    EXPECT_FALSE(st->OpenKey(NULL, "A\\B\\C", &k));
    EXPECT_EQ(NULL, k);
    k = Create("A\\B\\C"); // the whole path
    ASSERT_NE(nullptr, k);
    EXPECT_TRUE(st->SetValue(k, "v", "1"));
    st->CloseKey(k);
    ASSERT_TRUE(st->OpenKey(NULL, "a\\b\\c", &k));
    STOREKEY sub = Create("Sub", k); // relative to an open key
    EXPECT_TRUE(st->SetValue(sub, "x", "y"));
    st->CloseKey(sub);
    st->CloseKey(k);
    k = Create("A\\B\\C"); // creating opens and keeps the values
    EXPECT_TRUE(st->QueryValue(k, "v", buf, sizeof buf));
    EXPECT_STREQ("1", buf);
    st->CloseKey(k);
    EXPECT_EQ("y", h->GetText("A\\B\\C\\Sub", "x"));
    for (const char* p : {"A", "A\\B", "A\\B\\C", "A\\B\\C\\Sub"})
        EXPECT_EQ("Gay", h->KeyClass(p)) << p;
}

TEST_P(StoreTest, QueryFitsTheBufferOrFailsAndNeverWritesPastIt)
{
    STOREKEY k = Create("K");
    const DWORD cb = 256;
    struct {
        string data;
        DWORD type;
        int fits;
        size_t len;
    } cases[] = {
        {string(255, 'a') + '\0', REG_SZ, 1, 255}, {string(256, 'a') + '\0', REG_SZ, 0, 0},
        {string(255, 'b'), REG_BINARY, 1, 255}, // terminated for it
        {string(256, 'b'), REG_BINARY, 0, 0},   // the terminator would not fit
        {string("ab\0cd", 5), REG_BINARY, 1, 2},   {string(), REG_BINARY, 1, 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(h->PutRaw("K", "v", c.data, c.type));
        memset(buf, 'G', sizeof buf);
        EXPECT_EQ(c.fits, st->QueryValue(k, "v", buf, cb)) << c.data.size();
        if (c.fits) {
            EXPECT_EQ(c.len, strlen(buf));
        }
        for (size_t i = cb; i < sizeof buf; i++)
            ASSERT_EQ('G', buf[i]) << "written at " << i;
    }
    ASSERT_TRUE(st->SetValue(k, "small", "abc"));
    EXPECT_TRUE(st->QueryValue(k, "small", buf, 4));
    EXPECT_FALSE(st->QueryValue(k, "small", buf, 3));
    EXPECT_FALSE(st->QueryValue(k, "missing", buf, cb));
    EXPECT_STREQ("", buf);
    st->CloseKey(k);
}

TEST_P(StoreTest, ValueNamesMatchExactly)
{
    STOREKEY k = Create("K");
    ASSERT_TRUE(st->SetValue(k, "Name", "1"));
    EXPECT_FALSE(st->QueryValue(k, "name", buf, sizeof buf));
    EXPECT_FALSE(st->DeleteValue(k, "NAME"));
    EXPECT_TRUE(st->DeleteValue(k, "Name"));
    EXPECT_FALSE(st->QueryValue(k, "Name", buf, sizeof buf));
    EXPECT_FALSE(st->DeleteValue(k, "Name"));
    st->CloseKey(k);
}

TEST_P(StoreTest, EnumerationSkipsWhatDoesNotFitAndGoesOn)
{
    STOREKEY k = Create("K");
    ASSERT_TRUE(st->SetValue(k, "first", "1"));
    ASSERT_TRUE(st->SetValue(k, "long", string(300, 'x').c_str()));
    ASSERT_TRUE(st->SetValue(k, string(40, 'n').c_str(), "2"));
    ASSERT_TRUE(st->SetValue(k, "last", "3"));
    char name[32];
    vector<string> ok;
    int skipped = 0, r;
    DWORD i = 0;
    for (; (r = st->EnumValue(k, i, name, sizeof name, buf, 256)) != STORE_ENUM_DONE; i++) {
        if (r == STORE_ENUM_SKIP)
            skipped++;
        else
            ok.push_back(string(name) + "=" + buf);
    }
    EXPECT_EQ(4u, i);
    EXPECT_EQ(2, skipped);
    if (GetParam() == REG_STORE) // the registry keeps its own order
        std::sort(ok.begin(), ok.end());
    EXPECT_EQ((vector<string>{"first=1", "last=3"}), ok);
    // Without data, only the name has to fit.
    int names = 0;
    for (DWORD j = 0; st->EnumValue(k, j, name, sizeof name, NULL, 0) != STORE_ENUM_DONE; j++)
        names += name[0] != '\0';
    EXPECT_EQ(3, names);
    st->CloseKey(k);
}

TEST_P(StoreTest, DeleteKeyTakesEverythingUnderIt)
{
    for (const char* p : {"D\\E\\F", "D\\G", "Keep"}) {
        STOREKEY k = Create(p);
        st->SetValue(k, "v", "1");
        st->CloseKey(k);
    }
    EXPECT_TRUE(st->DeleteKey(NULL, "D"));
    EXPECT_FALSE(h->KeyExists("D"));
    EXPECT_FALSE(h->KeyExists("D\\E\\F"));
    EXPECT_TRUE(h->KeyExists("Keep"));
    EXPECT_FALSE(st->DeleteKey(NULL, "D"));
}

TEST_P(StoreTest, NullKeysFailQuietly)
{
    char name[8] = "x";
    EXPECT_FALSE(st->QueryValue(NULL, "v", buf, sizeof buf));
    EXPECT_FALSE(st->SetValue(NULL, "v", "1"));
    EXPECT_EQ(STORE_ENUM_DONE, st->EnumValue(NULL, 0, name, sizeof name, NULL, 0));
    EXPECT_FALSE(st->DeleteValue(NULL, "v"));
    st->CloseKey(NULL);
    STOREKEY k = Create("K");
    EXPECT_FALSE(st->QueryValue(k, "v", buf, 0));
    EXPECT_FALSE(st->SetValue(k, "v", NULL));
    st->CloseKey(k);
}

// ---- Registry only ----

TEST(RegStoreOnly, PathsStayInsideTheBaseAndTwinsKeepTheNewSpelling)
{
    StoreHarness h(REG_STORE, "base");
    STOREKEY k;
    ASSERT_TRUE(h.store->CreateKey(NULL, "StakkaBaseProbe", &k));
    ASSERT_TRUE(h.store->SetValue(k, "One", "1"));
    ASSERT_TRUE(h.store->SetValue(k, "one", "2"));
    h.store->CloseKey(k);
    HKEY hk;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "StakkaBaseProbe", 0, KEY_READ, &hk));
    EXPECT_EQ(vector<string>{"one"}, h.Names("StakkaBaseProbe"));
    EXPECT_EQ("2", h.GetText("StakkaBaseProbe", "one"));
    EXPECT_EQ(1, h.store->FoldsValueCase());
    // A path too long for the registry is refused, not cut.
    EXPECT_FALSE(h.store->CreateKey(NULL, string(600, 'p').c_str(), &k));
    EXPECT_EQ(NULL, k);

    RegStore bad(kNoKey, NULL); // a root that is no key fails everything
    k = reinterpret_cast<STOREKEY>(1);
    EXPECT_FALSE(bad.OpenKey(NULL, "A", &k));
    EXPECT_EQ(NULL, k);
    EXPECT_FALSE(bad.CreateKey(NULL, "A", &k));
    EXPECT_EQ(NULL, k);
    EXPECT_FALSE(bad.DeleteKey(NULL, "A"));
}

// ---- Memory store only ----

TEST(MemStoreOnly, ValueNamesDifferingInCaseCoexist)
{
    MemStore m;
    STOREKEY k;
    char buf[8];
    ASSERT_TRUE(m.CreateKey(NULL, "K", &k));
    ASSERT_TRUE(m.SetValue(k, "One", "1"));
    ASSERT_TRUE(m.SetValue(k, "one", "2"));
    ASSERT_TRUE(m.SetValue(k, "One", "3")); // replacing keeps the place in the enumeration
    EXPECT_TRUE(m.QueryValue(k, "one", buf, sizeof buf));
    EXPECT_STREQ("2", buf);
    EXPECT_EQ((vector<string>{"One", "one"}), m.ValueNames("K"));
    m.CloseKey(k);
    EXPECT_EQ(0, m.FoldsValueCase());
}

// Failures on one key (open, create, read) are used throughout the options tests.
TEST(MemStoreOnly, FailuresAimAtOneKeyOrAll)
{
    MemStore m;
    STOREKEY a, b;
    char buf[8];
    ASSERT_TRUE(m.CreateKey(NULL, "A", &a));
    ASSERT_TRUE(m.CreateKey(NULL, "B", &b));
    m.SetValue(a, "v", "1");
    m.SetValue(b, "v", "1");
    m.FailOn(MEMFAIL_READ, "a"); // letter case ignored
    EXPECT_FALSE(m.QueryValue(a, "v", buf, sizeof buf));
    EXPECT_TRUE(m.QueryValue(b, "v", buf, sizeof buf));
    m.FailOn(MEMFAIL_WRITE | MEMFAIL_DELETE | MEMFAIL_ENUM);
    EXPECT_FALSE(m.SetValue(b, "v", "2"));
    EXPECT_FALSE(m.DeleteValue(b, "v"));
    EXPECT_EQ(STORE_ENUM_DONE, m.EnumValue(b, 0, buf, sizeof buf, NULL, 0));
    EXPECT_FALSE(m.DeleteKey(NULL, "B"));
    m.ClearFailures();
    EXPECT_TRUE(m.SetValue(b, "v", "2"));
    EXPECT_TRUE(m.QueryValue(a, "v", buf, sizeof buf));
    m.CloseKey(a);
    m.CloseKey(b);
    EXPECT_EQ(0, m.OpenHandles());
}

TEST(MemStoreOnly, AKeyDeletedUnderAnOpenHandleFailsThatHandle)
{
    MemStore m;
    STOREKEY k;
    char buf[8];
    ASSERT_TRUE(m.CreateKey(NULL, "Gone\\Deep", &k));
    ASSERT_TRUE(m.SetValue(k, "v", "1"));
    ASSERT_TRUE(m.DeleteKey(NULL, "gone"));
    EXPECT_FALSE(m.QueryValue(k, "v", buf, sizeof buf));
    EXPECT_FALSE(m.SetValue(k, "v", "2"));
    EXPECT_EQ(STORE_ENUM_DONE, m.EnumValue(k, 0, buf, sizeof buf, NULL, 0));
    EXPECT_EQ(1, m.OpenHandles());
    m.CloseKey(k);
    EXPECT_EQ(0, m.OpenHandles());
    EXPECT_FALSE(m.KeyExists("Gone"));
}

} // namespace
