// test_options.cpp - the options in the real registry (a scratch key of HKEY_CURRENT_USER):
// first run, round trip, bad stored data, repairs, store failures, stored block schemes;
// MbError and the exit when there is no registry.
#include <gtest/gtest.h>

#include <string.h>

#include <tuple>

#include "STAKKA.h"
#include "options.h"
#include "testkit.h"
#include "teststore.h"

using std::string;
typedef std::vector<string> Texts;

// LoadOptions starts from a zeroed record: records compare whole, and print field by field.
bool operator==(const OPTIONS& a, const OPTIONS& b)
{
    return !memcmp(&a, &b, sizeof a);
}
void PrintTo(const OPTIONS& o, std::ostream* os)
{
    const BACKGROUND& bg = o.go.bg;
    *os << "{window " << o.windowpos.x << "," << o.windowpos.y << "; background " << bg.flags
        << " " << bg.color[0] << "," << bg.color[1] << " \"" << std::string(bg.name, 0, 40)
        << "\"; scheme \"" << std::string(o.go.bs.name, 0, 16) << "\"";
    for (DWORD b : o.go.bs.blocks)
        *os << " " << b;
    *os << "; grid " << o.go.drawGrid << " preview " << o.go.preview << "; keys";
    for (int k : o.co.keys)
        *os << " " << k;
    *os << "; music " << o.so.playMusic << " \"" << std::string(o.so.bgMusic, 0, 40) << "\"";
    *os << "; computer strength " << o.strength << "}";
}

namespace
{

int quit = -1; // the code the options would have ended the program with

// The defaults, written out here rather than taken from the tables under test.
OPTIONS Defaults()
{
    OPTIONS op;
    memset(&op, 0, sizeof op);
    op.windowpos = {100, 100};
    op.go.bg = {1, {0xFFFFFF, 0xFFFFFF}, "Background"};
    op.go.bs = {"One", {0, 1, 2, 3, 4, 5, 6}};
    op.go.drawGrid = op.go.preview = op.so.playMusic = 1;
    op.co = {{37, 39, 38, 17, 40}};
    strcpy(op.so.bgMusic, "beyond.mod");
    op.strength = 1; // Normal
    return op;
}

// Every stored value: where it lives, what a first run stores, the message when its text
// is too long (after "Unable to load "), and how it takes a number: PAIR only when one is
// read, NUMBER unless the text is too long, KEY always (unreadable: unbound).
enum ValueKind { PAIR, NUMBER, KEY, BG_NAME, SCHEME_NAME };
#define AT(field) offsetof(OPTIONS, field), sizeof(OPTIONS().field)
const struct {
    const char *subkey, *name, *dflt, *message;
    ValueKind kind;
    size_t off, size; // the field a number goes to (AT gives both)
} kLayout[] = {
    {NULL, "Window", "100,100", "window position", PAIR, AT(windowpos.x)},
    {NULL, "Preview", "1", "preview bool", NUMBER, AT(go.preview)},
    {NULL, "DrawGrid", "1", "drawGrid bool", NUMBER, AT(go.drawGrid)},
    {"Background", "BackgroundFlags", "1", "background flags", NUMBER, AT(go.bg.flags)},
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

const auto Path = [](const char* k) { return k ? string(szRegKey) + "\\" + k : string(szRegKey); };

class Options : public ::testing::Test
{
  protected:
    TestStore store{"options"};
    BoxRecorder rec;
    static void Quit(int c) { quit = c; }
    void SetUp() override
    {
        SetOptionsStore(&store);
        SetOptionsExitProc(Quit);
    }
    void TearDown() override
    {
        EXPECT_EQ(0, store.OpenHandles()) << "store keys left open";
        EXPECT_EQ(-1, quit);
        SetOptionsExitProc(NULL);
        SetOptionsStore(NULL);
        quit = -1;
    }
    // LoadOptions into a record full of rubbish, as the shell hands it over; earlier
    // messages are forgotten first.
    OPTIONS Load()
    {
        rec.Clear();
        OPTIONS op;
        memset(&op, 0xCD, sizeof op);
        LoadOptions(op);
        return op;
    }
    void FreshRun()
    {
        store.DeleteKey(NULL, "Software");
        Load();
        rec.Clear();
    }
    string Get(const char* subkey, const char* name) { return store.Text(Path(subkey), name); }
    int Schemes() { return ListBlockSchemes(NULL, NULL); }
    void Fail(unsigned ops, const char* key = "")
    {
        store.ClearFailures();
        store.FailOn(ops, key);
    }
    int Drop(const char* subkey) { return store.DeleteKey(NULL, Path(subkey).c_str()); }
};

} // namespace

TEST_F(Options, FirstRunStoresTheDefaultsQuietlyAndSavedFieldsLoadBack)
{
    OPTIONS op = Load();
    EXPECT_EQ(Defaults(), op);
    for (const auto& v : kLayout)
        EXPECT_EQ(v.dflt, Get(v.subkey, v.name)) << v.name;
    EXPECT_EQ("35,36,37,38,39,40,41,", Get("Block Schemes", "Six"));
    EXPECT_EQ(Defaults(), Load()) << "loaded again";
    EXPECT_EQ(Texts(), rec.Texts());

    op.windowpos = {INT_MIN, INT_MAX};
    op.go.bg = {0xFFFF, {0xFFFFFFFF, 0}, ""};
    memset(op.go.bg.name, 'p', 255);
    op.go.bs = {"Three", {}};
    op.go.drawGrid = op.go.preview = op.so.playMusic = 0; // music not stored: comes back on
    op.co = {{'A', 'B', 'C', 'D', 'E'}};
    SaveOptions(op);
    EXPECT_EQ("-2147483648,2147483647", Get(NULL, "Window"));
    OPTIONS e = op;
    e.go.bs = {"Three", {14, 15, 16, 17, 18, 19, 20}}; // re-read from "Three"
    e.so.playMusic = 1;
    EXPECT_EQ(e, Load());
    // Unterminated fields are cut so that they load back.
    memset(op.go.bs.name, 'X', sizeof op.go.bs.name);
    memset(op.go.bg.name, 'Y', sizeof op.go.bg.name);
    SaveOptions(op);
    EXPECT_EQ(string(15, 'X'), Get(NULL, "Current Block Scheme"));
    EXPECT_EQ(string(255, 'Y'), Get("Background", "BackgroundName"));
    EXPECT_EQ(Texts(), rec.Texts());
}

TEST_F(Options, EveryValueReplacedByBadDataLoadsOnlyWhatIsDefined)
{
    const struct {
        const char* what;
        string data; // its text ends at the first NUL
        DWORD type;
        int number, second; // what number fields take from it; a pair's second (0: stays)
    } bad[] = {{"empty", "", REG_SZ, 0, 0},
               {"blanks, sign, letters", "  -7xyz", REG_SZ, -7, 0},
               {"plus, pair", "+88,1", REG_SZ, 88, 1},
               {"no first number", ",5", REG_SZ, 0, 0},
               {"blank before comma", "-5 ,3", REG_SZ, -5, 0},
               {"over 16 bits", "65538", REG_SZ, 65538, 0},       // flags keep the low 16 bits
               {"15 chars", string(15, '7'), REG_SZ, INT_MAX, 0}, // the longest scheme name
               {"16 chars", string(16, '7'), REG_SZ, INT_MAX, 0},
               {"255 chars", string(255, '7'), REG_SZ, INT_MAX, 0}, // the longest text
               {"256 chars", string(256, '7'), REG_SZ, 0, 0},
               {"binary", string("\x01\xFF\x35\x80\0\x39\x39", 7), REG_BINARY, 0, 0},
               {"too small", "-2147483649", REG_SZ, INT_MIN, 0},
               {"too big", "99999999999", REG_SZ, INT_MAX, 0}};
    for (const auto& v : kLayout)
        for (const auto& b : bad) {
            SCOPED_TRACE(string(v.name) + " = " + b.what);
            FreshRun();
            ASSERT_TRUE(store.Put(Path(v.subkey), v.name, b.data, b.type));
            const OPTIONS op = Load();
            OPTIONS e = Defaults();
            const string text = b.data.c_str();
            const bool refused = b.data.size() > 255 || (v.kind == SCHEME_NAME && text.size() > 15);
            Texts m = refused ? Texts{string("Unable to load ") + v.message} : Texts();
            if (v.kind == KEY || (!refused && (v.kind == NUMBER || (v.kind == PAIR && b.number))))
                memcpy((char*)&e + v.off, &b.number, v.size);
            if (v.kind == PAIR && b.second)
                memcpy((char*)&e + v.off + v.size, &b.second, v.size);
            if (v.kind == BG_NAME && !refused)
                strcpy(e.go.bg.name, text.c_str());
            if (v.kind == SCHEME_NAME && !refused) {
                strcpy(e.go.bs.name, text.c_str());
                m.push_back("Unable to load block scheme " + text);
            }
            EXPECT_EQ(m, rec.Texts());
            EXPECT_EQ(e, op);
        }
}

TEST_F(Options, LostKeysAreRepaired)
{
    FreshRun();
    ASSERT_TRUE(Drop("Controls"));
    ASSERT_TRUE(Drop("Background"));
    OPTIONS op = Load();
    EXPECT_EQ(8u, rec.Texts().size()); // the three of the background, the five keys
    OPTIONS e = Defaults();
    e.co = {{0, 0, 0, 0, 0}}; // unbound
    EXPECT_EQ(e, op);
    EXPECT_TRUE(store.KeyExists(Path("Background")));
    EXPECT_TRUE(store.KeyExists(Path("Controls")));
    SaveOptions(Defaults());

    // A lost schemes key: the defaults come back, the player's own are gone.
    BLOCKSCHEME mine = {"Mine", {3, 1, 4, 1, 5, 9, 2}};
    ASSERT_TRUE(WriteBlockScheme("Mine", mine));
    store.Put(Path(NULL), "Current Block Scheme", "Mine");
    ASSERT_TRUE(Drop("Block Schemes"));
    op = Load();
    EXPECT_EQ(6, Schemes());
    EXPECT_STREQ("Mine", op.go.bs.name); // the name stays, the blocks are One's
    EXPECT_EQ(6u, op.go.bs.blocks[6]);
    EXPECT_EQ(1u, rec.Texts().size());
    // Writing recreates the key.
    ASSERT_TRUE(Drop("Block Schemes"));
    ASSERT_TRUE(WriteBlockScheme("Mine", mine));
    EXPECT_EQ(1, Schemes());
}

TEST_F(Options, StoreFailuresAreReportedOrSilentAndAMissingStoreAsksForExitCode8)
{
    Fail(FAIL_OPEN | FAIL_CREATE, "Stakka\\1.1");
    Load();
    EXPECT_EQ(Texts{"Could not create registry entry"}, rec.Texts());
    EXPECT_EQ(EXIT_NO_REGISTRY, quit);
    quit = -1;
    Fail(FAIL_WRITE); // silent, and nothing is stored
    EXPECT_EQ(Defaults(), Load());
    SaveOptions(Defaults());
    EXPECT_EQ(0, WriteBlockScheme("Mine", Defaults().go.bs));
    SetDefaultBlockSchemes();
    EXPECT_EQ(Texts(), rec.Texts());
    store.ClearFailures();
    OPTIONS op = Load(); // the next start finds nothing and says so, once per value
    EXPECT_EQ(13u, rec.Texts().size());
    EXPECT_EQ(0u, store.ValueNames(szRegKey).size()); // what is missing is not written

    Fail(FAIL_OPEN, "Stakka\\1.1"); // exists but cannot be opened: created over
    Load();
    Fail(FAIL_OPEN, "Block Schemes");
    op.go.preview = 7;
    SaveOptions(op);
    EXPECT_EQ("7", Get(NULL, "Preview"));
    rec.Clear();
    EXPECT_EQ(0, LoadBlockScheme("Two", op.go.bs));
    EXPECT_EQ(0, Schemes());
    EXPECT_EQ(1u, rec.Texts().size()) << "and says so";
    Fail(FAIL_READ, "Stakka\\1.1");
    Load();
    EXPECT_EQ(5u, rec.Texts().size()); // window, preview, grid, scheme name, computer strength

    // Subkeys that cannot be created: silent on a first run, reported at the next.
    store.DeleteKey(NULL, "Software");
    Fail(FAIL_CREATE, "Controls");
    store.FailOn(FAIL_CREATE, "Block Schemes");
    EXPECT_EQ(Defaults(), Load());
    EXPECT_EQ(Texts(), rec.Texts());
    EXPECT_FALSE(store.KeyExists(Path("Controls")));
    EXPECT_EQ("100,100", Get(NULL, "Window"));
    Load();
    EXPECT_EQ(6u, rec.Texts().size()); // the scheme and the five keys
}

TEST_F(Options, SchemeNamesBoundsListingAndCaseTwins)
{
    FreshRun();
    BLOCKSCHEME s = {"ignored", {0, 1, 2, 3, 4, 5, 99}};
    BLOCKSCHEME r = {};
    EXPECT_EQ(0, WriteBlockScheme("", s));
    EXPECT_EQ(0, WriteBlockScheme(string(256, 'q').c_str(), s));
    STOREKEY k; // a path too long for the store is refused, not cut
    EXPECT_FALSE(store.CreateKey(NULL, string(600, 'p').c_str(), &k));
    // Listing skips a value too long to be a scheme but not the ones after it.
    store.Put(Path("Block Schemes"), "Bloated", string(300, '1'));
    ASSERT_TRUE(WriteBlockScheme("Zed", s));
    EXPECT_EQ(7, Schemes());

    // Names differ by case, but the registry holds one: writing "one" replaces "One"
    // (reported beforehand) and keeps the new spelling.
    EXPECT_FALSE(BlockSchemeExists("one"));
    EXPECT_FALSE(LoadBlockScheme("one", r));
    EXPECT_FALSE(RemoveBlockScheme("ONE"));
    char stored[16];
    ASSERT_TRUE(FindBlockSchemeTwin("one", stored, sizeof stored));
    EXPECT_STREQ("One", stored);
    EXPECT_EQ(7, ParseBlockScheme("1,2,3,4,5,6,7,8,9", r)); // no more than a scheme holds
    BLOCKSCHEME lower = {"one", {40, 41, 42, 43, 44, 45, 46}};
    ASSERT_TRUE(WriteBlockScheme("one", lower));
    EXPECT_TRUE(BlockSchemeExists("one"));
    EXPECT_FALSE(BlockSchemeExists("One"));
    EXPECT_EQ(7, Schemes());
}

TEST(MbError, CutsAt255AndReturnsWhatItShows)
{
    BoxRecorder rec;
    const string huge(100000, 'h');
    EXPECT_EQ(31, MbError("Unable to load control config %d", 3));
    EXPECT_EQ(255, MbError("%s", string(255, 'e').c_str()));
    EXPECT_EQ(255, MbError("%s", string(256, 'f').c_str()));
    EXPECT_EQ(255, MbError("%s%s", huge.c_str(), huge.c_str()));
    HWND w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, 0, 0, 0, 0);
    hwndMain = w;
    EXPECT_EQ(0, MbError("%s", "")); // the box belongs to the main window once there is one
    DestroyWindow(w);
    hwndMain = NULL;
    EXPECT_EQ(-1, MbError(NULL)); // shows nothing
    EXPECT_EQ((Texts{"Unable to load control config 3", string(255, 'e'), string(255, 'f'),
                     string(255, 'h'), ""}),
              rec.Texts());
    const BOXSEEN& b = rec.Boxes()[0];
    EXPECT_EQ(std::make_tuple(HWND(NULL), string("Error"), UINT(MB_OK | MB_ICONEXCLAMATION)),
              std::make_tuple(b.owner, b.caption, b.type))
        << "owner, caption, type";
    EXPECT_EQ(w, rec.Boxes()[4].owner);
}
