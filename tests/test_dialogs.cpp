// Tests of the options dialogs through their real modal loops: the controls dialog and its key
// chooser (clicks and keys posted to the windows that would get them), the graphics dialog and
// its block schemes with the real graphics library (the colour and file choosers answered
// through their seams; the options in a scratch key of the real registry, which folds letter
// case in value names).
#include <gtest/gtest.h>

#include <tuple>

#include "ctrldlg.h"
#include "dlgdriver.h"
#include "dlgids.h"
#include "gfxdlg.h"
#include "gfxopt.h"
#include "options.h"
#include "testkit.h"
#include "teststore.h"

using std::string;
typedef std::vector<string> Texts;

namespace
{

const char kControls[] = "Set Controls";
const char kTitle[] = "Graphics Options";
const char kSaveTitle[] = "Save Scheme";

// ---- the controls dialog ---------------------------------------------------------------------

// The key choosers this thread has open.
std::vector<HWND> Choosers()
{
    std::vector<HWND> found;
    for (HWND h = nullptr; (h = FindWindowExA(nullptr, h, "ChooseKey", nullptr)) != nullptr;)
        if (GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId())
            found.push_back(h);
    return found;
}
// A click in key field id (105..109) and a key press at the focus, through the queue.
const LPARAM CLICK_AT = MAKELPARAM(4, 4);
const auto Click = [](HWND dlg, int id) {
    PostMessageA(GetDlgItem(dlg, id), WM_LBUTTONDOWN, MK_LBUTTON, CLICK_AT);
    PostMessageA(GetDlgItem(dlg, id), WM_LBUTTONUP, 0, CLICK_AT);
};
const auto Key = [](int vk) {
    PostMessageA(GetFocus(), WM_KEYDOWN, vk, 1);
    PostMessageA(GetFocus(), WM_KEYUP, vk, 0xC0000001);
};
std::vector<int> Keys(const int* keys)
{
    return std::vector<int>(keys, keys + NUM_CONTROLS);
}
// The steps that click field id and press vk in the chooser it opens.
DialogDriver& Choose(DialogDriver& d, int id, int vk)
{
    return d.Then(kControls, [id](HWND dlg) { Click(dlg, id); }).Then(kControls, [vk](HWND) {
        ASSERT_EQ(1u, Choosers().size());
        Key(vk);
    });
}

class ControlsDialog : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        RegisterChooseKeyClass(GetModuleHandleA(nullptr));
        memcpy(co.keys, defaultkeys, sizeof co.keys);
    }
    void TearDown() override { DestroyWindow(owner); }
    void Run(DialogDriver& d)
    {
        ControlOptions(GetModuleHandleA(0), owner, &co);
        d.ExpectDone();
    }
    HWND owner = MakeOwnerWindow();
    CONTROLOPTIONS co;
};

TEST(KeyFieldText, TableNameOrReadableSubstituteCutToTheBuffer)
{
    struct Field {
        int key, cb;
        const char* text;
    };
    const Field cases[] = {
        {44, 32, "Key code 44"}, {0, 32, "No key"}, {33, 5, "Page"}, {123456, 5, "Key "}};
    for (const Field& c : cases) {
        SCOPED_TRACE(c.key);
        char text[40] = "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
        KeyFieldText(c.key, text, c.cb);
        EXPECT_STREQ(c.text, text);
        EXPECT_EQ('x', text[c.cb]) << "written past the buffer";
    }
}

TEST_F(ControlsDialog, TheChooserBindsKeysOfTheTableOnlyAndALeftoverOneReportsToNoOne)
{
    DialogDriver d;
    d.Then(kControls, [](HWND dlg) {
        SendMessageA(dlg, WM_KEYDOWN, 'A', 0); // first a stray key: no chooser
        Click(dlg, 105);
    });
    d.Then(kControls, [this](HWND dlg) {
        std::vector<HWND> c = Choosers();
        ASSERT_EQ(1u, c.size());
        EXPECT_EQ(c[0], GetFocus());
        EXPECT_EQ(owner, GetWindow(c[0], GW_OWNER));
        SendMessageA(dlg, WM_KEYDOWN, VK_F1, 0); // not in the table: no binding
        Click(dlg, 108); // a second field while it is open opens no second chooser
    });
    d.Then(kControls, [](HWND) {
        std::vector<HWND> c = Choosers();
        ASSERT_EQ(1u, c.size());
        SetFocus(c[0]); // back to the chooser, as a click on it would
        for (int vk : {VK_F1, VK_NUMPAD4, VK_OEM_1, VK_PAUSE, VK_ESCAPE})
            Key(vk);
    });
    d.Then(kControls, [](HWND dlg) {
        EXPECT_EQ(0u, Choosers().size());
        EXPECT_EQ("Left arrow", ItemText(dlg, 105));
    });
    Choose(d, 105, VK_RETURN).Then(kControls, [](HWND dlg) {
        EXPECT_EQ("Return", ItemText(dlg, 105));
        EXPECT_EQ(GetDlgItem(dlg, IDOK), GetFocus());
    });
    Choose(d, 106, VK_CONTROL).Then(kControls, [](HWND dlg) { Click(dlg, 109); });
    d.Then(kControls, [](HWND dlg) { PostCommand(dlg, IDOK); }); // the chooser still open
    Run(d);
    ASSERT_EQ(1u, Choosers().size());
    SendMessageA(Choosers()[0], WM_KEYDOWN, 'M', 1); // it reports to no one and goes
    const int want[NUM_CONTROLS] = {VK_RETURN, VK_CONTROL, VK_UP, VK_CONTROL, VK_DOWN};
    EXPECT_EQ(0u, Choosers().size());
    EXPECT_EQ(Keys(want), Keys(co.keys));
}

TEST_F(ControlsDialog, OkCommitsCancelKeepsTheRecordAndNothingLeaks)
{
    ExpectCountsFlat(8, [this](int i) {
        CONTROLOPTIONS before = co;
        DialogDriver d;
        Choose(d, 105 + i % 5, 'A' + i).Then(kControls, [i](HWND dlg) {
            EXPECT_EQ(std::string(1, 'A' + i), ItemText(dlg, 105 + i % 5));
            PostCommand(dlg, i % 2 ? IDOK : IDCANCEL);
        });
        Run(d);
        if (i % 2)
            before.keys[i % 5] = 'A' + i;
        EXPECT_EQ(Keys(before.keys), Keys(co.keys)) << (i % 2 ? "OK" : "Cancel");
    });
}

// ---- the graphics dialog ---------------------------------------------------------------------

struct {
    BOOL ok;
    COLORREF pick, custom0;
    CHOOSECOLORA seen;
    string path; // the file chosen; empty: the chooser fails with error
    DWORD error;
} fake;

// What the preview shows at (x, y) when drawn 48 x 88.
COLORREF PreviewPixel(HWND dlg, int x, int y)
{
    Surface s(48, 88, RGB(1, 2, 3));
    DRAWITEMSTRUCT dis = {ODT_STATIC, IDC_PREVIEW,    0, ODA_DRAWENTIRE, 0, 0,
                          s.dc,       {0, 0, 48, 88}, 0};
    SendMessageA(dlg, WM_DRAWITEM, IDC_PREVIEW, (LPARAM)&dis);
    return s.Read().At(x, y);
}
const auto Press = [](int id) -> DialogDriver::Action {
    return [id](HWND d) { PostCommand(d, id); };
};
// Presses OK on the empty name (the dialog stays), types name and presses OK.
DialogDriver::Action TypeName(const char* name)
{
    return [name](HWND dlg) {
        Command(dlg, IDOK);
        for (const char* p = name; *p; p++)
            SendDlgItemMessageA(dlg, IDC_SCHEMENAME, WM_CHAR, *p, 1);
        EXPECT_LE(ItemText(dlg, IDC_SCHEMENAME).size(), 15u); // a scheme name's length
        PostCommand(dlg, IDOK);
    };
}

class GraphicsDialog : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dll = LoadLibraryA("stkgfx.dll");
        ASSERT_TRUE(dll != nullptr) << "stkgfx.dll must lie beside the test program";
        SetOptionsStore(&store);
        LoadOptions(op); // first run: the six default schemes
        owner = MakeOwnerWindow();
        god = {&op.go, {}, 42};
        fake = {};
        SetColorChooser([](LPCHOOSECOLORA cc) -> BOOL WINAPI {
            fake.seen = *cc;
            fake.custom0 = cc->lpCustColors[0];
            cc->lpCustColors[0] = RGB(1, 2, 3);                 // the next use must not see this
            cc->rgbResult = fake.ok ? fake.pick : RGB(9, 9, 9); // a cancel's leftover
            return fake.ok;
        });
        SetFileChooser([](LPOPENFILENAMEA ofn) -> BOOL WINAPI {
            EXPECT_STREQ("", ofn->lpstrFile); // the chooser starts with an empty name
            lstrcpynA(ofn->lpstrFile, fake.path.c_str(), ofn->nMaxFile);
            return !fake.path.empty();
        });
        SetCommDlgError([]() -> DWORD WINAPI { return fake.error; });
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        SetOptionsStore(nullptr);
        FreeLibrary(dll);
    }
    void Run(DialogDriver& d)
    {
        GraphicsOptions(dll, owner, &god);
        d.ExpectDone();
    }
    void RunOnce(DialogDriver::Action act)
    {
        DialogDriver d;
        Run(d.Then(kTitle, act));
    }
    string Stored(const char* name) { return store.Text(kSchemes, name); }
    Texts StoredNames() { return store.ValueNames(kSchemes); } // the order the list shows

    const string kSchemes = string(szRegKey) + "\\Block Schemes";
    HMODULE dll;
    TestStore store;
    OPTIONS op;
    GFXOPTIONSDATA god;
    HWND owner = nullptr;
};

// What the background part shows when the dialog opens: the file controls, the kind chosen,
// the detail box's entries and selection (-1: none; both 0 while the box is hidden).
typedef std::tuple<bool, int, int, int> Opened;

Opened OpenedAs(HWND dlg)
{
    auto shown = [dlg](int id) { return IsWindowVisible(GetDlgItem(dlg, id)) != 0; };
    const bool file = shown(IDC_FILENAME) && shown(IDC_CHOOSEFILE);
    const int kind = Combo(dlg, IDC_BGKIND, CB_GETCURSEL);
    if (!shown(IDC_BGDETAIL))
        return Opened(file, kind, 0, 0);
    return Opened(file, kind, Combo(dlg, IDC_BGDETAIL, CB_GETCOUNT),
                  Combo(dlg, IDC_BGDETAIL, CB_GETCURSEL));
}

TEST_F(GraphicsDialog, KindsDetailsAndPlacementsOpenAndCloseAsStored)
{
    const WORD FILE_CENTER = BG_FILE | BG_CENTER, FILE_TILE = BG_FILE | BG_TILE;
    const WORD FILE_STRETCH = BG_FILE | BG_STRETCH;
    const int NONE = -1; // nothing chosen: the choice is cleared, nothing changes
    struct Row {
        WORD flags;
        const char* name;
        Opened opened;
        int chooseKind, chooseDetail;
        WORD wantFlags;
        const char* wantName;
    };
    const Row table[] = {
        {BG_PATTERN, "red", {false, 4, 3, -1}, NONE, NONE, BG_PATTERN, "red"}, // exact match only
        {BG_SOLID, "", {false, 2, 0, 0}, NONE, NONE, BG_SOLID, ""},
        {BG_GRADIENT, "Skull", {false, 3, 0, 0}, 0, 2, BG_BUILTIN, "Leet"},
        {BG_BUILTIN, "Skull", {false, 0, 4, 1}, 4, NONE, BG_PATTERN, "Blue"},
        {BG_PATTERN, "Orange", {false, 4, 3, 2}, 3, NONE, BG_GRADIENT, "Orange"},
        {FILE_STRETCH, "C:\\x.bmp", {true, 1, 4, 3}, NONE, NONE, FILE_STRETCH, "C:\\x.bmp"},
        {FILE_CENTER, "C:\\x.bmp", {true, 1, 4, 1}, NONE, 2, FILE_TILE, "C:\\x.bmp"},
        {FILE_TILE, "C:\\x.bmp", {true, 1, 4, 2}, NONE, 3, FILE_STRETCH, "C:\\x.bmp"},
        {BG_FILE, "C:\\x.bmp", {true, 1, 4, 0}, NONE, 1, FILE_CENTER, "C:\\x.bmp"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(::testing::Message() << "flags 0x" << std::hex << row.flags << " " << row.name);
        op.go.bg.flags = row.flags;
        lstrcpynA(op.go.bg.name, row.name, sizeof op.go.bg.name);
        RunOnce([&row](HWND dlg) {
            EXPECT_EQ(row.opened, OpenedAs(dlg)) << "file controls, kind, details, detail";
            EXPECT_EQ(row.flags & BG_FILE ? row.name : "", ItemText(dlg, IDC_FILENAME));
            ChooseEntry(dlg, IDC_BGKIND, row.chooseKind);
            ChooseEntry(dlg, IDC_BGDETAIL, row.chooseDetail);
            PostCommand(dlg, IDOK);
        });
        EXPECT_EQ(row.wantFlags, op.go.bg.flags);
        EXPECT_STREQ(row.wantName, op.go.bg.name);
    }
    // Entries past the lists change nothing.
    BACKGROUND bg = {BG_BUILTIN, {0, 0}, "Skull"};
    HandleBgCombo2(bg, 4);
    HandleBgCombo2(bg, -1);
    bg.flags = BG_PATTERN;
    HandleBgCombo2(bg, 3);
    EXPECT_STREQ("Skull", bg.name);
}

TEST_F(GraphicsDialog, ChoosersFailingOrCancelledKeepTheBackgroundFileWantedSchemeOffered)
{
    string red = WriteTempFile("stakka_red.bmp", Bmp24(8, 8, [](int, int) { return 255ul; }));
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        fake.ok = TRUE;
        fake.pick = RGB(10, 20, 30);
        Command(dlg, IDC_COLOR2);
        EXPECT_EQ(RGB(255, 255, 255), fake.seen.rgbResult) << "the colour the chooser starts at";
        fake.ok = FALSE;
        Command(dlg, IDC_COLOR1);                    // cancelled
        EXPECT_EQ(RGB(255, 255, 255), fake.custom0); // the custom colours start afresh
        ChooseEntry(dlg, IDC_BGKIND, 1);
        EXPECT_EQ("", ItemText(dlg, IDC_FILENAME));
        PostCommand(dlg, IDOK); // no file yet: refused
    });
    d.Then(kTitle, [&red](HWND dlg) {
        fake.path = red;
        Command(dlg, IDC_CHOOSEFILE);
        EXPECT_EQ(RGB(255, 0, 0), PreviewPixel(dlg, 1, 1));
        fake.path = "";
        for (DWORD error : {0x3002u /* FNERR_INVALIDFILENAME */, 0x3004u, 0u}) {
            fake.error = error;
            Command(dlg, IDC_CHOOSEFILE);
        }
        EXPECT_EQ(red, ItemText(dlg, IDC_FILENAME));
        ChooseEntry(dlg, IDC_BLOCK1, 41); // a changed scheme is offered
        PostCommand(dlg, IDOK);
    });
    Run(d.Answer(IDYES).Then(kSaveTitle, TypeName("Mine")));
    EXPECT_EQ(Texts{"Save your block scheme?"}, d.questions);
    EXPECT_EQ("41,1,2,3,4,5,6,", Stored(op.go.bs.name)); // and "Mine" made current
    Texts e{"You must choose a file!", "Invalid filename!", "Error opening file.",
            "Error opening file."};
    EXPECT_EQ(e, d.errors);
    EXPECT_EQ(BG_FILE, op.go.bg.flags);
    EXPECT_EQ(red, op.go.bg.name);
    EXPECT_EQ(std::make_pair(RGB(255, 255, 255), RGB(10, 20, 30)),
              std::make_pair(op.go.bg.color[0], op.go.bg.color[1]));
    DeleteFileA(red.c_str());
}

TEST_F(GraphicsDialog, FewerPicturesThanTheSchemeNamesLeaveThatPickerEmptyAndNothingLeaks)
{
    god.nblocks = 10;
    op.go.bs = {"One", {7, 8, 9, 10, 11, 12, 13}};
    fake.ok = TRUE;
    ExpectCountsFlat(8, [this](int i) {
        RunOnce([i](HWND dlg) {
            EXPECT_EQ(10, Combo(dlg, IDC_BLOCK1, CB_GETCOUNT));
            EXPECT_EQ(9, Combo(dlg, IDC_BLOCK1 + 2, CB_GETCURSEL));
            EXPECT_EQ(CB_ERR, Combo(dlg, IDC_BLOCK1 + 3, CB_GETCURSEL));
            const int kinds[] = {0, 2, 3, 4}; // not "From file": OK would want one
            ChooseEntry(dlg, IDC_BGKIND, kinds[i % 4]);
            fake.pick = RGB(i, 255 - i, 7);
            Command(dlg, IDC_COLOR1);
            PreviewPixel(dlg, 0, 0);
            PostCommand(dlg, i % 2 ? IDOK : IDCANCEL);
        });
    });
}

// ---- saving and deleting schemes: they act at once, whatever closes the dialog ----------------

TEST_F(GraphicsDialog, SavingAsksBeforeReplacingAndCancelLeavesTheRecord)
{
    GRAPHICSOPTIONS before = op.go;
    auto save = Press(IDC_SAVESCHEME);
    auto selected = [](HWND dlg) { return ItemText(dlg, IDC_SCHEMELIST); };
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        fake.ok = TRUE;
        ChooseEntry(dlg, IDC_BGKIND, 3);
        Command(dlg, IDC_COLOR1);
        ChooseEntry(dlg, IDC_BLOCK1, 9);
        PostCommand(dlg, IDC_SAVESCHEME);
    });
    d.Then(kSaveTitle, TypeName("ABCDEFGHIJKLMNOPQRS")).Then(kTitle, [&](HWND dlg) {
        EXPECT_EQ("ABCDEFGHIJKLMNO", selected(dlg)); // cut to a name's length, appended
        save(dlg);
    });
    d.Then(kSaveTitle, Press(IDCANCEL));
    d.Then(kTitle, [&](HWND dlg) {
        store.FailOn(FAIL_WRITE);
        save(dlg);
    });
    d.Then(kSaveTitle, TypeName("Lost")).Then(kTitle, [&](HWND dlg) {
        store.ClearFailures();
        EXPECT_EQ(7, Combo(dlg, IDC_SCHEMELIST, CB_GETCOUNT)); // "Lost" is not listed
        EXPECT_EQ("ABCDEFGHIJKLMNO", selected(dlg));
        save(dlg);
    });
    d.Then(kSaveTitle, TypeName("Three")).Then(kSaveTitle, TypeName("Four")).Then(kTitle, save);
    d.Then(kSaveTitle, TypeName("two")).Then(kTitle, [&](HWND dlg) {
        EXPECT_EQ("two", selected(dlg)); // a case twin takes the old name's place
        EXPECT_EQ(7, Combo(dlg, IDC_SCHEMELIST, CB_GETCOUNT));
        PostCommand(dlg, IDCANCEL);
    });
    Run(d.Answer(IDNO).Answer(IDCANCEL).Answer(IDYES));
    EXPECT_EQ(3u, d.questions.size());
    EXPECT_EQ("Block Scheme \"Three\" already exists, replace?", d.questions.at(0));
    EXPECT_EQ(0, memcmp(&before, &op.go, sizeof before)) << "the graphics options changed";
    EXPECT_EQ((Texts{"ABCDEFGHIJKLMNO", "Five", "Four", "One", "Six", "Three", "two"}),
              StoredNames());
    EXPECT_EQ("9,1,2,3,4,5,6,", Stored("ABCDEFGHIJKLMNO"));
    EXPECT_EQ("9,1,2,3,4,5,6,", Stored("two"));
    EXPECT_EQ("21,22,23,24,25,26,27,", Stored("Four")) << "kept: the replace was cancelled";
}

TEST_F(GraphicsDialog, ChoosingASchemeForgetsChangesDeletingAsksThenTheOneAboveOrTheFirstIsCurrent)
{
    DialogDriver d; // Five, Four, One, Six, Three, Two
    d.Then(kTitle, [](HWND dlg) {
        ChooseEntry(dlg, IDC_BLOCK1, 40);
        ChooseEntry(dlg, IDC_SCHEMELIST, 1); // "Four"
        EXPECT_EQ(21, Combo(dlg, IDC_BLOCK1, CB_GETCURSEL)); // its blocks, the change forgotten
        PostCommand(dlg, IDC_DELSCHEME);
    });
    d.Then(kTitle, Press(IDC_DELSCHEME)); // after a No
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ(0, Combo(dlg, IDC_SCHEMELIST, CB_GETCURSEL)); // the one above
        EXPECT_EQ(28, Combo(dlg, IDC_BLOCK1, CB_GETCURSEL));
        PostCommand(dlg, IDC_DELSCHEME);
    });
    d.Then(kTitle, Press(IDOK));
    Run(d.Answer(IDNO).Answer(IDYES).Answer(IDYES));
    EXPECT_EQ(3u, d.questions.size()); // no offer to save at OK
    EXPECT_EQ("Delete the block scheme \"Four\"?", d.questions.at(0));
    EXPECT_EQ((Texts{"One", "Six", "Three", "Two"}), StoredNames());
    EXPECT_STREQ("One", op.go.bs.name); // the new first
    EXPECT_EQ(6u, op.go.bs.blocks[6]);

    // A current name not in the list, or the last one left, is not deleted.
    store.DeleteKey(NULL, kSchemes.c_str());
    WriteBlockScheme("Only", op.go.bs);
    strcpy(op.go.bs.name, "Vanished");
    DialogDriver last;
    last.Then(kTitle, Press(IDC_DELSCHEME)).Then(kTitle, [](HWND dlg) {
        ChooseEntry(dlg, IDC_SCHEMELIST, 0);
        PostCommand(dlg, IDC_DELSCHEME);
    });
    Run(last.Then(kTitle, Press(IDCANCEL)));
    const Texts refusals = {
        "The block scheme \"Vanished\" is not in the list; choose a scheme to delete.",
        "The block scheme \"Only\" is the only one left; it cannot be deleted.",
    };
    EXPECT_EQ(refusals, last.errors);
    EXPECT_EQ(Texts{}, last.questions);
    EXPECT_EQ(Texts{"Only"}, StoredNames());
}

} // namespace
