// test_options.cpp - the options records, their defaults, loading, saving, repairs,
// bad stored data and the stored block schemes, against the in-memory store and
// against the real registry (a scratch subtree of HKEY_CURRENT_USER).
#include <gtest/gtest.h>

#include <limits.h>
#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "options_fixture.h"

using std::string;
using std::vector;

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

// The defaults, written out here rather than taken from the tables under test.
OPTIONS Defaults()
{
    OPTIONS op;
    memset(&op, 0, sizeof op);
    op.windowpos.x = 100;
    op.windowpos.y = 100;
    op.go.bg.flags = 0x0001;
    op.go.bg.color[0] = 0x00FFFFFF;
    op.go.bg.color[1] = 0x00FFFFFF;
    strcpy(op.go.bg.name, "Background");
    strcpy(op.go.bs.name, "One");
    for (int i = 0; i < 7; i++)
        op.go.bs.blocks[i] = i;
    op.go.drawGrid = 1;
    op.go.preview = 1;
    const int keys[5] = {37, 39, 38, 17, 40};
    for (int i = 0; i < 5; i++)
        op.co.keys[i] = keys[i];
    op.so.playMusic = 1;
    strcpy(op.so.bgMusic, "beyond.mod");
    return op;
}

void ExpectSameOptions(const OPTIONS& e, const OPTIONS& a)
{
    EXPECT_EQ(e.windowpos.x, a.windowpos.x);
    EXPECT_EQ(e.windowpos.y, a.windowpos.y);
    EXPECT_EQ(e.go.bg.flags, a.go.bg.flags);
    EXPECT_EQ(e.go.bg.color[0], a.go.bg.color[0]);
    EXPECT_EQ(e.go.bg.color[1], a.go.bg.color[1]);
    EXPECT_EQ(Field(e.go.bg.name, sizeof e.go.bg.name), Field(a.go.bg.name, sizeof a.go.bg.name));
    EXPECT_EQ(Field(e.go.bs.name, sizeof e.go.bs.name), Field(a.go.bs.name, sizeof a.go.bs.name));
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(e.go.bs.blocks[i], a.go.bs.blocks[i]) << "block " << i;
    EXPECT_EQ(e.go.drawGrid, a.go.drawGrid);
    EXPECT_EQ(e.go.preview, a.go.preview);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(e.co.keys[i], a.co.keys[i]) << "key " << i;
    EXPECT_EQ(e.so.playMusic, a.so.playMusic);
    EXPECT_EQ(Field(e.so.bgMusic, sizeof e.so.bgMusic), Field(a.so.bgMusic, sizeof a.so.bgMusic));
}

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

    // LoadOptions into a record full of rubbish, as the shell hands it over.
    OPTIONS Load()
    {
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

const char* const kSchemeTexts[6] = {
    "0,1,2,3,4,5,6,",        "7,8,9,10,11,12,13,",    "14,15,16,17,18,19,20,",
    "21,22,23,24,25,26,27,", "28,29,30,31,32,33,34,", "35,36,37,38,39,40,41,",
};
const char* const kSchemeNames[6] = {"One", "Two", "Three", "Four", "Five", "Six"};

// ---- Constant tables and record layout ----

TEST(OptionsTables, ValuesAreExact)
{
    EXPECT_STREQ("Software\\Kellmarvostian\\Stakka", szRegKeyNoVer);
    EXPECT_EQ(31u, sizeof szRegKeyNoVer);
    const char* controls[5] = {"Move Left", "Move Right", "Rotate CW", "Rotate CCW", "Drop fast"};
    const int keys[5] = {37, 39, 38, 17, 40};
    for (int i = 0; i < NUM_CONTROLS; i++) {
        EXPECT_STREQ(controls[i], szControls[i]);
        EXPECT_EQ(keys[i], defaultkeys[i]);
    }
    EXPECT_EQ(BG_BUILTIN, defaultBackground.flags);
    EXPECT_EQ(0x00FFFFFFu, defaultBackground.color[0]);
    EXPECT_EQ(0x00FFFFFFu, defaultBackground.color[1]);
    EXPECT_STREQ("Background", defaultBackground.name);
    for (int k = 0; k < NUM_DEFAULT_SCHEMES; k++) {
        EXPECT_STREQ(kSchemeNames[k], defaultBlockSchemes[k].name);
        for (int i = 0; i < NUM_SCHEME_BLOCKS; i++)
            EXPECT_EQ(static_cast<DWORD>(7 * k + i), defaultBlockSchemes[k].blocks[i]);
    }
    EXPECT_STREQ("beyond.mod", defaultMusic);
    const char* bg[5] = {"Built in", "From file", "Solid Color", "Gradient", "Pattern"};
    const WORD kinds[5] = {BG_BUILTIN, BG_FILE, BG_SOLID, BG_GRADIENT, BG_PATTERN};
    for (int i = 0; i < NUM_BG_OPTIONS; i++) {
        EXPECT_STREQ(bg[i], szBgOptions[i]);
        EXPECT_EQ(1 << i, kinds[i]);
    }
    const char* names[4] = {"Background", "Skull", "Leet", "Background2"};
    for (int i = 0; i < NUM_BACKGROUND_NAMES; i++)
        EXPECT_STREQ(names[i], backgroundNames[i]);
    const char* tiles[3] = {"Blue", "Red", "Orange"};
    for (int i = 0; i < NUM_TILE_NAMES; i++)
        EXPECT_STREQ(tiles[i], tileNames[i]);
    const char* placements[4] = {"Default", "Center", "Tile", "Stretch"};
    const WORD bits[4] = {0, BG_CENTER, BG_TILE, BG_STRETCH};
    for (int j = 0; j < NUM_FROMFILE_OPTIONS; j++)
        EXPECT_STREQ(placements[j], fromfileOptions[j]);
    for (int j = 1; j < NUM_FROMFILE_OPTIONS; j++)
        EXPECT_EQ(0x0020 << (j - 1), bits[j]);
    EXPECT_EQ(0x0020, BG_CENTER);
    EXPECT_EQ(0x0040, BG_TILE);
    EXPECT_EQ(0x0080, BG_STRETCH);
}

TEST(OptionsTables, RecordLayout)
{
    EXPECT_EQ(2u, sizeof(BACKGROUND().flags));
    EXPECT_EQ(8u, sizeof(BACKGROUND().color));
    EXPECT_EQ(256u, sizeof(BACKGROUND().name));
    EXPECT_EQ(16u, sizeof(BLOCKSCHEME().name));
    EXPECT_EQ(28u, sizeof(BLOCKSCHEME().blocks));
    EXPECT_EQ(20u, sizeof(CONTROLOPTIONS().keys));
    EXPECT_EQ(256u, sizeof(SOUNDOPTIONS().bgMusic));
    EXPECT_EQ(128u, sizeof szRegKey);
    EXPECT_LT(offsetof(BACKGROUND, flags), offsetof(BACKGROUND, color));
    EXPECT_LT(offsetof(BACKGROUND, color), offsetof(BACKGROUND, name));
    EXPECT_LT(offsetof(GRAPHICSOPTIONS, bg), offsetof(GRAPHICSOPTIONS, bs));
    EXPECT_LT(offsetof(GRAPHICSOPTIONS, bs), offsetof(GRAPHICSOPTIONS, drawGrid));
    EXPECT_LT(offsetof(GRAPHICSOPTIONS, drawGrid), offsetof(GRAPHICSOPTIONS, preview));
    EXPECT_LT(offsetof(OPTIONS, windowpos), offsetof(OPTIONS, go));
    EXPECT_LT(offsetof(OPTIONS, go), offsetof(OPTIONS, co));
    EXPECT_LT(offsetof(OPTIONS, co), offsetof(OPTIONS, so));
    EXPECT_LT(offsetof(SOUNDOPTIONS, playMusic), offsetof(SOUNDOPTIONS, bgMusic));
}

// ---- First run ----

TEST_P(OptionsTest, FirstRunWritesExactStoreWithoutMessage)
{
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_STREQ("Software\\Kellmarvostian\\Stakka\\1.1", szRegKey);
    ExpectSameOptions(Defaults(), op);
    EXPECT_EQ(-1, exitCode);

    const string app = AppKey(), bg = SubKey("Background"), ctl = SubKey("Controls"),
                 bs = SubKey("Block Schemes");
    vector<string> an = h->Names(app.c_str());
    EXPECT_EQ((std::set<string>{"Window", "Preview", "DrawGrid", "Current Block Scheme"}),
              std::set<string>(an.begin(), an.end()));
    EXPECT_EQ(4u, an.size());
    EXPECT_EQ("100,100", h->GetText(app.c_str(), "Window"));
    EXPECT_EQ("1", h->GetText(app.c_str(), "Preview"));
    EXPECT_EQ("1", h->GetText(app.c_str(), "DrawGrid"));
    EXPECT_EQ("One", h->GetText(app.c_str(), "Current Block Scheme"));

    vector<string> bn = h->Names(bg.c_str());
    EXPECT_EQ(3u, bn.size());
    EXPECT_EQ("1", h->GetText(bg.c_str(), "BackgroundFlags"));
    EXPECT_EQ("16777215,16777215", h->GetText(bg.c_str(), "BackgroundColors"));
    EXPECT_EQ("Background", h->GetText(bg.c_str(), "BackgroundName"));

    vector<string> cn = h->Names(ctl.c_str());
    EXPECT_EQ(5u, cn.size());
    const char* keys[5] = {"37", "39", "38", "17", "40"};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(keys[i], h->GetText(ctl.c_str(), szControls[i]));

    vector<string> sn = h->Names(bs.c_str());
    EXPECT_EQ(6u, sn.size());
    EXPECT_EQ((std::set<string>(kSchemeNames, kSchemeNames + 6)),
              std::set<string>(sn.begin(), sn.end()));
    if (GetParam() == MEM_STORE) {
        EXPECT_EQ(vector<string>(kSchemeNames, kSchemeNames + 6), sn);
    }
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(kSchemeTexts[k], h->GetText(bs.c_str(), kSchemeNames[k]));

    // Every key we made carries the class string; nothing else lies under the version key.
    for (const string& k : {app, bg, ctl, bs})
        EXPECT_EQ("Gay", h->KeyClass(k.c_str())) << k;
}

TEST_P(OptionsTest, SecondRunReadsBackDefaultsWithoutMessage)
{
    FirstRun();
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    ExpectSameOptions(Defaults(), op);
}

TEST_P(OptionsTest, MissingValueKeepsDefaultAndIsNotWritten)
{
    FirstRun();
    ASSERT_TRUE(h->DeleteValue(AppKey().c_str(), "Window"));
    OPTIONS op = Load();
    EXPECT_EQ(vector<string>{"Unable to load window position"}, rec.Texts());
    EXPECT_EQ(100, op.windowpos.x);
    EXPECT_EQ(100, op.windowpos.y);
    EXPECT_EQ("<missing>", h->GetText(AppKey().c_str(), "Window"));
}

TEST_P(OptionsTest, MessagesDuringLoadHaveNoOwner)
{
    FirstRun();
    h->DeleteValue(AppKey().c_str(), "Preview");
    Load();
    ASSERT_EQ(1u, rec.Calls().size());
    EXPECT_EQ(NULL, rec.Calls()[0].owner);
    EXPECT_EQ("Error", rec.Calls()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), rec.Calls()[0].type);
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
    strcpy(op.go.bs.name, "Three");
    op.go.drawGrid = 0;
    op.go.preview = 0;
    for (int i = 0; i < 5; i++)
        op.co.keys[i] = 'A' + i;
    op.so.playMusic = 0; // not stored: comes back on
    SaveOptions(op);
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_EQ("-1234,-56", h->GetText(AppKey().c_str(), "Window"));
    EXPECT_EQ("", h->GetText(SubKey("Background").c_str(), "BackgroundName"));
    EXPECT_EQ("130", h->GetText(SubKey("Background").c_str(), "BackgroundFlags"));

    OPTIONS back = Load();
    EXPECT_TRUE(rec.Texts().empty());
    OPTIONS expected = op;
    for (int i = 0; i < 7; i++)
        expected.go.bs.blocks[i] = 14 + i; // re-read from "Three"
    expected.so.playMusic = 1;
    ExpectSameOptions(expected, back);
}

TEST_P(OptionsTest, SaveThenLoadLongestTextsAndExtremeNumbers)
{
    FirstRun();
    OPTIONS op = Defaults();
    memset(op.go.bg.name, 'p', 255);
    op.go.bg.name[255] = '\0';
    op.windowpos.x = INT_MIN;
    op.windowpos.y = INT_MAX;
    op.go.bg.flags = 0xFFFF;
    op.go.bg.color[0] = 0xFFFFFFFF;
    op.go.bg.color[1] = 0;
    SaveOptions(op);
    OPTIONS back = Load();
    EXPECT_TRUE(rec.Texts().empty());
    ExpectSameOptions(op, back);
}

TEST_P(OptionsTest, SaveCutsUnterminatedFieldsSoTheyLoadBack)
{
    FirstRun();
    OPTIONS op = Defaults();
    memset(op.go.bs.name, 'X', sizeof op.go.bs.name); // no terminator
    memset(op.go.bg.name, 'Y', sizeof op.go.bg.name);
    SaveOptions(op);
    EXPECT_EQ(string(15, 'X'), h->GetText(AppKey().c_str(), "Current Block Scheme"));
    EXPECT_EQ(string(255, 'Y'), h->GetText(SubKey("Background").c_str(), "BackgroundName"));
}

// ---- Conversions ----

TEST_P(OptionsTest, Conversions)
{
    FirstRun();
    const string app = AppKey(), bg = SubKey("Background"), bs = SubKey("Block Schemes");
    h->PutText(bg.c_str(), "BackgroundFlags", "65538");
    h->PutText(app.c_str(), "Preview", "Preview");
    h->PutText(app.c_str(), "DrawGrid", "  -7xyz");
    h->PutText(app.c_str(), "Window", "7");
    h->PutText(bg.c_str(), "BackgroundColors", "255");
    h->PutText(bs.c_str(), "One", "9,8,7");
    h->PutText(SubKey("Controls").c_str(), "Rotate CW", "+88,1");
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_EQ(2, op.go.bg.flags);
    EXPECT_EQ(0, op.go.preview);
    EXPECT_EQ(-7, op.go.drawGrid);
    EXPECT_EQ(7, op.windowpos.x);
    EXPECT_EQ(100, op.windowpos.y);
    EXPECT_EQ(255u, op.go.bg.color[0]);
    EXPECT_EQ(0x00FFFFFFu, op.go.bg.color[1]);
    const DWORD blocks[7] = {9, 8, 7, 3, 4, 5, 6};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(blocks[i], op.go.bs.blocks[i]);
    EXPECT_EQ(88, op.co.keys[2]);
}

TEST_P(OptionsTest, PairStopsAtFirstMismatch)
{
    FirstRun();
    const string app = AppKey();
    struct {
        const char* text;
        LONG x, y;
    } cases[] = {
        {" -5,3", -5, 3}, {"-5 ,3", -5, 100}, {"5, 3", 5, 3},       {"5,", 5, 100},
        {",5", 100, 100}, {"x,5", 100, 100},  {"12,34,56", 12, 34}, {"-0,-0", 0, 0},
    };
    for (const auto& c : cases) {
        h->PutText(app.c_str(), "Window", c.text);
        OPTIONS op = Load();
        EXPECT_EQ(c.x, op.windowpos.x) << c.text;
        EXPECT_EQ(c.y, op.windowpos.y) << c.text;
    }
    EXPECT_TRUE(rec.Texts().empty());
}

// ---- Repairs ----

TEST_P(OptionsTest, DeletedControlsGivesFiveMessagesAndUnboundKeys)
{
    FirstRun();
    ASSERT_TRUE(h->DeleteKey(SubKey("Controls").c_str()));
    OPTIONS op = Load();
    EXPECT_EQ((vector<string>{"Unable to load control config 0", "Unable to load control config 1",
                              "Unable to load control config 2", "Unable to load control config 3",
                              "Unable to load control config 4"}),
              rec.Texts());
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(0, op.co.keys[i]);
    EXPECT_TRUE(h->KeyExists(SubKey("Controls").c_str()));
    EXPECT_EQ("Gay", h->KeyClass(SubKey("Controls").c_str()));
    SaveOptions(op);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ("0", h->GetText(SubKey("Controls").c_str(), szControls[i]));
}

TEST_P(OptionsTest, DeletedBackgroundGivesThreeMessagesAndDefaultBackground)
{
    FirstRun();
    OPTIONS op = Defaults();
    op.go.bg.flags = BG_SOLID;
    strcpy(op.go.bg.name, "elsewhere");
    SaveOptions(op);
    ASSERT_TRUE(h->DeleteKey(SubKey("Background").c_str()));
    OPTIONS back = Load();
    EXPECT_EQ((vector<string>{"Unable to load background flags", "Unable to load background colors",
                              "Unable to load background name"}),
              rec.Texts());
    ExpectSameOptions(Defaults(), back);
    EXPECT_TRUE(h->KeyExists(SubKey("Background").c_str()));
}

TEST_P(OptionsTest, DeletedSchemesKeyRewritesDefaultsAndLoadsThree)
{
    FirstRun();
    h->PutText(AppKey().c_str(), "Current Block Scheme", "Three");
    BLOCKSCHEME mine = {"Mine", {1, 1, 1, 1, 1, 1, 1}};
    ASSERT_TRUE(WriteBlockScheme("Mine", mine));
    ASSERT_TRUE(h->DeleteKey(SubKey("Block Schemes").c_str()));
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_STREQ("Three", op.go.bs.name);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(static_cast<DWORD>(14 + i), op.go.bs.blocks[i]);
    vector<string> names = h->Names(SubKey("Block Schemes").c_str());
    EXPECT_EQ((std::set<string>(kSchemeNames, kSchemeNames + 6)),
              std::set<string>(names.begin(), names.end()));
}

TEST_P(OptionsTest, DeletedSchemesKeyLosesTheUsersCurrentScheme)
{
    FirstRun();
    BLOCKSCHEME mine = {"Mine", {3, 1, 4, 1, 5, 9, 2}};
    ASSERT_TRUE(WriteBlockScheme("Mine", mine));
    h->PutText(AppKey().c_str(), "Current Block Scheme", "Mine");
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_EQ(4u, op.go.bs.blocks[2]);

    ASSERT_TRUE(h->DeleteKey(SubKey("Block Schemes").c_str()));
    op = Load();
    EXPECT_EQ(vector<string>{"Unable to load block scheme Mine"}, rec.Texts());
    EXPECT_STREQ("Mine", op.go.bs.name);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(static_cast<DWORD>(i), op.go.bs.blocks[i]);
}

// ---- Overlong values ----

TEST_P(OptionsTest, OverlongBackgroundNameIsReportedAndOverflowsNothing)
{
    FirstRun();
    const string bg = SubKey("Background");
    h->PutText(bg.c_str(), "BackgroundName", string(255, 'n'));
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_EQ(string(255, 'n'), Field(op.go.bg.name, sizeof op.go.bg.name));

    for (size_t len : {256u, 257u, 5000u}) {
        rec.Clear();
        h->PutText(bg.c_str(), "BackgroundName", string(len, 'n'));
        op = Load();
        EXPECT_EQ(vector<string>{"Unable to load background name"}, rec.Texts()) << len;
        EXPECT_STREQ("Background", op.go.bg.name);
        EXPECT_EQ(1, op.go.preview); // the neighbour in the record is untouched
    }
}

TEST_P(OptionsTest, OverlongSchemeTextIsReportedAndKeepsBlocks)
{
    FirstRun();
    h->PutText(SubKey("Block Schemes").c_str(), "One", "5," + string(300, '1'));
    OPTIONS op = Load();
    EXPECT_EQ(vector<string>{"Unable to load block scheme One"}, rec.Texts());
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(static_cast<DWORD>(i), op.go.bs.blocks[i]);
}

TEST_P(OptionsTest, CurrentSchemeNameLongerThanFifteenIsRefused)
{
    FirstRun();
    const string name16 = "ABCDEFGHIJKLMNOP";
    BLOCKSCHEME s = {"", {9, 9, 9, 9, 9, 9, 9}};
    ASSERT_TRUE(WriteBlockScheme(name16.c_str(), s));
    h->PutText(AppKey().c_str(), "Current Block Scheme", name16);
    OPTIONS op = Load();
    EXPECT_EQ(vector<string>{"Unable to load block scheme name"}, rec.Texts());
    EXPECT_STREQ("One", op.go.bs.name);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(static_cast<DWORD>(i), op.go.bs.blocks[i]);

    rec.Clear();
    const string name15 = name16.substr(0, 15);
    ASSERT_TRUE(WriteBlockScheme(name15.c_str(), s));
    h->PutText(AppKey().c_str(), "Current Block Scheme", name15);
    op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_EQ(name15, Field(op.go.bs.name, sizeof op.go.bs.name));
    EXPECT_EQ(9u, op.go.bs.blocks[6]);
}

// ---- Letter case of scheme names ----

TEST_P(OptionsTest, SchemeNamesDifferingInCaseAreDifferentSchemes)
{
    FirstRun();
    BLOCKSCHEME bs = {"x", {50, 50, 50, 50, 50, 50, 50}};
    // Only "One" is stored: "one" is another name and is not found.
    EXPECT_FALSE(BlockSchemeExists("one"));
    EXPECT_EQ(0, LoadBlockScheme("one", bs));
    EXPECT_EQ(vector<string>{"Unable to load block scheme one"}, rec.Texts());
    EXPECT_EQ(50u, bs.blocks[0]);
    EXPECT_TRUE(BlockSchemeExists("One"));
    EXPECT_EQ(0, RemoveBlockScheme("ONE"));
    EXPECT_TRUE(BlockSchemeExists("One"));

    char stored[16];
    BLOCKSCHEME lower = {"one", {40, 41, 42, 43, 44, 45, 46}};
    if (GetParam() == MEM_STORE) {
        EXPECT_FALSE(FindBlockSchemeTwin("one", stored, sizeof stored));
        ASSERT_TRUE(WriteBlockScheme("one", lower));
        EXPECT_TRUE(LoadBlockScheme("one", bs));
        EXPECT_EQ(40u, bs.blocks[0]);
        EXPECT_TRUE(LoadBlockScheme("One", bs));
        EXPECT_EQ(0u, bs.blocks[0]);
        EXPECT_EQ(7u, Schemes().size());
    } else {
        // The registry cannot hold both: writing "one" is reported beforehand as
        // replacing "One", and the new spelling is what stays.
        EXPECT_TRUE(FindBlockSchemeTwin("one", stored, sizeof stored));
        EXPECT_STREQ("One", stored);
        ASSERT_TRUE(WriteBlockScheme("one", lower));
        EXPECT_TRUE(BlockSchemeExists("one"));
        EXPECT_FALSE(BlockSchemeExists("One"));
        EXPECT_TRUE(LoadBlockScheme("one", bs));
        EXPECT_EQ(40u, bs.blocks[0]);
        vector<string> names = Schemes();
        EXPECT_EQ(6u, names.size());
        EXPECT_EQ(1, std::count(names.begin(), names.end(), string("one")));
    }
}

// ---- Store failures ----

TEST_P(OptionsTest, ApplicationKeyThatCannotBeCreatedEndsWithCode8)
{
    std::unique_ptr<Store> bad;
    if (GetParam() == MEM_STORE) {
        h->mem->FailOn(MEMFAIL_OPEN | MEMFAIL_CREATE, "Software\\Kellmarvostian\\Stakka\\1.1");
    } else {
        // A root handle that is no key: every open and create fails.
        bad.reset(new RegStore(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFF0010)), NULL));
        SetOptionsStore(bad.get());
    }
    Load();
    EXPECT_EQ(vector<string>{"Could not create registry entry"}, rec.Texts());
    EXPECT_EQ(8, exitCode);
    EXPECT_EQ(1, exitCalls);
    if (bad)
        SetOptionsStore(h->store);
}

TEST_F(MemOptionsTest, ExistingApplicationKeyThatCannotBeOpenedIsCreatedOver)
{
    FirstRun();
    h->mem->FailOn(MEMFAIL_OPEN, AppKey().c_str());
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_EQ(-1, exitCode);
    ExpectSameOptions(Defaults(), op);
}

TEST_F(MemOptionsTest, WriteFailuresAreSilent)
{
    h->mem->FailOn(MEMFAIL_WRITE);
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    ExpectSameOptions(Defaults(), op);
    EXPECT_TRUE(h->KeyExists(SubKey("Controls").c_str()));
    EXPECT_EQ(0, h->mem->ValueCount(AppKey().c_str()));
    SaveOptions(op);
    EXPECT_EQ(0, WriteBlockScheme("Mine", op.go.bs));
    SetDefaultBlockSchemes();
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_EQ(0, h->mem->ValueCount(SubKey("Block Schemes").c_str()));

    // The next start finds nothing and says so for every value.
    h->mem->ClearFailures();
    op = Load();
    EXPECT_EQ(13u, rec.Texts().size());
    EXPECT_EQ("Unable to load block scheme One", rec.Texts()[7]);
    ExpectSameOptions(
        [] {
            OPTIONS e = Defaults();
            for (int i = 0; i < 5; i++)
                e.co.keys[i] = 0;
            return e;
        }(),
        op);
}

TEST_F(MemOptionsTest, SubkeysThatCannotBeCreatedAreSilentOnFirstRun)
{
    h->mem->FailOn(MEMFAIL_CREATE, SubKey("Controls").c_str());
    h->mem->FailOn(MEMFAIL_CREATE, SubKey("Block Schemes").c_str());
    OPTIONS op = Load();
    EXPECT_TRUE(rec.Texts().empty());
    ExpectSameOptions(Defaults(), op);
    EXPECT_FALSE(h->KeyExists(SubKey("Controls").c_str()));
    EXPECT_EQ("100,100", h->GetText(AppKey().c_str(), "Window"));

    // Later starts try the repair again; reading the missing groups is reported.
    op = Load();
    EXPECT_EQ(6u, rec.Texts().size());
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
    BLOCKSCHEME bs = Defaults().go.bs;
    EXPECT_EQ(0, LoadBlockScheme("Two", bs));
    EXPECT_EQ(0u, Schemes().size());
    EXPECT_EQ(vector<string>{"Unable to load block scheme Two"}, rec.Texts());

    h->mem->ClearFailures();
    h->mem->FailOn(MEMFAIL_READ, AppKey().c_str());
    rec.Clear();
    op = Load();
    EXPECT_EQ((vector<string>{"Unable to load window position", "Unable to load preview bool",
                              "Unable to load drawGrid bool", "Unable to load block scheme name"}),
              rec.Texts());
}

// ---- Bad stored data in every value ----

enum Garbage { G_EMPTY, G_LONG, G_BINARY, G_NEGATIVE, G_HUGE, G_COUNT };
const char* const kGarbageNames[G_COUNT] = {"empty", "300 chars", "binary", "-2147483649",
                                            "99999999999"};
const string kBinaryText = "\x01\xFF"
                           "5\x80"; // what is read of the binary value

string GarbageData(Garbage g, DWORD* type)
{
    *type = REG_SZ;
    switch (g) {
    case G_EMPTY:
        return string(1, '\0');
    case G_LONG:
        return string(300, '7') + '\0';
    case G_BINARY:
        *type = REG_BINARY;
        return string("\x01\xFF"
                      "5\x80\0"
                      "99",
                      7);
    case G_NEGATIVE:
        return string("-2147483649", 12);
    default:
        return string("99999999999", 12);
    }
}

struct LayoutValue {
    const char* subkey; // null: the application key
    const char* name;
};
const LayoutValue kLayout[] = {
    {NULL, "Window"},
    {NULL, "Preview"},
    {NULL, "DrawGrid"},
    {"Background", "BackgroundFlags"},
    {"Background", "BackgroundColors"},
    {"Background", "BackgroundName"},
    {NULL, "Current Block Scheme"},
    {"Controls", "Move Left"},
    {"Controls", "Move Right"},
    {"Controls", "Rotate CW"},
    {"Controls", "Rotate CCW"},
    {"Controls", "Drop fast"},
    {"Block Schemes", "One"},
};

// What the record and the messages must be after loading value v replaced by g.
void Expect(int v, Garbage g, OPTIONS& e, vector<string>& m)
{
    const int pick[G_COUNT] = {0, 0, 0, INT_MIN, INT_MAX};
    switch (v) {
    case 0:
        if (g == G_LONG)
            m.push_back("Unable to load window position");
        if (g >= G_NEGATIVE)
            e.windowpos.x = pick[g];
        break;
    case 1:
    case 2:
        if (g == G_LONG)
            m.push_back(v == 1 ? "Unable to load preview bool" : "Unable to load drawGrid bool");
        else
            (v == 1 ? e.go.preview : e.go.drawGrid) = pick[g];
        break;
    case 3: {
        const WORD flags[G_COUNT] = {0, 1, 0, 0, 0xFFFF};
        if (g == G_LONG)
            m.push_back("Unable to load background flags");
        e.go.bg.flags = flags[g];
        break;
    }
    case 4:
        if (g == G_LONG)
            m.push_back("Unable to load background colors");
        if (g >= G_NEGATIVE)
            e.go.bg.color[0] = static_cast<COLORREF>(pick[g]);
        break;
    case 5: {
        const string names[G_COUNT] = {"", "Background", kBinaryText, "-2147483649", "99999999999"};
        if (g == G_LONG)
            m.push_back("Unable to load background name");
        strcpy(e.go.bg.name, names[g].c_str());
        break;
    }
    case 6: {
        const string names[G_COUNT] = {"", "One", kBinaryText, "-2147483649", "99999999999"};
        strcpy(e.go.bs.name, names[g].c_str());
        if (g == G_LONG)
            m.push_back("Unable to load block scheme name");
        else
            m.push_back("Unable to load block scheme " + names[g]);
        break;
    }
    case 12:
        if (g == G_LONG)
            m.push_back("Unable to load block scheme One");
        if (g >= G_NEGATIVE)
            e.go.bs.blocks[0] = static_cast<DWORD>(pick[g]);
        break;
    default: // key bindings 7..11
        if (g == G_LONG)
            m.push_back("Unable to load control config " + std::to_string(v - 7));
        e.co.keys[v - 7] = pick[g];
        break;
    }
}

TEST_P(OptionsTest, EveryValueReplacedByBadDataLoadsOnlyWhatIsDefined)
{
    const string versionless = szRegKeyNoVer;
    for (int v = 0; v < static_cast<int>(sizeof kLayout / sizeof kLayout[0]); v++) {
        for (int gi = 0; gi < G_COUNT; gi++) {
            Garbage g = static_cast<Garbage>(gi);
            SCOPED_TRACE(string(kLayout[v].name) + " = " + kGarbageNames[g]);
            h->DeleteKey("Software\\Kellmarvostian");
            FirstRun();
            string path = kLayout[v].subkey ? SubKey(kLayout[v].subkey) : AppKey();
            DWORD type;
            string data = GarbageData(g, &type);
            ASSERT_TRUE(h->PutRaw(path.c_str(), kLayout[v].name, data, type));

            OPTIONS op = Load();
            OPTIONS e = Defaults();
            vector<string> m;
            Expect(v, g, e, m);
            EXPECT_EQ(m, rec.Texts());
            ExpectSameOptions(e, op);
            EXPECT_EQ(-1, exitCode);
            rec.Clear();
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
    ExpectSameOptions(e, op);
    const string bs = SubKey("Block Schemes");
    EXPECT_EQ("0,1,2,3,4,5,6,", h->GetText(bs.c_str(), "One"));
    EXPECT_EQ("21,22,23,24,25,26,27,", h->GetText(bs.c_str(), "Four"));
    EXPECT_EQ("6,5,4,3,2,1,0,", h->GetText(bs.c_str(), "Mine"));
    EXPECT_EQ(7u, h->Names(bs.c_str()).size());
    EXPECT_TRUE(rec.Texts().empty());
}

TEST(OptionsDefaults, CopyDefaultsIntoRecords)
{
    BACKGROUND bg;
    memset(&bg, 0x77, sizeof bg);
    SetDefaultBackground(bg);
    EXPECT_EQ(BG_BUILTIN, bg.flags);
    EXPECT_EQ(0x00FFFFFFu, bg.color[0]);
    EXPECT_EQ(0x00FFFFFFu, bg.color[1]);
    EXPECT_STREQ("Background", bg.name);
    CONTROLOPTIONS co;
    memset(&co, 0x77, sizeof co);
    SetDefaultControls(co);
    const int keys[5] = {37, 39, 38, 17, 40};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(keys[i], co.keys[i]);
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
    vector<string> names = Schemes();
    ASSERT_EQ(7u, names.size());
    if (GetParam() == MEM_STORE) {
        EXPECT_EQ("Fresh", names.back());
    }

    // Replacing keeps one entry.
    s.blocks[0] = 99;
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
    EXPECT_EQ(6u, Schemes().size());

    // An empty name is no scheme.
    EXPECT_EQ(0, WriteBlockScheme("", s));
    EXPECT_EQ(0, WriteBlockScheme(string(256, 'q').c_str(), s));
    EXPECT_EQ(6u, Schemes().size());
    EXPECT_TRUE(rec.Texts().empty());
}

TEST_P(OptionsTest, ListSkipsAValueTooLongButNotTheOnesAfterIt)
{
    FirstRun();
    const string bs = SubKey("Block Schemes");
    h->PutText(bs.c_str(), "Bloated", string(300, '1'));
    BLOCKSCHEME s = {"", {1, 2, 3, 4, 5, 6, 7}};
    ASSERT_TRUE(WriteBlockScheme("Zed", s));
    ASSERT_TRUE(WriteBlockScheme("Aaa", s));
    vector<string> names = Schemes();
    EXPECT_EQ(8u, names.size());
    EXPECT_EQ(0, std::count(names.begin(), names.end(), string("Bloated")));
    EXPECT_EQ(1, std::count(names.begin(), names.end(), string("Zed")));
    EXPECT_EQ(1, std::count(names.begin(), names.end(), string("Aaa")));
    if (GetParam() == MEM_STORE) {
        vector<string> e(kSchemeNames, kSchemeNames + 6);
        e.push_back("Zed");
        e.push_back("Aaa");
        EXPECT_EQ(e, names);
    }
    EXPECT_EQ(8, ListBlockSchemes(NULL, NULL));
}

TEST_P(OptionsTest, WriteSchemeRecreatesALostKey)
{
    FirstRun();
    ASSERT_TRUE(h->DeleteKey(SubKey("Block Schemes").c_str()));
    EXPECT_EQ(0u, Schemes().size());
    BLOCKSCHEME s = {"", {1, 2, 3, 4, 5, 6, 7}};
    EXPECT_TRUE(WriteBlockScheme("Again", s));
    EXPECT_EQ(vector<string>{"Again"}, Schemes());
    EXPECT_EQ("Gay", h->KeyClass(SubKey("Block Schemes").c_str()));
}

TEST(BlockSchemeText, FormatAndParse)
{
    BLOCKSCHEME bs = {"", {0, 1, 2, 3, 4, 5, 0xFFFFFFFF}};
    char text[64];
    EXPECT_EQ(15, FormatBlockScheme(bs, text, sizeof text));
    EXPECT_STREQ("0,1,2,3,4,5,-1,", text);
    EXPECT_EQ(-1, FormatBlockScheme(bs, text, 15)); // no room for the terminator
    EXPECT_STREQ("", text);
    EXPECT_EQ(15, FormatBlockScheme(bs, text, 16));

    BLOCKSCHEME r = {"", {0, 0, 0, 0, 0, 0, 0}};
    EXPECT_EQ(7, ParseBlockScheme(text, r));
    EXPECT_EQ(0xFFFFFFFFu, r.blocks[6]);

    BLOCKSCHEME p = {"", {10, 11, 12, 13, 14, 15, 16}};
    EXPECT_EQ(2, ParseBlockScheme("1,2,x,4", p));
    EXPECT_EQ(12u, p.blocks[2]);
    EXPECT_EQ(7, ParseBlockScheme("1,2,3,4,5,6,7,8,9", p));
    EXPECT_EQ(7u, p.blocks[6]);
    EXPECT_EQ(1, ParseBlockScheme(" 5 ,6", p));
    EXPECT_EQ(5u, p.blocks[0]);
    EXPECT_EQ(2u, p.blocks[1]);
    EXPECT_EQ(0, ParseBlockScheme("", p));
    EXPECT_EQ(0, ParseBlockScheme(NULL, p));
    EXPECT_EQ(7, ParseBlockScheme("1,1,1,1,1,1,1", p)); // final comma optional
}

// ---- The real exit ----
//
// This program starts itself with STAKKA_OPTIONS_EXIT_CHILD set to a file name; before
// any test runs, that child aims the options at a registry root that cannot hold keys,
// records the box text in the file and loads the options with the real exit.

const char kChildVar[] = "STAKKA_OPTIONS_EXIT_CHILD";
char childFile[MAX_PATH];

int WINAPI ChildBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    HANDLE f = CreateFileA(childFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(f, text, static_cast<DWORD>(strlen(text)), &written, NULL);
        CloseHandle(f);
    }
    return IDOK;
}

struct ExitChild {
    ExitChild()
    {
        DWORD n = GetEnvironmentVariableA(kChildVar, childFile, sizeof childFile);
        if (n == 0 || n >= sizeof childFile)
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
    char exe[MAX_PATH], dir[MAX_PATH], file[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(NULL, exe, sizeof exe), 0u);
    ASSERT_GT(GetTempPathA(sizeof dir, dir), 0u);
    ASSERT_NE(0u, GetTempFileNameA(dir, "stk", 0, file));
    ASSERT_TRUE(SetEnvironmentVariableA(kChildVar, file));
    char cmd[MAX_PATH + 32];
    snprintf(cmd, sizeof cmd, "\"%s\" --gtest_filter=-*", exe);
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    BOOL started = CreateProcessA(exe, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi);
    SetEnvironmentVariableA(kChildVar, NULL);
    ASSERT_TRUE(started);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 60000));
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(8u, code);

    char text[256] = "";
    HANDLE f = CreateFileA(file, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    DWORD got = 0;
    ReadFile(f, text, sizeof text - 1, &got, NULL);
    CloseHandle(f);
    DeleteFileA(file);
    EXPECT_EQ("Could not create registry entry", string(text, got));
}

} // namespace
