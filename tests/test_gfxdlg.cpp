// Tests of the graphics options dialog, driven through its real modal loop with the real
// graphics library (the colour and file choosers answered through their seams), and of
// the block scheme list, saving and deleting on a modeless copy of its template; the
// options live in a scratch key of the real registry, which folds letter case in names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "dlgdriver.h"
#include "dlgids.h"
#include "gfxdlg.h"
#include "gfxopt.h"
#include "image.h"
#include "options.h"
#include "schemes.h"
#include "testkit.h"
#include "teststore.h"

using std::string;
typedef std::vector<string> Texts;

namespace
{

const char kTitle[] = "Graphics Options", kSaveTitle[] = "Save Scheme";
const int kBlocks = 42;

struct {
    BOOL ok;
    COLORREF pick;
    int calls;
    CHOOSECOLORA seen;
    COLORREF custom0;
} color;

BOOL WINAPI FakeChooseColor(LPCHOOSECOLORA cc)
{
    color.calls++;
    color.seen = *cc;
    color.custom0 = cc->lpCustColors[0];
    cc->lpCustColors[0] = RGB(1, 2, 3);                   // the next use must not see this
    cc->rgbResult = color.ok ? color.pick : RGB(9, 9, 9); // what a cancel leaves must not count
    return color.ok;
}

struct {
    string path; // empty: the chooser fails with error
    DWORD error;
    string initial;
} file;

BOOL WINAPI FakeGetOpenFileName(LPOPENFILENAMEA ofn)
{
    file.initial = ofn->lpstrFile;
    lstrcpynA(ofn->lpstrFile, file.path.c_str(), ofn->nMaxFile);
    return !file.path.empty();
}
DWORD WINAPI FakeCommDlgError(void)
{
    return file.error;
}

// What the preview shows at (x, y) when drawn 48 x 88.
COLORREF PreviewPixel(HWND dlg, int x, int y)
{
    Surface s(48, 88, RGB(1, 2, 3));
    DRAWITEMSTRUCT dis = {ODT_STATIC, IDC_PREVIEW, 0, ODA_DRAWENTIRE, 0, GetDlgItem(dlg, IDC_PREVIEW),
                          s.dc, {0, 0, 48, 88}, 0};
    SendMessageA(dlg, WM_DRAWITEM, IDC_PREVIEW, (LPARAM)&dis);
    return s.Read().At(x, y);
}

bool Shown(HWND dlg, int id)
{
    return IsWindowVisible(GetDlgItem(dlg, id)) != 0;
}
DialogDriver::Action Press(int id)
{
    return [id](HWND dlg) { PostCommand(dlg, id); };
}
// Presses OK on the empty name (the dialog stays), types name and presses OK.
DialogDriver::Action TypeName(const char* name)
{
    return [name](HWND dlg) {
        Command(dlg, IDOK);
        for (const char* p = name; *p; p++)
            SendDlgItemMessageA(dlg, IDC_SCHEMENAME, WM_CHAR, *p, 1);
        PostCommand(dlg, IDOK);
    };
}
string Selected(HWND dlg, int id)
{
    return ComboText(dlg, id, ComboSel(dlg, id));
}
INT_PTR CALLBACK HostProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

} // namespace

class GraphicsDialog : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        dll = LoadLibraryA("stkgfx.dll");
        HDC screen = GetDC(nullptr);
        for (int k = 0; k < kBlocks; k++)
            images[k] = new Image(bitmaps[k] = CreateCompatibleBitmap(screen, 16, 16), screen);
        ReleaseDC(nullptr, screen);
    }
    static void TearDownTestSuite()
    {
        for (int k = 0; k < kBlocks; k++)
            delete images[k], DeleteObject(bitmaps[k]);
        FreeLibrary(dll);
    }
    void SetUp() override
    {
        ASSERT_TRUE(dll != nullptr) << "stkgfx.dll must lie beside the test program";
        SetOptionsStore(&store);
        LoadOptions(op); // first run: the six default schemes
        lstrcpynA(op.go.bg.name, "Skull", sizeof op.go.bg.name);
        owner = MakeOwnerWindow();
        god.pgo = &op.go;
        memcpy(god.blocks, images, sizeof images);
        god.nblocks = kBlocks;
        color = {};
        file = {};
        SetColorChooser(FakeChooseColor);
        SetFileChooser(FakeGetOpenFileName);
        SetCommDlgError(FakeCommDlgError);
    }
    void TearDown() override
    {
        SetColorChooser(nullptr);
        SetFileChooser(nullptr);
        SetCommDlgError(nullptr);
        DestroyWindow(host);
        DestroyWindow(owner);
        SetOptionsStore(nullptr);
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
    // A modeless copy of the dialog's template with kBlocks entries in each picker.
    void MakeHost()
    {
        host = CreateDialogParamA(GetModuleHandleA(nullptr), "GraphicsOptions", owner, HostProc, 0);
        for (int id = IDC_BLOCK1; id <= IDC_BLOCK7; id++)
            for (int j = 0; j < kBlocks; j++)
                SendDlgItemMessageA(host, id, CB_ADDSTRING, 0, j);
        bs = op.go.bs;
    }
    string Stored(const char* name) { return store.Text(kSchemes, name); }
    Texts StoredNames() { return store.ValueNames(kSchemes); } // the order the list shows

    static HMODULE dll;
    static HBITMAP bitmaps[kBlocks];
    static Image* images[kBlocks];
    const string kSchemes = string(szRegKey) + "\\Block Schemes";
    TestStore store;
    OPTIONS op;
    GFXOPTIONSDATA god;
    HWND owner = nullptr, host = nullptr;
    BLOCKSCHEME bs;
};

HMODULE GraphicsDialog::dll;
HBITMAP GraphicsDialog::bitmaps[kBlocks];
Image* GraphicsDialog::images[kBlocks];

TEST_F(GraphicsDialog, KindsDetailsAndPlacementsOpenAndCloseAsStored)
{
    const WORD FILE_CENTER = BG_FILE | BG_CENTER;
    const struct {
        WORD flags;
        const char* name;
        int kind, details, detailSel; // as opened; details -1: the list is hidden
        int chooseKind, chooseDetail; // then chosen (-1: nothing)
        WORD wantFlags;
        const char* wantName;
    } table[] = {
        {BG_PATTERN, "Red", 4, 3, 1, -1, -1, BG_PATTERN, "Red"},
        {BG_PATTERN, "red", 4, 3, -1, -1, -1, BG_PATTERN, "red"}, // exact match only
        {BG_BUILTIN, "Nowhere", 0, 4, -1, -1, -1, BG_BUILTIN, "Nowhere"},
        {BG_SOLID, "", 2, -1, 0, -1, -1, BG_SOLID, ""},
        {BG_GRADIENT, "Skull", 3, -1, 0, 0, 2, BG_BUILTIN, "Leet"},
        {BG_BUILTIN, "Skull", 0, 4, 1, 4, -1, BG_PATTERN, "Blue"},
        {BG_PATTERN, "Orange", 4, 3, 2, 3, -1, BG_GRADIENT, "Orange"},
        {BG_FILE | BG_STRETCH, "C:\\x.bmp", 1, 4, 3, -1, -1, BG_FILE | BG_STRETCH, "C:\\x.bmp"},
        {FILE_CENTER, "C:\\x.bmp", 1, 4, 1, -1, 0, BG_FILE, "C:\\x.bmp"},
        {FILE_CENTER, "C:\\x.bmp", 1, 4, 1, -1, 2, BG_FILE | BG_TILE, "C:\\x.bmp"},
        {BG_FILE | BG_TILE, "C:\\x.bmp", 1, 4, 2, -1, 3, BG_FILE | BG_STRETCH, "C:\\x.bmp"},
        {BG_FILE, "C:\\x.bmp", 1, 4, 0, -1, 1, FILE_CENTER, "C:\\x.bmp"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::to_string(row.flags) + " " + row.name);
        op.go.bg.flags = row.flags;
        lstrcpynA(op.go.bg.name, row.name, sizeof op.go.bg.name);
        RunOnce([&row](HWND dlg) {
            EXPECT_EQ(row.kind, ComboSel(dlg, IDC_BGKIND));
            EXPECT_EQ(row.details >= 0, Shown(dlg, IDC_BGDETAIL));
            int n = row.details >= 0 ? ComboCount(dlg, IDC_BGDETAIL) * 10 + ComboSel(dlg, IDC_BGDETAIL) : -1;
            EXPECT_EQ(row.details >= 0 ? row.details * 10 + row.detailSel : -1, n);
            bool isFile = (row.flags & BG_FILE) != 0;
            EXPECT_EQ(isFile, Shown(dlg, IDC_FILENAME) && Shown(dlg, IDC_CHOOSEFILE));
            EXPECT_EQ(isFile ? row.name : "", isFile ? ItemText(dlg, IDC_FILENAME) : "");
            if (row.chooseKind >= 0)
                ChooseEntry(dlg, IDC_BGKIND, row.chooseKind);
            if (row.chooseDetail >= 0)
                ChooseEntry(dlg, IDC_BGDETAIL, row.chooseDetail);
            PostCommand(dlg, IDOK);
        });
        EXPECT_EQ(row.wantFlags, op.go.bg.flags);
        EXPECT_STREQ(row.wantName, op.go.bg.name);
    }
}

TEST_F(GraphicsDialog, FromFileWantsAFileAndAFailedChoiceKeepsTheBackgroundAndSaysWhy)
{
    string red = WriteTempFile("stakka_dlg_red.bmp", Bmp24(8, 8, [](int, int) { return RGB(255, 0, 0); }));
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        COLORREF before = PreviewPixel(dlg, 5, 5);
        ChooseEntry(dlg, IDC_BGKIND, 1);
        EXPECT_EQ("", ItemText(dlg, IDC_FILENAME));
        EXPECT_EQ(0, ComboSel(dlg, IDC_BGDETAIL));
        EXPECT_EQ(before, PreviewPixel(dlg, 5, 5)); // the preview stays until a file is chosen
        PostCommand(dlg, IDOK);                     // no file yet: refused
    });
    d.Then(kTitle, [&red](HWND dlg) {
        file.path = red;
        Command(dlg, IDC_CHOOSEFILE);
        EXPECT_EQ(red, ItemText(dlg, IDC_FILENAME));
        EXPECT_EQ(RGB(255, 0, 0), PreviewPixel(dlg, 1, 1));
        file.path = "";
        file.error = 0x3002; // FNERR_INVALIDFILENAME
        Command(dlg, IDC_CHOOSEFILE);
        EXPECT_EQ(red, ItemText(dlg, IDC_FILENAME));
        PostCommand(dlg, IDOK);
    });
    Run(d);
    EXPECT_EQ((Texts{"You must choose a file!", "Invalid filename!"}), d.errors);
    EXPECT_EQ(BG_FILE, op.go.bg.flags);
    EXPECT_EQ(red, op.go.bg.name);
    EXPECT_EQ("", file.initial); // the chooser starts with an empty name
    DeleteFileA(red.c_str());
}

TEST_F(GraphicsDialog, ColourButtonsUseTheChooserAndCancelKeepsTheColour)
{
    op.go.bg = {BG_GRADIENT, {RGB(0, 0, 0), RGB(40, 50, 60)}, ""};
    RunOnce([](HWND dlg) {
        color.ok = TRUE;
        color.pick = RGB(255, 255, 255);
        Command(dlg, IDC_COLOR2);
        EXPECT_EQ(dlg, color.seen.hwndOwner);
        EXPECT_EQ(RGB(40, 50, 60), color.seen.rgbResult);
        EXPECT_EQ((DWORD)(CC_FULLOPEN | CC_RGBINIT), color.seen.Flags & (CC_FULLOPEN | CC_RGBINIT));
        color.ok = FALSE;
        Command(dlg, IDC_COLOR1);
        EXPECT_EQ(RGB(255, 255, 255), color.custom0); // the custom colours start afresh
        PostCommand(dlg, IDOK);
    });
    EXPECT_EQ(2, color.calls);
    EXPECT_EQ(RGB(0, 0, 0), op.go.bg.color[0]);
    EXPECT_EQ(RGB(255, 255, 255), op.go.bg.color[1]);
}

TEST_F(GraphicsDialog, AChangedSchemeIsOfferedAtOkAndAnotherSchemeDiscardsIt)
{
    const struct {
        int answer;
        const char* typed; // in the name dialog; null: cancelled
        const char *wantName, *stored; // what "Mine" holds afterwards
    } table[] = {{IDNO, nullptr, "One", "<missing>"},
                 {IDYES, nullptr, "One", "<missing>"},
                 {IDYES, "Mine", "Mine", "41,1,2,3,4,5,6,"}};
    for (const auto& row : table) {
        DialogDriver d;
        d.Then(kTitle, [](HWND dlg) {
            ChooseEntry(dlg, IDC_BLOCK1, 41);
            PostCommand(dlg, IDOK);
        });
        d.Answer(row.answer);
        if (row.answer == IDYES)
            d.Then(kSaveTitle, row.typed ? TypeName(row.typed) : Press(IDCANCEL));
        Run(d);
        ASSERT_EQ(1u, d.questions.size());
        EXPECT_EQ("Save your block scheme?", d.questions[0].text);
        EXPECT_EQ((UINT)(MB_YESNO | MB_ICONQUESTION), d.questions[0].type);
        EXPECT_STREQ(row.wantName, op.go.bs.name);
        EXPECT_EQ(41u, op.go.bs.blocks[0]); // kept for the run in every case
        EXPECT_EQ(row.stored, Stored("Mine"));
        EXPECT_EQ("0,1,2,3,4,5,6,", Stored("One"));
        op.go.bs = {"One", {0, 1, 2, 3, 4, 5, 6}};
    }
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        ChooseEntry(dlg, IDC_BLOCK1, 40);
        ChooseEntry(dlg, IDC_SCHEMELIST, (int)SendDlgItemMessageA(dlg, IDC_SCHEMELIST, CB_FINDSTRINGEXACT, -1,
                                                                  (LPARAM) "Three"));
        for (int i = 0; i < 7; i++)
            EXPECT_EQ(14 + i, ComboSel(dlg, IDC_BLOCK1 + i));
        PostCommand(dlg, IDOK);
    });
    Run(d);
    EXPECT_TRUE(d.questions.empty());
    EXPECT_STREQ("Three", op.go.bs.name);
    EXPECT_EQ(20u, op.go.bs.blocks[6]);
}

TEST_F(GraphicsDialog, DeleteAndSaveActAtOnceAndCancelKeepsOnlyThem)
{
    op.go.drawGrid = 0;
    GRAPHICSOPTIONS before = op.go;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        color.ok = TRUE;
        ChooseEntry(dlg, IDC_BGKIND, 3);
        Command(dlg, IDC_COLOR1);
        ChooseEntry(dlg, IDC_SCHEMELIST, 5); // "Two", the last in the store's order
        EXPECT_EQ("Two", Selected(dlg, IDC_SCHEMELIST));
        PostCommand(dlg, IDC_DELSCHEME);
    });
    d.Answer(IDYES);
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ(5, ComboCount(dlg, IDC_SCHEMELIST));
        ChooseEntry(dlg, IDC_BLOCK1, 33);
        PostCommand(dlg, IDC_SAVESCHEME);
    });
    d.Then(kSaveTitle, TypeName("Kept"));
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ("Kept", Selected(dlg, IDC_SCHEMELIST));
        PostCommand(dlg, IDCANCEL);
    });
    Run(d);
    EXPECT_EQ(1u, d.questions.size()); // the delete only
    EXPECT_EQ(0, memcmp(&before, &op.go, sizeof before));
    EXPECT_EQ("<missing>", Stored("Two"));
    EXPECT_EQ('3', Stored("Kept")[0]);
}

TEST_F(GraphicsDialog, FewerPicturesThanTheSchemeNamesLeaveThatPickerEmptyAndNothingLeaks)
{
    god.nblocks = 10;
    op.go.bs = {"One", {7, 8, 9, 10, 11, 12, 13}};
    RunOnce([](HWND dlg) {
        EXPECT_EQ(10, ComboCount(dlg, IDC_BLOCK1));
        EXPECT_EQ(9, ComboSel(dlg, IDC_BLOCK1 + 2));
        EXPECT_EQ(CB_ERR, ComboSel(dlg, IDC_BLOCK1 + 3));
        PostCommand(dlg, IDCANCEL);
    });
    color.ok = TRUE;
    ExpectCountsFlat(8, [this](int i) {
        RunOnce([i](HWND dlg) {
            color.pick = RGB(i, 255 - i, 7);
            ChooseEntry(dlg, IDC_BGKIND, "\0\2\3\4"[i % 4]); // not "From file": OK would want one
            Command(dlg, IDC_COLOR1);
            PreviewPixel(dlg, 0, 0);
            PostCommand(dlg, i % 2 ? IDOK : IDCANCEL);
        });
    });
}

TEST(GraphicsHelpers, DetailChoicesByKindAndFileChooserErrors)
{
    const char* same = "C:\\f.bmp";
    const struct {
        WORD flags;
        int entry;
        WORD wantFlags;
        const char* wantName;
    } details[] = {{BG_BUILTIN, 3, BG_BUILTIN, "Background2"}, {BG_BUILTIN, 4, BG_BUILTIN, same},
                   {BG_BUILTIN, -1, BG_BUILTIN, same},         {BG_PATTERN, 3, BG_PATTERN, same},
                   {0x0042, 1, 0x0022, same},                  {0x0042, 4, 0x0042, same},
                   {BG_SOLID, 1, BG_SOLID, same},              {0x0003, 1, 0x0003, same},
                   {BG_FILE | BG_CENTER | BG_TILE, 1, BG_FILE | BG_CENTER | BG_TILE, same}};
    for (const auto& row : details) {
        BACKGROUND bg = {row.flags, {0, 0}, ""};
        lstrcpynA(bg.name, same, sizeof bg.name);
        HandleBgCombo2(bg, row.entry);
        EXPECT_EQ(row.wantFlags, bg.flags) << row.flags << " entry " << row.entry;
        EXPECT_STREQ(row.wantName, bg.name) << row.flags << " entry " << row.entry;
    }
    const char* texts[] = {"Error opening file.", "Incorrect struct size!", "Initialization error!",
                           "No template!", "No hinstance!", "Load string error!", "Find resource failure!",
                           "Load resource error!", "Lock resource error!", "Memory allocation error!",
                           "Memory lock failure!", "No hook!", "Error opening file."};
    const char* fnTexts[] = {"Error opening file.", "Subclassing failure!", "Invalid filename!",
                             "Filename buffer too small!", "Error opening file."};
    SetFileChooser(FakeGetOpenFileName);
    SetCommDlgError(FakeCommDlgError);
    HWND owner = MakeOwnerWindow();
    InitOFN(owner);
    file = {};
    for (DWORD code = 0; code < 13 + 5; code++) {
        DialogDriver d; // records the error box
        file.error = code < 13 ? code : 0x3000 + code - 13;
        char dest[OPTION_NAME_LEN] = "unchanged";
        EXPECT_EQ(0, GetFileName(dest));
        EXPECT_STREQ("unchanged", dest);
        EXPECT_EQ(Texts{code < 13 ? texts[code] : fnTexts[code - 13]}, d.errors) << std::hex << file.error;
    }
    SetFileChooser(nullptr);
    SetCommDlgError(nullptr);
    DestroyWindow(owner);
}

// ---- the scheme list, saving and deleting --------------------------------------------------

TEST_F(GraphicsDialog, SchemeListSkipsNamesTooLongOrEmptyAndSelectsOnlyTheExactName)
{
    MakeHost();
    for (const char* name : {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO", ""})
        store.Put(kSchemes, name, "1,1,1,1,1,1,1,");
    Texts want = StoredNames();
    want.erase(want.begin()); // "" sorts first
    want.erase(want.begin() + 1); // after the 15-letter name
    for (const char* current : {"Three", "ABCDEFGHIJKLMNO", "three", "Gone"}) {
        lstrcpynA(bs.name, current, sizeof bs.name);
        LoadBlockSchemeNames(host, bs);
        EXPECT_EQ(want, ComboTexts(host, IDC_SCHEMELIST));
        auto at = std::find(want.begin(), want.end(), current);
        EXPECT_EQ(at == want.end() ? -1 : (int)(at - want.begin()), ComboSel(host, IDC_SCHEMELIST));
    }
}

TEST_F(GraphicsDialog, SavingAsksBeforeReplacingAndChangesNothingWhenCancelledOrRefused)
{
    MakeHost();
    const BLOCKSCHEME nines = {"", {9, 8, 7, 6, 5, 4, 3}};
    const struct {
        std::vector<const char*> typed; // one name per name dialog, "" cancels it
        std::vector<int> answers;
        bool failWrite;
        const char* stored; // the name that now holds the blocks, selected; null: none
    } table[] = {
        {{"ABCDEFGHIJKLMNOPQRS"}, {}, false, "ABCDEFGHIJKLMNO"}, // new: cut, appended
        {{""}, {}, false, nullptr},                              // cancelled
        {{"Lost"}, {}, true, nullptr},                           // the store refuses
        {{"Two"}, {IDYES}, false, "Two"},                        // replaced in place
        {{"Three", "Four", "Five"}, {IDNO, IDNO, IDCANCEL}, false, nullptr},
        {{"two"}, {IDYES}, false, "two"}, // a case twin takes its place
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.typed[0]);
        store.DeleteKey(NULL, "Software");
        LoadOptions(op); // the six default schemes again
        bs = op.go.bs;
        LoadBlockSchemeNames(host, bs);
        Texts before = ComboTexts(host, IDC_SCHEMELIST);
        memcpy(bs.blocks, nines.blocks, sizeof bs.blocks);
        DialogDriver d;
        for (const char* name : row.typed)
            d.Then(kSaveTitle, *name ? TypeName(name) : Press(IDCANCEL));
        for (int a : row.answers)
            d.Answer(a);
        if (row.failWrite)
            store.FailOn(FAIL_WRITE);
        EXPECT_EQ(row.stored != nullptr, SaveBlockScheme(host, bs));
        d.ExpectDone();
        store.ClearFailures();
        EXPECT_EQ(row.answers.size(), d.questions.size());
        EXPECT_EQ(d.questions.empty() ? "" : string("Block Scheme \"") + row.typed[0] + "\" already exists, replace?",
                  d.questions.empty() ? "" : d.questions[0].text);
        Texts after = ComboTexts(host, IDC_SCHEMELIST);
        if (row.stored) {
            EXPECT_EQ("9,8,7,6,5,4,3,", Stored(row.stored));
            EXPECT_STREQ(row.stored, bs.name);
            EXPECT_EQ(row.stored, Selected(host, IDC_SCHEMELIST));
            EXPECT_EQ(before.size() + (row.answers.empty() ? 1 : 0), after.size());
            EXPECT_EQ(after.size(), StoredNames().size());
        } else {
            EXPECT_EQ(before, after);
            for (const string& n : StoredNames())
                EXPECT_NE("9,8,7,6,5,4,3,", Stored(n.c_str()));
        }
    }
}

TEST_F(GraphicsDialog, DeletingAsksThenTheOneAboveOrTheNewFirstBecomesCurrent)
{
    MakeHost();
    for (int at : {0, 3}) { // the first, then one in the middle
        Texts names = StoredNames();
        lstrcpynA(bs.name, names[at].c_str(), sizeof bs.name);
        LoadBlockSchemeNames(host, bs);
        DialogDriver d;
        d.Answer(IDNO).Answer(IDYES);
        DeleteBlockScheme(host, bs); // No: nothing happens
        EXPECT_EQ(names, StoredNames());
        DeleteBlockScheme(host, bs);
        ASSERT_EQ(2u, d.questions.size());
        EXPECT_EQ("Delete the block scheme \"" + names[at] + "\"?", d.questions[1].text);
        names.erase(names.begin() + at);
        EXPECT_EQ(names, StoredNames());
        EXPECT_EQ(names, ComboTexts(host, IDC_SCHEMELIST));
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
            for (const string& n : StoredNames())
                RemoveBlockScheme(n.c_str());
            WriteBlockScheme("Only", bs);
        }
        lstrcpynA(bs.name, current, sizeof bs.name);
        LoadBlockSchemeNames(host, bs);
        size_t count = StoredNames().size();
        DialogDriver d;
        d.Answer(IDYES);
        DeleteBlockScheme(host, bs);
        EXPECT_TRUE(d.questions.empty());
        EXPECT_EQ(1u, d.errors.size());
        EXPECT_EQ(count, StoredNames().size());
    }
}
