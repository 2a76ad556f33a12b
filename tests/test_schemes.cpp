// Tests of the block scheme list, the name dialog, saving and deleting, on the
// real "GraphicsOptions" controls (a modeless copy of the template hosts them)
// and a scratch key of the real registry, which folds letter case in value names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "dlgdriver.h"
#include "dlgids.h"
#include "teststore.h"
#include "options.h"
#include "schemes.h"
#include "store.h"

namespace
{

const char kSaveTitle[] = "Save Scheme";
const int kBlockPictures = 42;

INT_PTR CALLBACK HostProc(HWND, UINT msg, WPARAM, LPARAM lParam)
{
    if (msg == WM_MEASUREITEM) {
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 20;
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}

std::string SchemesPath()
{
    return std::string(szRegKey) + "\\" + szBlockSchemesKey;
}

// Types name into the name dialog and presses OK.
DialogDriver::Action TypeName(const char* name)
{
    std::string text = name;
    return [text](HWND dlg) {
        SetDlgItemTextA(dlg, IDC_SCHEMENAME, text.c_str());
        PostCommand(dlg, IDOK);
    };
}

class Schemes : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        previous = SetOptionsStore(&store);
        LoadOptions(op); // first run: the six default schemes
        owner = MakeOwnerWindow();
        host = CreateDialogParamA(GetModuleHandleA(nullptr), "GraphicsOptions", owner, HostProc, 0);
        ASSERT_TRUE(host != nullptr);
        for (int id = IDC_BLOCK1; id <= IDC_BLOCK7; id++) {
            for (int j = 0; j < kBlockPictures; j++)
                SendDlgItemMessageA(host, id, CB_ADDSTRING, 0, j);
        }
        bs = op.go.bs;
    }

    void TearDown() override
    {
        DestroyWindow(host);
        DestroyWindow(owner);
        SetOptionsStore(previous);
    }

    std::string Stored(const char* name)
    {
        std::string data;
        if (!store.GetValueData(SchemesPath().c_str(), name, &data))
            return "<missing>";
        return data;
    }

    std::vector<std::string> Listed()
    {
        std::vector<std::string> names;
        for (int i = 0; i < ComboCount(host, IDC_SCHEMELIST); i++)
            names.push_back(ComboText(host, IDC_SCHEMELIST, i));
        return names;
    }

    int Save(DialogDriver& d)
    {
        int r = SaveBlockScheme(host, bs);
        d.ExpectDone();
        return r;
    }

    INT_PTR AskName(char* buffer)
    {
        return DialogBoxParamA(GetModuleHandleA(nullptr), "GetSchemeName", host, GetSchemeProc,
                               reinterpret_cast<LPARAM>(buffer));
    }

    TestStore store;
    Store* previous = nullptr;
    OPTIONS op;
    BLOCKSCHEME bs;
    HWND owner = nullptr;
    HWND host = nullptr;
};

} // namespace

// The scheme names in the store's own order: the order the list shows them in.
#define STORED() store.ValueNames(SchemesPath().c_str())

TEST_F(Schemes, ListingSkipsNamesTooLongOrEmptyAndPickersRefuseNumbersBeyondThePictures)
{
    store.PutText(SchemesPath().c_str(), "ABCDEFGHIJKLMNOP", "1,1,1,1,1,1,1,");
    store.PutText(SchemesPath().c_str(), "ABCDEFGHIJKLMNO", "1,1,1,1,1,1,1,");
    store.PutText(SchemesPath().c_str(), "", "1,1,1,1,1,1,1,");
    std::vector<std::string> want = STORED();
    want.erase(std::remove_if(want.begin(), want.end(),
                              [](const std::string& n) { return n.empty() || n.size() > 15; }),
               want.end());
    for (const char* current : {"Three", "ABCDEFGHIJKLMNO", "three", "Gone"}) {
        lstrcpynA(bs.name, current, sizeof bs.name);
        LoadBlockSchemeNames(host, bs);
        EXPECT_EQ(want, Listed());
        auto at = std::find(want.begin(), want.end(), current);
        EXPECT_EQ(at == want.end() ? -1 : (int)(at - want.begin()), ComboSel(host, IDC_SCHEMELIST));
    }
    const DWORD blocks[7] = {0, 41, 42, 43, 0xFFFFFFFF, 7, 1000};
    const int expected[7] = {0, 41, -1, -1, -1, 7, -1};
    memcpy(bs.blocks, blocks, sizeof blocks);
    ChangeBlockScheme(host, bs);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(expected[i], ComboSel(host, IDC_BLOCK1 + i)) << i;
}

TEST_F(Schemes, NameDialogStopsAtFifteenIgnoresOkWhileEmptyAndLeaksNothing)
{
    char buffer[SCHEME_INPUT_LEN] = "";
    DialogDriver d;
    d.Then(kSaveTitle, [](HWND dlg) {
        Command(dlg, IDOK); // nothing typed: stays open
        HWND edit = GetDlgItem(dlg, IDC_SCHEMENAME);
        for (const char* p = "ABCDEFGHIJKLMNOPQRST"; *p; p++)
            SendMessageA(edit, WM_CHAR, *p, 1);
        PostCommand(dlg, IDOK);
    });
    EXPECT_EQ(1, AskName(buffer));
    EXPECT_TRUE(d.Done());
    EXPECT_STREQ("ABCDEFGHIJKLMNO", buffer);
    ExpectCountsFlat(50, [&](int i) {
        DialogDriver d2;
        d2.Then(kSaveTitle, i % 2 ? TypeName("X") : [](HWND dlg) { PostCommand(dlg, IDCANCEL); });
        AskName(buffer);
        ASSERT_TRUE(d2.Done());
    });
}

TEST_F(Schemes, SavingAsksBeforeReplacingAndChangesNothingWhenCancelledOrRefused)
{
    const DWORD blocks[7] = {9, 8, 7, 6, 5, 4, 3};
    const std::string nines("9,8,7,6,5,4,3,", 15);
    const struct {
        std::vector<const char*> typed; // one name per name dialog, "" cancels it
        std::vector<int> answers;
        bool failWrite;
        int result;
        const char* stored; // the name that must now hold the blocks, or null
        const char* listed; // the entry selected afterwards (null: as before)
    } table[] = {
        {{"Mine"}, {}, false, 1, "Mine", "Mine"},            // new: appended and selected
        {{""}, {}, false, 0, nullptr, nullptr},              // cancelled
        {{"Lost"}, {}, true, 0, nullptr, nullptr},           // the store refuses
        {{"Two"}, {IDYES}, false, 1, "Two", "Two"},          // replaced in place
        {{"Three", "Four", "Five"}, {IDNO, IDNO, IDCANCEL}, false, 0, nullptr, nullptr},
        {{"two"}, {IDYES}, false, 1, "two", "two"},          // a case twin takes its place
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.typed[0]);
        store.DeleteKey(NULL, "Software");
        LoadOptions(op); // the six default schemes again
        bs = op.go.bs;
        LoadBlockSchemeNames(host, bs);
        std::vector<std::string> before = Listed();
        memcpy(bs.blocks, blocks, sizeof blocks);
        DialogDriver d;
        for (const char* name : row.typed)
            d.Then(kSaveTitle, *name ? TypeName(name) : [](HWND dlg) { PostCommand(dlg, IDCANCEL); });
        for (int a : row.answers)
            d.Answer(a);
        if (row.failWrite)
            store.FailOn(FAIL_WRITE);
        EXPECT_EQ(row.result, Save(d));
        store.ClearFailures();
        EXPECT_EQ(row.answers.size(), d.questions.size());
        if (!d.questions.empty()) {
            EXPECT_EQ(std::string("Block Scheme \"") + row.typed[0] + "\" already exists, replace?",
                      d.questions[0].text);
            EXPECT_EQ((UINT)(MB_YESNOCANCEL | MB_ICONQUESTION), d.questions[0].type);
        }
        std::vector<std::string> after = Listed();
        if (row.stored) {
            EXPECT_EQ(nines, Stored(row.stored));
            EXPECT_STREQ(row.stored, bs.name);
            EXPECT_EQ(row.listed, ComboText(host, IDC_SCHEMELIST, ComboSel(host, IDC_SCHEMELIST)));
            EXPECT_EQ(before.size() + (row.stored == std::string("Mine")), after.size());
        } else {
            EXPECT_EQ(before, after);
            EXPECT_EQ(6, store.ValueCount(SchemesPath().c_str()));
            for (const std::string& n : before)
                EXPECT_NE(nines, Stored(n.c_str()));
        }
    }
}

TEST_F(Schemes, DeletingAsksThenTheOneAboveOrTheNewFirstBecomesCurrent)
{
    for (int round = 0; round < 3; round++) {
        std::vector<std::string> names = STORED();
        int at = round == 0 ? 0 : (int)names.size() - 1 - round; // the first, then others
        lstrcpynA(bs.name, names[at].c_str(), sizeof bs.name);
        LoadBlockSchemeNames(host, bs);
        DialogDriver no;
        no.Answer(IDNO);
        DeleteBlockScheme(host, bs); // No: nothing happens
        EXPECT_EQ(names, STORED());
        DialogDriver d;
        d.Answer(IDYES);
        DeleteBlockScheme(host, bs);
        ASSERT_EQ(1u, d.questions.size());
        EXPECT_EQ("Delete the block scheme \"" + names[at] + "\"?", d.questions[0].text);
        names.erase(names.begin() + at);
        EXPECT_EQ(names, STORED());
        EXPECT_EQ(names, Listed());
        int now = at > 0 ? at - 1 : 0;
        EXPECT_EQ(now, ComboSel(host, IDC_SCHEMELIST));
        EXPECT_EQ(names[now], bs.name);
        BLOCKSCHEME want = bs;
        LoadBlockScheme(names[now].c_str(), want);
        for (int i = 0; i < 7; i++)
            EXPECT_EQ((int)want.blocks[i], ComboSel(host, IDC_BLOCK1 + i));
    }
    // The last one left, or a current name not in the list, is not deleted.
    for (const char* current : {"Vanished", "Only"}) {
        if (!strcmp(current, "Only")) {
            for (const std::string& n : STORED())
                RemoveBlockScheme(n.c_str());
            WriteBlockScheme("Only", bs);
        }
        lstrcpynA(bs.name, current, sizeof bs.name);
        LoadBlockSchemeNames(host, bs);
        size_t count = STORED().size();
        DialogDriver d;
        d.Answer(IDYES);
        DeleteBlockScheme(host, bs);
        EXPECT_TRUE(d.questions.empty());
        EXPECT_EQ(1u, d.errors.size());
        EXPECT_EQ(count, STORED().size());
    }
}
