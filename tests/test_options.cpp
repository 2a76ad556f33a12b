// test_options.cpp - the options records, their defaults, loading, saving, repairs,
// bad stored data and the stored block schemes, against the in-memory store and
// against the real registry (a scratch subtree of HKEY_CURRENT_USER).
#include <gtest/gtest.h>

#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "options_fixture.h"

using std::string;
using std::vector;
typedef vector<string> Texts;

namespace
{

int exitCode = -1;
int exitCalls = 0;

void RecordExit(int code)
{
    exitCode = code;
    exitCalls++;
}

string Field(const char* s, size_t cb)
{
    return string(s, strnlen(s, cb));
}

void SetName(char* field, size_t cb, const char* text)
{
    snprintf(field, cb, "%s", text);
}

const char* const kSchemeNames[6] = {"One", "Two", "Three", "Four", "Five", "Six"};
const int kKeys[5] = {37, 39, 38, 17, 40};

// The defaults, written out here rather than taken from the tables under test.
OPTIONS Defaults()
{
    OPTIONS op;
    memset(&op, 0, sizeof op);
    op.windowpos.x = op.windowpos.y = 100;
    op.go.bg.flags = 0x0001;
    op.go.bg.color[0] = op.go.bg.color[1] = 0x00FFFFFF;
    SetName(op.go.bg.name, sizeof op.go.bg.name, "Background");
    SetName(op.go.bs.name, sizeof op.go.bs.name, "One");
    for (int i = 0; i < 7; i++)
        op.go.bs.blocks[i] = i;
    op.go.drawGrid = op.go.preview = 1;
    for (int i = 0; i < 5; i++)
        op.co.keys[i] = kKeys[i];
    op.so.playMusic = 1;
    SetName(op.so.bgMusic, sizeof op.so.bgMusic, "beyond.mod");
    return op;
}

// Every field as text, so one comparison shows every difference.
string Describe(const OPTIONS& o)
{
    string s = "win " + std::to_string(o.windowpos.x) + "," + std::to_string(o.windowpos.y) +
               " bg " + std::to_string(o.go.bg.flags) + "," + std::to_string(o.go.bg.color[0]) +
               "," + std::to_string(o.go.bg.color[1]) + " [" +
               Field(o.go.bg.name, sizeof o.go.bg.name) + "] bs [" +
               Field(o.go.bs.name, sizeof o.go.bs.name) + "]";
    for (DWORD b : o.go.bs.blocks)
        s += " " + std::to_string(b);
    s += " grid " + std::to_string(o.go.drawGrid) + " preview " + std::to_string(o.go.preview) +
         " keys";
    for (int k : o.co.keys)
        s += " " + std::to_string(k);
    return s + " music " + std::to_string(o.so.playMusic) + " [" +
           Field(o.so.bgMusic, sizeof o.so.bgMusic) + "]";
}

#define EXPECT_SAME_OPTIONS(e, a) EXPECT_EQ(Describe(e), Describe(a))

// How a value takes a number: PAIR only when one is read, INT unless the text is too
// long, KEY always (a binding that cannot be read is unbound). The number lands in the
// field at off, cut to its size.
enum ValueKind { PAIR, INT, KEY, BG_NAME, SCHEME_NAME };
#define AT(field) offsetof(OPTIONS, field), sizeof(OPTIONS().field)
const struct {
    const char* subkey; // null: the application key
    const char* name;
    const char* dflt;    // what a first run stores
    const char* message; // after "Unable to load " when the text is too long
    ValueKind kind;
    size_t off, size;
} kLayout[] = {
    {NULL, "Window", "100,100", "window position", PAIR, AT(windowpos.x)},
    {NULL, "Preview", "1", "preview bool", INT, AT(go.preview)},
    {NULL, "DrawGrid", "1", "drawGrid bool", INT, AT(go.drawGrid)},
    {"Background", "BackgroundFlags", "1", "background flags", INT, AT(go.bg.flags)},
    {"Background", "BackgroundColors", "16777215,16777215", "background colors", PAIR,
     AT(go.bg.color[0])},
    {"Background", "BackgroundName", "Background", "background name", BG_NAME, 0, 0},
    {NULL, "Current Block Scheme", "One", "block scheme name", SCHEME_NAME, 0, 0},
    {"Controls", "Move Left", "37", "control config 0", KEY, AT(co.keys[0])},
    {"Controls", "Move Right", "39", "control config 1", KEY, AT(co.keys[1])},
    {"Controls", "Rotate CW", "38", "control config 2", KEY, AT(co.keys[2])},
    {"Controls", "Rotate CCW", "17", "control config 3", KEY, AT(co.keys[3])},
    {"Controls", "Drop fast", "40", "control config 4", KEY, AT(co.keys[4])},
    {"Block Schemes", "One", "0,1,2,3,4,5,6,", "block scheme One", PAIR, AT(go.bs.blocks[0])},
};

class OptionsFixture : public ::testing::Test
{
  protected:
    virtual StoreKind Kind() const = 0;
    void SetUp() override
    {
        h.reset(new StoreHarness(Kind(), "options"));
        exitCode = -1;
        exitCalls = 0;
        SetOptionsExitProc(RecordExit);
    }
    void TearDown() override
    {
        if (h->mem) {
            EXPECT_EQ(0, h->mem->OpenHandles()) << "store keys left open";
        }
        SetOptionsExitProc(NULL);
        h.reset();
    }

    // LoadOptions into a record full of rubbish, as the shell hands it over; the
    // messages of earlier steps are forgotten first.
    OPTIONS Load()
    {
        rec.Clear();
        OPTIONS op;
        memset(&op, 0xCD, sizeof op);
        LoadOptions(op);
        return op;
    }
    OPTIONS FirstRun()
    {
        OPTIONS op = Load();
        rec.Clear();
        return op;
    }
    vector<string> Schemes()
    {
        vector<string> names;
        ListBlockSchemes(
            [](const char* name, void* ctx) { static_cast<vector<string>*>(ctx)->push_back(name); },
            &names);
        return names;
    }
    std::set<string> NameSet(const string& path)
    {
        vector<string> n = h->Names(path.c_str());
        EXPECT_EQ(n.size(), std::set<string>(n.begin(), n.end()).size()) << path;
        return std::set<string>(n.begin(), n.end());
    }
    void Put(const char* subkey, const char* name, const string& text)
    {
        string path = subkey ? SubKey(subkey) : AppKey();
        ASSERT_TRUE(h->PutText(path.c_str(), name, text));
    }

    MessageRecorder rec;
    std::unique_ptr<StoreHarness> h;
};

// Every store: the in-memory one and the real registry.
class OptionsTest : public OptionsFixture, public ::testing::WithParamInterface<StoreKind>
{
  protected:
    StoreKind Kind() const override { return GetParam(); }
};

// Failures on command need the in-memory store.
class MemOptionsTest : public OptionsFixture
{
  protected:
    StoreKind Kind() const override { return MEM_STORE; }
};

INSTANTIATE_TEST_SUITE_P(Stores, OptionsTest, ::testing::Values(MEM_STORE, REG_STORE),
                         [](const ::testing::TestParamInfo<StoreKind>& info) {
                             return string(StoreKindName(info.param));
                         });

// ---- Constant tables and record layout ----

void ExpectTable(const char* const* table, std::initializer_list<const char*> want)
{
    for (const char* w : want)
        EXPECT_STREQ(w, *table++);
}

TEST(OptionsTables, ValuesAndLayoutAreExact)
{
    EXPECT_STREQ("Software\\Kellmarvostian\\Stakka", szRegKeyNoVer);
    ExpectTable(szControls, {"Move Left", "Move Right", "Rotate CW", "Rotate CCW", "Drop fast"});
    ExpectTable(szBgOptions, {"Built in", "From file", "Solid Color", "Gradient", "Pattern"});
    ExpectTable(backgroundNames, {"Background", "Skull", "Leet", "Background2"});
    ExpectTable(tileNames, {"Blue", "Red", "Orange"});
    ExpectTable(fromfileOptions, {"Default", "Center", "Tile", "Stretch"});
    EXPECT_STREQ("beyond.mod", defaultMusic);
    for (int i = 0; i < NUM_CONTROLS; i++)
        EXPECT_EQ(kKeys[i], defaultkeys[i]);
    EXPECT_EQ(BG_BUILTIN, defaultBackground.flags);
    EXPECT_EQ(0x00FFFFFFu, defaultBackground.color[0]);
    EXPECT_EQ(0x00FFFFFFu, defaultBackground.color[1]);
    EXPECT_STREQ("Background", defaultBackground.name);
    for (int k = 0; k < NUM_DEFAULT_SCHEMES; k++) {
        EXPECT_STREQ(kSchemeNames[k], defaultBlockSchemes[k].name);
        for (int i = 0; i < NUM_SCHEME_BLOCKS; i++)
            EXPECT_EQ(static_cast<DWORD>(7 * k + i), defaultBlockSchemes[k].blocks[i]);
    }
    const WORD bits[8] = {BG_BUILTIN, BG_FILE,   BG_SOLID, BG_GRADIENT,
                          BG_PATTERN, BG_CENTER, BG_TILE,  BG_STRETCH};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(1 << i, bits[i]);

    EXPECT_EQ(31u, sizeof szRegKeyNoVer);
    EXPECT_EQ(128u, sizeof szRegKey);
    EXPECT_EQ(2u, sizeof(BACKGROUND().flags));
    EXPECT_EQ(8u, sizeof(BACKGROUND().color));
    EXPECT_EQ(256u, sizeof(BACKGROUND().name));
    EXPECT_EQ(16u, sizeof(BLOCKSCHEME().name));
    EXPECT_EQ(28u, sizeof(BLOCKSCHEME().blocks));
    EXPECT_EQ(20u, sizeof(CONTROLOPTIONS().keys));
    EXPECT_EQ(256u, sizeof(SOUNDOPTIONS().bgMusic));
    EXPECT_LT(offsetof(BACKGROUND, color), offsetof(BACKGROUND, name));
    EXPECT_LT(offsetof(GRAPHICSOPTIONS, drawGrid), offsetof(GRAPHICSOPTIONS, preview));
    EXPECT_LT(offsetof(OPTIONS, co), offsetof(OPTIONS, so));
}

// ---- First run ----

TEST_P(OptionsTest, FirstRunWritesExactStoreWithoutMessage)
{
    OPTIONS op = Load();
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_STREQ("Software\\Kellmarvostian\\Stakka\\1.1", szRegKey);
    EXPECT_SAME_OPTIONS(Defaults(), op);
    EXPECT_EQ(-1, exitCode);

    std::map<string, std::set<string>> expected;
    for (const auto& v : kLayout) {
        string path = v.subkey ? SubKey(v.subkey) : AppKey();
        expected[path].insert(v.name);
        EXPECT_EQ(v.dflt, h->GetText(path.c_str(), v.name)) << v.name; // a string value
    }
    for (int k = 1; k < 6; k++) {
        string text;
        for (int i = 0; i < 7; i++)
            text += std::to_string(7 * k + i) + ",";
        expected[SubKey("Block Schemes")].insert(kSchemeNames[k]);
        EXPECT_EQ(text, h->GetText(SubKey("Block Schemes").c_str(), kSchemeNames[k]));
    }
    for (const auto& k : expected) {
        EXPECT_EQ(k.second, NameSet(k.first)) << "nothing more under " << k.first;
        EXPECT_EQ("Gay", h->KeyClass(k.first.c_str())) << k.first;
    }
    if (GetParam() == MEM_STORE) {
        EXPECT_EQ(vector<string>(kSchemeNames, kSchemeNames + 6), Schemes());
    }

    op = Load(); // the second start reads it all back quietly
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_SAME_OPTIONS(Defaults(), op);
}

// ---- Round trip ----

TEST_P(OptionsTest, SaveThenLoadGivesBackEveryStoredField)
{
    FirstRun();
    OPTIONS op = Defaults();
    op.windowpos.x = -1234;
    op.windowpos.y = -56;
    op.go.bg.flags = BG_FILE | BG_STRETCH;
    op.go.bg.color[0] = 0x00123456;
    op.go.bg.color[1] = 0x00ABCDEF;
    op.go.bg.name[0] = '\0';
    SetName(op.go.bs.name, sizeof op.go.bs.name, "Three");
    op.go.drawGrid = op.go.preview = 0;
    for (int i = 0; i < 5; i++)
        op.co.keys[i] = 'A' + i;
    op.so.playMusic = 0; // not stored: comes back on
    SaveOptions(op);
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_EQ("-1234,-56", h->GetText(AppKey().c_str(), "Window"));
    EXPECT_EQ("", h->GetText(SubKey("Background").c_str(), "BackgroundName"));
    EXPECT_EQ("130", h->GetText(SubKey("Background").c_str(), "BackgroundFlags"));
    OPTIONS expected = op;
    for (int i = 0; i < 7; i++)
        expected.go.bs.blocks[i] = 14 + i; // re-read from "Three"
    expected.so.playMusic = 1;
    EXPECT_SAME_OPTIONS(expected, Load());
    EXPECT_EQ(Texts(), rec.Texts());

    // The longest text and the extreme numbers.
    op = Defaults();
    memset(op.go.bg.name, 'p', 255);
    op.go.bg.name[255] = '\0';
    op.windowpos.x = INT_MIN;
    op.windowpos.y = INT_MAX;
    op.go.bg.flags = 0xFFFF;
    op.go.bg.color[0] = 0xFFFFFFFF;
    op.go.bg.color[1] = 0;
    SaveOptions(op);
    EXPECT_SAME_OPTIONS(op, Load());
    EXPECT_EQ(Texts(), rec.Texts());

    // Unterminated fields are cut so that they load back.
    memset(op.go.bs.name, 'X', sizeof op.go.bs.name);
    memset(op.go.bg.name, 'Y', sizeof op.go.bg.name);
    SaveOptions(op);
    EXPECT_EQ(string(15, 'X'), h->GetText(AppKey().c_str(), "Current Block Scheme"));
    EXPECT_EQ(string(255, 'Y'), h->GetText(SubKey("Background").c_str(), "BackgroundName"));
}

// ---- Conversions ----

TEST_P(OptionsTest, Conversions)
{
    FirstRun();
    Put("Background", "BackgroundFlags", "65538");
    Put(NULL, "Preview", "Preview");
    Put(NULL, "DrawGrid", "  -7xyz");
    Put(NULL, "Window", "7");
    Put("Background", "BackgroundColors", "255");
    Put("Block Schemes", "One", "9,8,7");
    Put("Controls", "Rotate CW", "+88,1");
    OPTIONS op = Load();
    EXPECT_EQ(Texts(), rec.Texts());
    OPTIONS e = Defaults();
    e.go.bg.flags = 2; // low 16 bits
    e.go.preview = 0;
    e.go.drawGrid = -7;
    e.windowpos.x = 7; // y stays
    e.go.bg.color[0] = 255;
    e.go.bs.blocks[0] = 9; // blocks 3 to 6 stay
    e.go.bs.blocks[1] = 8;
    e.go.bs.blocks[2] = 7;
    e.co.keys[2] = 88;
    EXPECT_SAME_OPTIONS(e, op);

    // A pair stops at the first mismatch.
    const struct {
        const char* text;
        LONG x, y;
    } pairs[] = {{" -5,3", -5, 3}, {"-5 ,3", -5, 100}, {",5", 100, 100}, {"12,34,56", 12, 34}};
    for (const auto& c : pairs) {
        Put(NULL, "Window", c.text);
        op = Load();
        EXPECT_EQ(c.x, op.windowpos.x) << c.text;
        EXPECT_EQ(c.y, op.windowpos.y) << c.text;
        EXPECT_EQ(Texts(), rec.Texts());
    }
}

// ---- Repairs ----

TEST_P(OptionsTest, DeletedControlsGivesFiveMessagesAndUnboundKeys)
{
    FirstRun();
    ASSERT_TRUE(h->DeleteKey(SubKey("Controls").c_str()));
    OPTIONS op = Load();
    Texts m;
    for (int i = 0; i < 5; i++)
        m.push_back("Unable to load control config " + std::to_string(i));
    EXPECT_EQ(m, rec.Texts());
    OPTIONS e = Defaults();
    memset(e.co.keys, 0, sizeof e.co.keys);
    EXPECT_SAME_OPTIONS(e, op);
    EXPECT_EQ("Gay", h->KeyClass(SubKey("Controls").c_str()));
    SaveOptions(op);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ("0", h->GetText(SubKey("Controls").c_str(), szControls[i]));
}

TEST_P(OptionsTest, DeletedBackgroundGivesThreeMessagesAndDefaultBackground)
{
    FirstRun();
    ASSERT_TRUE(h->DeleteKey(SubKey("Background").c_str()));
    OPTIONS back = Load();
    EXPECT_EQ((Texts{"Unable to load background flags", "Unable to load background colors",
                     "Unable to load background name"}),
              rec.Texts());
    EXPECT_SAME_OPTIONS(Defaults(), back);
    EXPECT_TRUE(h->KeyExists(SubKey("Background").c_str()));
}

TEST_P(OptionsTest, DeletedSchemesKeyRewritesDefaultsAndLosesTheUsersOwn)
{
    FirstRun();
    BLOCKSCHEME mine = {"Mine", {3, 1, 4, 1, 5, 9, 2}};
    ASSERT_TRUE(WriteBlockScheme("Mine", mine));
    Put(NULL, "Current Block Scheme", "Three");
    ASSERT_TRUE(h->DeleteKey(SubKey("Block Schemes").c_str()));
    OPTIONS op = Load();
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_STREQ("Three", op.go.bs.name);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(static_cast<DWORD>(14 + i), op.go.bs.blocks[i]);
    EXPECT_EQ(std::set<string>(kSchemeNames, kSchemeNames + 6), NameSet(SubKey("Block Schemes")));
    EXPECT_EQ("Gay", h->KeyClass(SubKey("Block Schemes").c_str()));

    ASSERT_TRUE(WriteBlockScheme("Mine", mine));
    Put(NULL, "Current Block Scheme", "Mine");
    EXPECT_EQ(4u, Load().go.bs.blocks[2]);
    EXPECT_EQ(Texts(), rec.Texts());
    ASSERT_TRUE(h->DeleteKey(SubKey("Block Schemes").c_str()));
    op = Load();
    EXPECT_EQ(Texts{"Unable to load block scheme Mine"}, rec.Texts());
    OPTIONS e = Defaults();
    SetName(e.go.bs.name, sizeof e.go.bs.name, "Mine"); // the name stays, the blocks are One's
    EXPECT_SAME_OPTIONS(e, op);

    // Writing a scheme recreates a lost key.
    ASSERT_TRUE(h->DeleteKey(SubKey("Block Schemes").c_str()));
    EXPECT_EQ(0u, Schemes().size());
    EXPECT_TRUE(WriteBlockScheme("Again", mine));
    EXPECT_EQ(vector<string>{"Again"}, Schemes());
    EXPECT_EQ("Gay", h->KeyClass(SubKey("Block Schemes").c_str()));
}

// ---- Overlong values ----

TEST_P(OptionsTest, OverlongValuesAreReportedAndOverflowNothing)
{
    FirstRun();
    Put("Background", "BackgroundName", string(255, 'n'));
    OPTIONS op = Load();
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_EQ(string(255, 'n'), Field(op.go.bg.name, sizeof op.go.bg.name));
    for (size_t len : {256u, 5000u}) {
        Put("Background", "BackgroundName", string(len, 'n'));
        op = Load();
        EXPECT_EQ(Texts{"Unable to load background name"}, rec.Texts()) << len;
        EXPECT_SAME_OPTIONS(Defaults(), op); // the neighbours in the record too
    }
    Put("Background", "BackgroundName", "Background");

    Put("Block Schemes", "One", "5," + string(300, '1'));
    op = Load();
    EXPECT_EQ(Texts{"Unable to load block scheme One"}, rec.Texts());
    EXPECT_SAME_OPTIONS(Defaults(), op);
}

// A current scheme name too long for the record is refused, not cut.
TEST_P(OptionsTest, CurrentSchemeNameLongerThanFifteenIsRefused)
{
    FirstRun();
    const string name16 = "ABCDEFGHIJKLMNOP", name15 = name16.substr(0, 15);
    BLOCKSCHEME s = {"", {9, 9, 9, 9, 9, 9, 9}};
    ASSERT_TRUE(WriteBlockScheme(name16.c_str(), s));
    ASSERT_TRUE(WriteBlockScheme(name15.c_str(), s));
    Put(NULL, "Current Block Scheme", name16);
    OPTIONS op = Load();
    EXPECT_EQ(Texts{"Unable to load block scheme name"}, rec.Texts());
    EXPECT_SAME_OPTIONS(Defaults(), op);

    Put(NULL, "Current Block Scheme", name15);
    op = Load();
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_EQ(name15, Field(op.go.bs.name, sizeof op.go.bs.name));
    EXPECT_EQ(9u, op.go.bs.blocks[6]);
}

// ---- Letter case of scheme names ----

TEST_P(OptionsTest, SchemeNamesDifferingInCaseAreDifferentSchemes)
{
    FirstRun();
    BLOCKSCHEME bs = {"x", {50, 50, 50, 50, 50, 50, 50}};
    EXPECT_FALSE(BlockSchemeExists("one"));
    EXPECT_EQ(0, LoadBlockScheme("one", bs));
    EXPECT_EQ(Texts{"Unable to load block scheme one"}, rec.Texts());
    EXPECT_EQ(50u, bs.blocks[0]);
    EXPECT_EQ(0, RemoveBlockScheme("ONE"));
    EXPECT_TRUE(BlockSchemeExists("One"));

    char stored[16];
    BLOCKSCHEME lower = {"one", {40, 41, 42, 43, 44, 45, 46}};
    const bool folds = GetParam() == REG_STORE;
    // The registry cannot hold both: writing "one" is reported beforehand as
    // replacing "One", and the new spelling is what stays.
    EXPECT_EQ(folds, FindBlockSchemeTwin("one", stored, sizeof stored) != 0);
    EXPECT_STREQ(folds ? "One" : "", stored);
    ASSERT_TRUE(WriteBlockScheme("one", lower));
    EXPECT_TRUE(LoadBlockScheme("one", bs));
    EXPECT_EQ(40u, bs.blocks[0]);
    EXPECT_EQ(!folds, BlockSchemeExists("One") != 0);
    if (!folds) {
        EXPECT_TRUE(LoadBlockScheme("One", bs));
        EXPECT_EQ(0u, bs.blocks[0]);
    }
    vector<string> names = Schemes();
    EXPECT_EQ(folds ? 6u : 7u, names.size());
    EXPECT_EQ(1, std::count(names.begin(), names.end(), string("one")));
}

// ---- Store failures ----

TEST_P(OptionsTest, ApplicationKeyThatCannotBeCreatedEndsWithCode8)
{
    // A root handle that is no key: every open and create fails.
    RegStore bad(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFF0010)), NULL);
    if (GetParam() == MEM_STORE)
        h->mem->FailOn(MEMFAIL_OPEN | MEMFAIL_CREATE, "Software\\Kellmarvostian\\Stakka\\1.1");
    else
        SetOptionsStore(&bad);
    Load();
    EXPECT_EQ(Texts{"Could not create registry entry"}, rec.Texts());
    EXPECT_EQ(8, exitCode);
    EXPECT_EQ(1, exitCalls);
    SetOptionsStore(h->store);
}

TEST_F(MemOptionsTest, ExistingApplicationKeyThatCannotBeOpenedIsCreatedOver)
{
    FirstRun();
    h->mem->FailOn(MEMFAIL_OPEN, AppKey().c_str());
    OPTIONS op = Load();
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_EQ(-1, exitCode);
    EXPECT_SAME_OPTIONS(Defaults(), op);
}

TEST_F(MemOptionsTest, WriteFailuresAreSilent)
{
    h->mem->FailOn(MEMFAIL_WRITE);
    OPTIONS op = Load();
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_SAME_OPTIONS(Defaults(), op);
    EXPECT_TRUE(h->KeyExists(SubKey("Controls").c_str()));
    EXPECT_EQ(0, h->mem->ValueCount(AppKey().c_str()));
    SaveOptions(op);
    EXPECT_EQ(0, WriteBlockScheme("Mine", op.go.bs));
    SetDefaultBlockSchemes();
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_EQ(0, h->mem->ValueCount(SubKey("Block Schemes").c_str()));

    // The next start finds nothing and says so for every value.
    h->mem->ClearFailures();
    op = Load();
    ASSERT_EQ(13u, rec.Calls().size());
    EXPECT_EQ("Unable to load window position", rec.Texts()[0]);
    EXPECT_EQ("Unable to load block scheme One", rec.Texts()[7]);
    for (const BoxCall& c : rec.Calls()) {
        EXPECT_EQ(NULL, c.owner);
        EXPECT_EQ("Error", c.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), c.type);
    }
    EXPECT_EQ(0, h->mem->ValueCount(AppKey().c_str())); // what is missing is not written
    OPTIONS e = Defaults();
    memset(e.co.keys, 0, sizeof e.co.keys);
    EXPECT_SAME_OPTIONS(e, op);
}

TEST_F(MemOptionsTest, SubkeysThatCannotBeCreatedAreSilentOnFirstRun)
{
    h->mem->FailOn(MEMFAIL_CREATE, SubKey("Controls").c_str());
    h->mem->FailOn(MEMFAIL_CREATE, SubKey("Block Schemes").c_str());
    OPTIONS op = Load();
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_SAME_OPTIONS(Defaults(), op);
    EXPECT_FALSE(h->KeyExists(SubKey("Controls").c_str()));
    EXPECT_EQ("100,100", h->GetText(AppKey().c_str(), "Window"));

    // Later starts try the repair again; reading the missing groups is reported.
    Load();
    ASSERT_EQ(6u, rec.Texts().size());
    EXPECT_EQ("Unable to load block scheme One", rec.Texts()[0]);
    EXPECT_EQ("Unable to load control config 4", rec.Texts()[5]);
}

TEST_F(MemOptionsTest, ReadAndOpenFailuresInSaveAndSchemes)
{
    FirstRun();
    h->mem->FailOn(MEMFAIL_OPEN, SubKey("Block Schemes").c_str());
    OPTIONS op = Defaults();
    op.go.preview = 0;
    SaveOptions(op);
    EXPECT_EQ("0", h->GetText(AppKey().c_str(), "Preview"));
    EXPECT_EQ(0, LoadBlockScheme("Two", op.go.bs));
    EXPECT_EQ(0u, Schemes().size());
    EXPECT_EQ(Texts{"Unable to load block scheme Two"}, rec.Texts());

    h->mem->ClearFailures();
    h->mem->FailOn(MEMFAIL_READ, AppKey().c_str());
    Load();
    EXPECT_EQ((Texts{"Unable to load window position", "Unable to load preview bool",
                     "Unable to load drawGrid bool", "Unable to load block scheme name"}),
              rec.Texts());
}

// ---- Bad stored data in every value ----

enum Garbage { G_EMPTY, G_LONG, G_BINARY, G_NEGATIVE, G_HUGE, G_COUNT };
const char* const kGarbageNames[G_COUNT] = {"empty", "300 chars", "binary", "-2147483649",
                                            "99999999999"};
const string kBinaryText = "\x01\xFF"
                           "5\x80"; // what is read of the binary value

string GarbageData(Garbage g)
{
    switch (g) {
    case G_EMPTY:
        return string(1, '\0');
    case G_LONG:
        return string(300, '7') + '\0';
    case G_BINARY:
        return kBinaryText + string("\0"
                                    "99",
                                    3);
    case G_NEGATIVE:
        return string("-2147483649", 12);
    default:
        return string("99999999999", 12);
    }
}

TEST_P(OptionsTest, EveryValueReplacedByBadDataLoadsOnlyWhatIsDefined)
{
    for (int v = 0; v < static_cast<int>(sizeof kLayout / sizeof kLayout[0]); v++) {
        for (int gi = 0; gi < G_COUNT; gi++) {
            Garbage g = static_cast<Garbage>(gi);
            SCOPED_TRACE(string(kLayout[v].name) + " = " + kGarbageNames[g]);
            h->DeleteKey("Software\\Kellmarvostian");
            FirstRun();
            string path = kLayout[v].subkey ? SubKey(kLayout[v].subkey) : AppKey();
            ASSERT_TRUE(h->PutRaw(path.c_str(), kLayout[v].name, GarbageData(g),
                                  g == G_BINARY ? REG_BINARY : REG_SZ));
            OPTIONS op = Load();
            OPTIONS e = Defaults();
            vector<string> m;
            const bool tooLong = g == G_LONG, number = g >= G_NEGATIVE;
            const int picked[G_COUNT] = {0, 0, 0, INT_MIN, INT_MAX};
            const string text[G_COUNT] = {"", "", kBinaryText, "-2147483649", "99999999999"};
            if (tooLong)
                m.push_back(string("Unable to load ") + kLayout[v].message);
            ValueKind kind = kLayout[v].kind;
            if (kind == KEY || (kind == INT && !tooLong) || (kind == PAIR && number))
                memcpy(reinterpret_cast<char*>(&e) + kLayout[v].off, &picked[g], kLayout[v].size);
            if (kind == BG_NAME && !tooLong)
                SetName(e.go.bg.name, sizeof e.go.bg.name, text[g].c_str());
            if (kind == SCHEME_NAME && !tooLong) {
                SetName(e.go.bs.name, sizeof e.go.bs.name, text[g].c_str());
                m.push_back("Unable to load block scheme " + text[g]);
            }
            EXPECT_EQ(m, rec.Texts());
            EXPECT_SAME_OPTIONS(e, op);
            EXPECT_EQ(-1, exitCode);
        }
    }
}

// ---- Defaults ----

TEST_P(OptionsTest, SetupDefaultsRewritesDefaultSchemesAndKeepsOthers)
{
    FirstRun();
    BLOCKSCHEME changed = {"One", {6, 5, 4, 3, 2, 1, 0}};
    ASSERT_TRUE(WriteBlockScheme("One", changed));
    ASSERT_TRUE(WriteBlockScheme("Mine", changed));
    ASSERT_TRUE(RemoveBlockScheme("Four"));
    OPTIONS op;
    memset(&op, 0x5A, sizeof op);
    SetupDefaults(op);
    OPTIONS e = Defaults();
    memset(&e.so, 0x5A, sizeof e.so); // not touched
    EXPECT_SAME_OPTIONS(e, op);
    const string bs = SubKey("Block Schemes");
    EXPECT_EQ("0,1,2,3,4,5,6,", h->GetText(bs.c_str(), "One"));
    EXPECT_EQ("21,22,23,24,25,26,27,", h->GetText(bs.c_str(), "Four"));
    EXPECT_EQ("6,5,4,3,2,1,0,", h->GetText(bs.c_str(), "Mine"));
    EXPECT_EQ(7u, h->Names(bs.c_str()).size());
    EXPECT_EQ(Texts(), rec.Texts());
}

// ---- Stored block schemes ----

TEST_P(OptionsTest, WriteListRemoveSchemes)
{
    FirstRun();
    BLOCKSCHEME s = {"ignored", {0, 1, 2, 3, 4, 5, 6}};
    ASSERT_TRUE(WriteBlockScheme("Fresh", s));
    EXPECT_EQ("0,1,2,3,4,5,6,", h->GetText(SubKey("Block Schemes").c_str(), "Fresh"));
    EXPECT_STREQ("ignored", s.name);
    EXPECT_TRUE(BlockSchemeExists("Fresh"));
    s.blocks[0] = 99; // replacing keeps one entry
    ASSERT_TRUE(WriteBlockScheme("Fresh", s));
    EXPECT_EQ(7u, Schemes().size());
    BLOCKSCHEME r = {"", {0, 0, 0, 0, 0, 0, 0}};
    EXPECT_TRUE(LoadBlockScheme("Fresh", r));
    EXPECT_EQ(99u, r.blocks[0]);
    EXPECT_STREQ("", r.name);

    char stored[16];
    EXPECT_TRUE(FindBlockSchemeTwin("Fresh", stored, sizeof stored));
    EXPECT_STREQ("Fresh", stored);
    EXPECT_FALSE(FindBlockSchemeTwin("Stale", stored, sizeof stored));
    EXPECT_STREQ("", stored);

    EXPECT_TRUE(RemoveBlockScheme("Fresh"));
    EXPECT_FALSE(BlockSchemeExists("Fresh"));
    EXPECT_FALSE(RemoveBlockScheme("Fresh"));
    EXPECT_EQ(0, WriteBlockScheme("", s));
    EXPECT_EQ(0, WriteBlockScheme(string(256, 'q').c_str(), s));
    EXPECT_EQ(6u, Schemes().size());

    // Listing skips a value too long to be a scheme but not the ones after it.
    h->PutText(SubKey("Block Schemes").c_str(), "Bloated", string(300, '1'));
    ASSERT_TRUE(WriteBlockScheme("Zed", s));
    ASSERT_TRUE(WriteBlockScheme("Aaa", s));
    vector<string> names = Schemes();
    vector<string> e(kSchemeNames, kSchemeNames + 6);
    e.push_back("Zed");
    e.push_back("Aaa");
    if (GetParam() == REG_STORE) { // the registry keeps its own order
        std::sort(names.begin(), names.end());
        std::sort(e.begin(), e.end());
    }
    EXPECT_EQ(e, names);
    EXPECT_EQ(8, ListBlockSchemes(NULL, NULL));
    EXPECT_EQ(Texts(), rec.Texts());
}

TEST(BlockSchemeText, FormatAndParseStayInBounds)
{
    BLOCKSCHEME bs = {"", {0, 1, 2, 3, 4, 5, 0xFFFFFFFF}};
    char text[64];
    EXPECT_EQ(15, FormatBlockScheme(bs, text, 16));
    EXPECT_STREQ("0,1,2,3,4,5,-1,", text);
    EXPECT_EQ(-1, FormatBlockScheme(bs, text, 15)); // no room for the terminator
    EXPECT_STREQ("", text);
    EXPECT_EQ(7, ParseBlockScheme("0,1,2,3,4,5,-1", bs)); // final comma optional
    EXPECT_EQ(0xFFFFFFFFu, bs.blocks[6]);
    EXPECT_EQ(7, ParseBlockScheme("1,2,3,4,5,6,7,8,9", bs));
    EXPECT_EQ(7u, bs.blocks[6]);
    EXPECT_EQ(2, ParseBlockScheme("9,9,x,9", bs));
    EXPECT_EQ(3u, bs.blocks[2]);
    EXPECT_EQ(0, ParseBlockScheme(NULL, bs));
}

// ---- The real exit ----
//
// This program starts itself with STAKKA_OPTIONS_EXIT_CHILD set to a file name; before
// any test runs, that child aims the options at a registry root that cannot hold keys,
// records the box text in the file and loads the options with the real exit.

const char kChildVar[] = "STAKKA_OPTIONS_EXIT_CHILD";

// Any other text ends the child with 97 instead of the 8 that should follow the box.
int WINAPI ChildBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    if (strcmp(text, "Could not create registry entry") != 0)
        ExitProcess(97);
    return IDOK;
}

struct ExitChild {
    ExitChild()
    {
        if (GetEnvironmentVariableA(kChildVar, NULL, 0) == 0)
            return;
        SetMbErrorBox(ChildBox);
        static RegStore nowhere(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFF0010)), NULL);
        SetOptionsStore(&nowhere);
        OPTIONS op;
        LoadOptions(op);
        ExitProcess(99); // LoadOptions should not have come back
    }
} exitChild;

TEST(OptionsExit, ProcessEndsWithCode8)
{
    char exe[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(NULL, exe, sizeof exe), 0u);
    char cmd[MAX_PATH + 32];
    snprintf(cmd, sizeof cmd, "\"%s\" --gtest_filter=-*", exe);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(SetEnvironmentVariableA(kChildVar, "1"));
    BOOL started = CreateProcessA(exe, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi);
    SetEnvironmentVariableA(kChildVar, NULL);
    ASSERT_TRUE(started);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 60000));
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(8u, code);
}

} // namespace
