// Tests of the block scheme list, the name dialog, saving and deleting, on the
// real "GraphicsOptions" controls (a modeless copy of the template hosts them)
// and an in-memory store; one group runs on a scratch key of the real registry,
// which folds letter case in value names.
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
        oldBox = SetMbErrorBox(IgnoreBox);
        LoadOptions(op); // first run: the six default schemes
        SetMbErrorBox(oldBox);
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

    static int WINAPI IgnoreBox(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }

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

    void ExpectQuestion(DialogDriver& d, const std::string& text, UINT type)
    {
        ASSERT_EQ(1u, d.questions.size());
        EXPECT_EQ(text, d.questions[0].text);
        EXPECT_EQ("Question", d.questions[0].caption);
        EXPECT_EQ(type, d.questions[0].type);
    }

    TestStore store;
    Store* previous = nullptr;
    MBERRORBOXPROC oldBox = nullptr;
    OPTIONS op;
    BLOCKSCHEME bs;
    HWND owner = nullptr;
    HWND host = nullptr;
};

const std::vector<std::string> kDefaults = {"One", "Two", "Three", "Four", "Five", "Six"};

// ---- listing -------------------------------------------------------------------

TEST_F(Schemes, ListsStoredNamesInStoreOrderOnceAndSelectsTheCurrent)
{
    lstrcpynA(bs.name, "Three", sizeof bs.name);
    LoadBlockSchemeNames(host, bs);
    LoadBlockSchemeNames(host, bs); // refilling does not duplicate
    EXPECT_EQ(kDefaults, Listed());
    EXPECT_EQ(2, ComboSel(host, IDC_SCHEMELIST));
    lstrcpynA(bs.name, "Gone", sizeof bs.name);
    LoadBlockSchemeNames(host, bs);
    EXPECT_EQ(kDefaults, Listed());
    EXPECT_EQ(CB_ERR, ComboSel(host, IDC_SCHEMELIST));
}

TEST_F(Schemes, NamesDifferingInCaseAreDifferentSchemes)
{
    store.PutValueData(SchemesPath().c_str(), "one", std::string("1,1,1,1,1,1,1,", 15), REG_SZ);
    lstrcpynA(bs.name, "one", sizeof bs.name);
    LoadBlockSchemeNames(host, bs);
    ASSERT_EQ(7, ComboCount(host, IDC_SCHEMELIST));
    EXPECT_EQ(6, ComboSel(host, IDC_SCHEMELIST));
    EXPECT_EQ(0, FindSchemeEntry(host, "One"));
    EXPECT_EQ(6, FindSchemeEntry(host, "one"));
    EXPECT_EQ(-1, FindSchemeEntry(host, "ONE"));
}

TEST_F(Schemes, StoredNamesTooLongForTheRecordAreNotListed)
{
    std::string text("0,0,0,0,0,0,0,", 15);
    for (std::string name : {std::string("Sixteen chars!!!"), std::string("Fifteen chars!!"),
                             std::string(255, 'x'), std::string()}) // "": the key's unnamed value
        store.PutValueData(SchemesPath().c_str(), name.c_str(), text, REG_SZ);
    lstrcpynA(bs.name, "Fifteen chars!!", sizeof bs.name);
    LoadBlockSchemeNames(host, bs);
    std::vector<std::string> expected = kDefaults;
    expected.push_back("Fifteen chars!!");
    EXPECT_EQ(expected, Listed());
    EXPECT_EQ(6, ComboSel(host, IDC_SCHEMELIST));
}

TEST_F(Schemes, ChangeBlockSchemeSelectsEachPickerAndNoneForOutOfRangeNumbers)
{
    const DWORD blocks[7] = {42, 5, 0xFFFFFFFF, 1000, 0x80000000, 0, 41};
    const int expected[7] = {CB_ERR, 5, CB_ERR, CB_ERR, CB_ERR, 0, 41};
    memcpy(bs.blocks, blocks, sizeof blocks);
    ChangeBlockScheme(host, bs);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(expected[i], ComboSel(host, IDC_BLOCK1 + i)) << i;
}

// ---- the name dialog ------------------------------------------------------------

TEST_F(Schemes, NameDialogLooksRightAndIgnoresOkWhileEmpty)
{
    char buffer[SCHEME_INPUT_LEN];
    lstrcpynA(buffer, "untouched", sizeof buffer);
    DialogDriver d;
    d.Then(kSaveTitle, [](HWND dlg) {
        EXPECT_EQ(GetDlgItem(dlg, IDC_SCHEMENAME), GetFocus());
        EXPECT_EQ("", ItemText(dlg, IDC_SCHEMENAME));
        EXPECT_EQ(15, SendDlgItemMessageA(dlg, IDC_SCHEMENAME, EM_GETLIMITTEXT, 0, 0));
        EXPECT_EQ("OK", ItemText(dlg, IDOK));
        EXPECT_EQ("Cancel", ItemText(dlg, IDCANCEL));
        EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(GetDlgItem(dlg, IDOK), GWL_STYLE) & 0xF);
        HWND label = GetWindow(GetDlgItem(dlg, IDC_SCHEMENAME), GW_HWNDPREV);
        EXPECT_EQ("Enter a name for this scheme:", DialogDriver::Title(label));
        Command(dlg, IDOK); // empty: stays open
        EXPECT_TRUE(IsWindowVisible(dlg));
    });
    d.Then(kSaveTitle, [](HWND dlg) { PostCommand(dlg, IDCANCEL); });
    EXPECT_EQ(0, AskName(buffer));
    EXPECT_TRUE(d.Done());
    EXPECT_STREQ("untouched", buffer);
}

TEST_F(Schemes, TypingStopsAtFifteenCharactersAndOkFillsTheBuffer)
{
    char buffer[SCHEME_INPUT_LEN] = "";
    DialogDriver d;
    d.Then(kSaveTitle, [](HWND dlg) {
        HWND edit = GetDlgItem(dlg, IDC_SCHEMENAME);
        for (const char* p = "ABCDEFGHIJKLMNOPQRST"; *p; p++)
            SendMessageA(edit, WM_CHAR, *p, 1);
        EXPECT_EQ("ABCDEFGHIJKLMNO", ItemText(dlg, IDC_SCHEMENAME));
        PostCommand(dlg, IDOK);
    });
    EXPECT_EQ(1, AskName(buffer));
    EXPECT_TRUE(d.Done());
    EXPECT_STREQ("ABCDEFGHIJKLMNO", buffer);
    EXPECT_FALSE(GetPropA(host, MAKEINTATOM(1000)));
}

TEST_F(Schemes, TwoHundredNameDialogsLeaveGdiAndUserCountsFlat)
{
    char buffer[SCHEME_INPUT_LEN];
    ExpectCountsFlat(200, [&](int i) {
        DialogDriver d;
        d.Then(
            kSaveTitle, i % 2 ? TypeName("X") : [](HWND dlg) { PostCommand(dlg, IDCANCEL); });
        AskName(buffer);
        ASSERT_TRUE(d.Done());
    });
}

// ---- saving --------------------------------------------------------------------

TEST_F(Schemes, SaveUnderANewNameAppendsSelectsAndStores)
{
    LoadBlockSchemeNames(host, bs);
    for (int i = 0; i < 7; i++)
        bs.blocks[i] = i;
    DialogDriver d;
    d.Then(kSaveTitle, TypeName("Mine"));
    EXPECT_EQ(1, Save(d));
    EXPECT_TRUE(d.questions.empty());
    EXPECT_STREQ("Mine", bs.name);
    std::vector<std::string> expected = kDefaults;
    expected.push_back("Mine");
    EXPECT_EQ(expected, Listed());
    EXPECT_EQ(6, ComboSel(host, IDC_SCHEMELIST));
    EXPECT_EQ(std::string("0,1,2,3,4,5,6,", 15), Stored("Mine"));
    EXPECT_EQ(1, d.DialogsSeen());
}

TEST_F(Schemes, CancelInTheNameDialogOrAFailedWriteChangesNothing)
{
    LoadBlockSchemeNames(host, bs);
    {
        DialogDriver d;
        d.Then(kSaveTitle, [](HWND dlg) {
            SetDlgItemTextA(dlg, IDC_SCHEMENAME, "Nope");
            PostCommand(dlg, IDCANCEL);
        });
        EXPECT_EQ(0, Save(d));
        EXPECT_STREQ("One", bs.name);
    }
    store.FailOn(FAIL_WRITE);
    DialogDriver d;
    d.Then(kSaveTitle, TypeName("Lost"));
    EXPECT_EQ(0, Save(d));
    store.ClearFailures();
    EXPECT_EQ(kDefaults, Listed());
    EXPECT_EQ("<missing>", Stored("Lost"));
    EXPECT_EQ(6, store.ValueCount(SchemesPath().c_str()));
}

TEST_F(Schemes, SaveUnderAnExistingNameAsksAndYesReplacesWithoutDuplicate)
{
    LoadBlockSchemeNames(host, bs);
    const DWORD blocks[7] = {9, 8, 7, 6, 5, 4, 3};
    memcpy(bs.blocks, blocks, sizeof blocks);
    DialogDriver d;
    d.Then(kSaveTitle, TypeName("Two")).Answer(IDYES);
    EXPECT_EQ(1, Save(d));
    ExpectQuestion(d, "Block Scheme \"Two\" already exists, replace?",
                   MB_YESNOCANCEL | MB_ICONQUESTION);
    EXPECT_EQ(kDefaults, Listed());
    EXPECT_EQ(1, ComboSel(host, IDC_SCHEMELIST));
    EXPECT_EQ(std::string("9,8,7,6,5,4,3,", 15), Stored("Two"));
    EXPECT_STREQ("Two", bs.name);
}

TEST_F(Schemes, NoAsksForANameAgainAndCancelWritesNothingButKeepsTheTypedName)
{
    LoadBlockSchemeNames(host, bs);
    bs.blocks[0] = 40;
    DialogDriver d;
    d.Then(kSaveTitle, TypeName("Three")).Answer(IDNO);
    d.Then(kSaveTitle, TypeName("Four")).Answer(IDNO);
    d.Then(kSaveTitle, TypeName("Five")).Answer(IDCANCEL);
    EXPECT_EQ(0, Save(d));
    EXPECT_EQ(3u, d.questions.size());
    EXPECT_EQ(3, d.DialogsSeen());
    EXPECT_STREQ("Five", bs.name);
    EXPECT_EQ(std::string("14,15,16,17,18,19,20,", 22), Stored("Three"));
    EXPECT_EQ(std::string("28,29,30,31,32,33,34,", 22), Stored("Five"));
    EXPECT_EQ(kDefaults, Listed());
    EXPECT_EQ(0, ComboSel(host, IDC_SCHEMELIST));
}

TEST_F(Schemes, ALongerNamePutIntoTheFieldIsCutToFifteen)
{
    LoadBlockSchemeNames(host, bs);
    DialogDriver d;
    d.Then(kSaveTitle, TypeName("A name far longer than fifteen characters"));
    EXPECT_EQ(1, Save(d));
    EXPECT_STREQ("A name far long", bs.name);
    EXPECT_EQ("A name far long", ComboText(host, IDC_SCHEMELIST, 6));
    EXPECT_NE("<missing>", Stored("A name far long"));
}

// ---- deleting ------------------------------------------------------------------

TEST_F(Schemes, DeleteAsksAndNoChangesNothing)
{
    LoadBlockSchemeNames(host, bs);
    DialogDriver d;
    d.Answer(IDNO);
    DeleteBlockScheme(host, bs);
    ExpectQuestion(d, "Delete the block scheme \"One\"?", MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(kDefaults, Listed());
    EXPECT_EQ(6, store.ValueCount(SchemesPath().c_str()));
    EXPECT_STREQ("One", bs.name);
}

TEST_F(Schemes, DeletingTheFirstMakesTheNewFirstCurrentAnyOtherTheOneAbove)
{
    const struct {
        const char* name;
        const char* next;
        int sel;
        int firstBlock;
    } cases[] = {{"One", "Two", 0, 7}, {"Five", "Four", 2, 21}, {"Six", "Four", 2, 21}};
    std::vector<std::string> left = kDefaults;
    for (const auto& c : cases) {
        lstrcpynA(bs.name, c.name, sizeof bs.name);
        LoadBlockScheme(bs.name, bs);
        LoadBlockSchemeNames(host, bs);
        ChangeBlockScheme(host, bs);
        DialogDriver d;
        d.Answer(IDYES);
        DeleteBlockScheme(host, bs);
        EXPECT_TRUE(d.errors.empty());
        left.erase(std::find(left.begin(), left.end(), c.name));
        EXPECT_EQ("<missing>", Stored(c.name));
        EXPECT_EQ(left, Listed());
        EXPECT_EQ(c.sel, ComboSel(host, IDC_SCHEMELIST)) << c.name;
        EXPECT_STREQ(c.next, bs.name);
        for (int i = 0; i < 7; i++) {
            EXPECT_EQ(static_cast<DWORD>(c.firstBlock + i), bs.blocks[i]) << c.name;
            EXPECT_EQ(c.firstBlock + i, ComboSel(host, IDC_BLOCK1 + i)) << c.name;
        }
    }
}

TEST_F(Schemes, TheLastRemainingSchemeOrACurrentNameNotListedIsNotDeleted)
{
    const struct {
        const char* current;
        bool onlyOne;
        const char* error;
    } cases[] = {
        {"Vanished", false,
         "The block scheme \"Vanished\" is not in the list; choose a scheme to delete."},
        {"One", true, "The block scheme \"One\" is the only one left; it cannot be deleted."},
    };
    for (const auto& c : cases) {
        if (c.onlyOne) {
            for (int i = 1; i < 6; i++)
                RemoveBlockScheme(kDefaults[i].c_str());
        }
        lstrcpynA(bs.name, c.current, sizeof bs.name);
        LoadBlockSchemeNames(host, bs);
        int count = ComboCount(host, IDC_SCHEMELIST);
        BLOCKSCHEME before = bs;
        DialogDriver d;
        d.Answer(IDYES);
        DeleteBlockScheme(host, bs);
        EXPECT_TRUE(d.questions.empty());
        EXPECT_EQ(std::vector<std::string>{c.error}, d.errors);
        EXPECT_EQ(c.onlyOne ? 1 : 6, store.ValueCount(SchemesPath().c_str()));
        EXPECT_EQ(count, ComboCount(host, IDC_SCHEMELIST));
        EXPECT_EQ(0, memcmp(&before, &bs, sizeof bs));
    }
}

// ---- the system's own message box --------------------------------------------------

TEST_F(Schemes, RealQuestionBoxIsCaptionedQuestionAndReturnsTheButton)
{
    DialogDriver d;
    SetQuestionBox(nullptr); // the platform's box, driven like any dialog
    std::string text;
    d.Then("Question", [&text](HWND box) {
        text = ItemText(box, 0xFFFF); // the box's text field
        EXPECT_TRUE(GetDlgItem(box, IDYES) != nullptr);
        EXPECT_TRUE(GetDlgItem(box, IDNO) != nullptr);
        EXPECT_TRUE(GetDlgItem(box, IDCANCEL) == nullptr);
        PostCommand(box, IDNO);
    });
    EXPECT_EQ(IDNO, QuestionBox(host, "Delete the block scheme \"One\"?", MB_YESNO));
    EXPECT_TRUE(d.Done());
    EXPECT_EQ("Delete the block scheme \"One\"?", text);
}

// ---- the real registry folds letter case ----------------------------------------

class SchemesInRegistry : public Schemes
{
  protected:
    void SetUp() override
    {
        reg = new RegStore(HKEY_CURRENT_USER, kScratch);
        reg->DeleteKey(nullptr, "Software");
        Schemes::SetUp();
        SetOptionsStore(reg);
        SetMbErrorBox(IgnoreBox);
        LoadOptions(op);
        SetMbErrorBox(oldBox);
        bs = op.go.bs;
    }
    void TearDown() override
    {
        Schemes::TearDown();
        reg->DeleteKey(nullptr, "Software");
        delete reg;
        RegDeleteKeyA(HKEY_CURRENT_USER, kScratch);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\StakkaTests");
    }
    static constexpr const char* kScratch = "Software\\StakkaTests\\schemes";
    RegStore* reg = nullptr;
};

TEST_F(SchemesInRegistry, SavingANameThatDiffersOnlyInCaseReplacesTheTwinInPlace)
{
    // The registry lists values in an order of its own; the entry keeps its place.
    LoadBlockSchemeNames(host, bs);
    std::vector<std::string> expected = Listed();
    ASSERT_EQ(6u, expected.size());
    int three = FindSchemeEntry(host, "Three");
    ASSERT_GE(three, 0);
    expected[three] = "THREE";
    DialogDriver d;
    d.Then(kSaveTitle, TypeName("THREE")).Answer(IDYES);
    EXPECT_EQ(1, SaveBlockScheme(host, bs));
    EXPECT_TRUE(d.Done());
    ASSERT_EQ(1u, d.questions.size());
    EXPECT_EQ("Block Scheme \"THREE\" already exists, replace?", d.questions[0].text);
    EXPECT_EQ(expected, Listed());
    EXPECT_EQ(three, ComboSel(host, IDC_SCHEMELIST));
    BLOCKSCHEME back = {};
    EXPECT_EQ(1, LoadBlockScheme("THREE", back));
    EXPECT_EQ(0u, back.blocks[0]);
    EXPECT_EQ(6u, back.blocks[6]);
}

} // namespace
