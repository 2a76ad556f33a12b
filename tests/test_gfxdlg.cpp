// Tests of the graphics options dialog, driven through its real modal loop with
// the real graphics library; the colour and file choosers are answered through
// their seams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bgimage.h"
#include "dlgdriver.h"
#include "dlgids.h"
#include "gfxdlg.h"
#include "gfxopt.h"
#include "grid.h"
#include "image.h"
#include "options.h"
#include "schemes.h"
#include "teststore.h"

namespace
{

const char kTitle[] = "Graphics Options";
const char kSaveTitle[] = "Save Scheme";
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
    cc->lpCustColors[0] = RGB(1, 2, 3); // the next use must not see this
    cc->rgbResult = color.ok ? color.pick : RGB(9, 9, 9); // what a cancel leaves must not count
    return color.ok;
}

struct {
    std::string path; // empty: the chooser fails with error
    DWORD error;
    int calls;
    std::string initial;
} file;

BOOL WINAPI FakeGetOpenFileName(LPOPENFILENAMEA ofn)
{
    file.calls++;
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
    HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 48, 88);
    HGDIOBJ old = SelectObject(dc, bmp);
    DRAWITEMSTRUCT dis = {};
    dis.CtlType = ODT_STATIC;
    dis.CtlID = IDC_PREVIEW;
    dis.itemAction = ODA_DRAWENTIRE;
    dis.hwndItem = GetDlgItem(dlg, IDC_PREVIEW);
    dis.hDC = dc;
    dis.rcItem = {0, 0, 48, 88};
    SendMessageA(dlg, WM_DRAWITEM, IDC_PREVIEW, (LPARAM)&dis);
    COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return c;
}

// An 8 x 8 24-bit bitmap file of one colour.
std::string WriteBitmapFile(const char* name, COLORREF c)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    BITMAPFILEHEADER fh = {0x4D42, sizeof fh + sizeof(BITMAPINFOHEADER) + 192, 0, 0,
                           sizeof fh + sizeof(BITMAPINFOHEADER)};
    BITMAPINFOHEADER ih = {sizeof ih, 8, 8, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string data = std::string((char*)&fh, sizeof fh) + std::string((char*)&ih, sizeof ih);
    for (int i = 0; i < 64; i++)
        data += {(char)GetBValue(c), (char)GetGValue(c), (char)GetRValue(c)};
    std::string path = std::string(dir) + name;
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    return path;
}

bool Shown(HWND dlg, int id)
{
    return IsWindowVisible(GetDlgItem(dlg, id)) != 0;
}

int SchemeAt(HWND dlg, const char* name) // the list shows the store's order
{
    return (int)SendDlgItemMessageA(dlg, IDC_SCHEMELIST, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name);
}

DialogDriver::Action Press(int id)
{
    return [id](HWND dlg) { PostCommand(dlg, id); };
}

DialogDriver::Action TypeName(const char* name)
{
    return [name](HWND dlg) {
        SetDlgItemTextA(dlg, IDC_SCHEMENAME, name);
        PostCommand(dlg, IDOK);
    };
}

} // namespace

class GraphicsDialog : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        dll = LoadLibraryA("stkgfx.dll");
        HDC screen = GetDC(nullptr);
        for (int k = 0; k < kBlocks; k++) {
            bitmaps[k] = CreateCompatibleBitmap(screen, 16, 16);
            images[k] = new Image(bitmaps[k], screen);
        }
        ReleaseDC(nullptr, screen);
    }
    static void TearDownTestSuite()
    {
        for (int k = 0; k < kBlocks; k++) {
            delete images[k];
            DeleteObject(bitmaps[k]);
        }
        FreeLibrary(dll);
    }
    void SetUp() override
    {
        ASSERT_TRUE(dll != nullptr) << "stkgfx.dll must lie beside the test program";
        SetOptionsStore(&store);
        LoadOptions(op);
        lstrcpynA(op.go.bg.name, "Skull", sizeof op.go.bg.name);
        owner = MakeOwnerWindow();
        god.pgo = &op.go;
        for (int k = 0; k < kBlocks; k++)
            god.blocks[k] = images[k];
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
        d.Then(kTitle, act);
        Run(d);
    }
    std::string Stored(const char* name)
    {
        std::string data;
        store.GetValueData((std::string(szRegKey) + "\\Block Schemes").c_str(), name, &data);
        return data.c_str();
    }

    static HMODULE dll;
    static HBITMAP bitmaps[kBlocks];
    static Image* images[kBlocks];
    TestStore store;
    OPTIONS op;
    GFXOPTIONSDATA god;
    HWND owner = nullptr;
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
            if (row.details >= 0) {
                EXPECT_EQ(row.details, ComboCount(dlg, IDC_BGDETAIL));
                EXPECT_EQ(row.detailSel, ComboSel(dlg, IDC_BGDETAIL));
            }
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
    std::string red = WriteBitmapFile("stakka_dlg_red.bmp", RGB(255, 0, 0));
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        COLORREF before = PreviewPixel(dlg, 5, 5);
        ChooseEntry(dlg, IDC_BGKIND, 1);
        EXPECT_EQ("", ItemText(dlg, IDC_FILENAME));
        EXPECT_EQ(0, ComboSel(dlg, IDC_BGDETAIL));
        EXPECT_EQ(before, PreviewPixel(dlg, 5, 5)); // the preview stays until a file is chosen
        PostCommand(dlg, IDOK);
    });
    d.Then(kTitle, Press(IDOK)); // again: no file yet
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
    EXPECT_EQ((std::vector<std::string>{"You must choose a file!", "You must choose a file!",
                                        "Invalid filename!"}),
              d.errors);
    EXPECT_EQ(BG_FILE, op.go.bg.flags);
    EXPECT_EQ(red, op.go.bg.name);
    EXPECT_EQ("", file.initial); // the chooser starts with an empty name
    DeleteFileA(red.c_str());
}

TEST_F(GraphicsDialog, ColourButtonsUseTheChooserAndCancelKeepsTheColour)
{
    op.go.bg.flags = BG_GRADIENT;
    op.go.bg.color[0] = RGB(0, 0, 0);
    op.go.bg.color[1] = RGB(40, 50, 60);
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
        const char* wantName;
        const char* stored; // what "Mine" holds afterwards
    } table[] = {{IDNO, nullptr, "One", ""},
                 {IDYES, nullptr, "One", ""},
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
        lstrcpynA(op.go.bs.name, "One", sizeof op.go.bs.name);
        op.go.bs.blocks[0] = 0;
    }
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        ChooseEntry(dlg, IDC_BLOCK1, 40);
        ChooseEntry(dlg, IDC_SCHEMELIST, SchemeAt(dlg, "Three"));
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
        int at = SchemeAt(dlg, "Two");
        ChooseEntry(dlg, IDC_SCHEMELIST, at);
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
        EXPECT_EQ("Kept", ComboText(dlg, IDC_SCHEMELIST, ComboSel(dlg, IDC_SCHEMELIST)));
        PostCommand(dlg, IDCANCEL);
    });
    Run(d);
    EXPECT_EQ(1u, d.questions.size()); // the delete only
    EXPECT_EQ(0, memcmp(&before, &op.go, sizeof before));
    EXPECT_EQ("", Stored("Two"));
    EXPECT_EQ('3', Stored("Kept")[0]);
}

TEST_F(GraphicsDialog, FewerPicturesThanTheSchemeNamesLeaveThatPickerEmptyAndNothingLeaks)
{
    god.nblocks = 10;
    for (int i = 0; i < 7; i++)
        op.go.bs.blocks[i] = 7 + i;
    RunOnce([](HWND dlg) {
        EXPECT_EQ(10, ComboCount(dlg, IDC_BLOCK1));
        EXPECT_EQ(9, ComboSel(dlg, IDC_BLOCK1 + 2));
        EXPECT_EQ(CB_ERR, ComboSel(dlg, IDC_BLOCK1 + 3));
        PostCommand(dlg, IDCANCEL);
    });
    color.ok = TRUE;
    ExpectCountsFlat(25, [this](int i) {
        RunOnce([i](HWND dlg) {
            color.pick = RGB(i, 255 - i, 7);
            ChooseEntry(dlg, IDC_BGKIND, "\0\2\3\4"[i % 4]); // not "From file": OK would want one
            Command(dlg, IDC_COLOR1);
            PreviewPixel(dlg, 0, 0);
            PostCommand(dlg, i % 2 ? IDOK : IDCANCEL);
        });
    });
}

// ---- the Options > Graphics command with a real playfield -------------------------------------

TEST_F(GraphicsDialog, TheCommandRedrawsTheWellOnOkOnly)
{
    WNDCLASSA wc = {};
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "StakkaGrid";
    wc.lpfnWndProc = GridWndProc;
    RegisterClassA(&wc);
    wc.lpszClassName = "StakkaNext";
    wc.lpfnWndProc = NextWndProc;
    RegisterClassA(&wc);
    wc.lpszClassName = "Score";
    wc.lpfnWndProc = ScoreWndProc;
    RegisterClassA(&wc);
    wc.lpszClassName = "Stats";
    wc.lpfnWndProc = StatsWndProc;
    RegisterClassA(&wc);
    op.go.drawGrid = 0; // the well's pixels are then the background's
    op.go.bg.color[0] = RGB(0, 0, 0);
    op.go.bg.color[1] = RGB(255, 255, 255);
    hinstDll = dll;
    StakkaGrid* grid = new StakkaGrid(owner, dll, &op);
    COLORREF before = GetPixel(grid->hdcField, 100, 351);
    for (int ok = 0; ok < 2; ok++) {
        DialogDriver d;
        d.Then(kTitle, [grid, ok](HWND dlg) {
            EXPECT_EQ((int)grid->nblocks, ComboCount(dlg, IDC_BLOCK1)); // the playfield's blocks
            ChooseEntry(dlg, IDC_BGKIND, 3);
            PostCommand(dlg, ok ? IDOK : IDCANCEL);
        });
        GraphicsOptionsCommand(owner, grid);
        EXPECT_TRUE(d.Done());
    }
    EXPECT_NE(RGB(254, 254, 254), before);
    EXPECT_EQ(BG_GRADIENT, op.go.bg.flags);
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(grid->hdcField, 100, 0));
    EXPECT_EQ(RGB(254, 254, 254), GetPixel(grid->hdcField, 100, 351));
    delete grid;
    hinstDll = nullptr;
    MSG msg; // the panels post the quit message as they go; it must not end a later dialog
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
    DialogDriver none(500);
    GraphicsOptionsCommand(nullptr, nullptr);
    EXPECT_EQ(0, none.DialogsSeen());
}

TEST(GraphicsHelpers, DetailChoicesByKindAndFileChooserErrors)
{
    const char* same = "C:\\f.bmp";
    const struct {
        WORD flags;
        int entry;
        WORD wantFlags;
        const char* wantName;
    } details[] = {{BG_BUILTIN, 3, BG_BUILTIN, "Background2"},
                   {BG_BUILTIN, 4, BG_BUILTIN, same}, // past the list: nothing
                   {BG_BUILTIN, -1, BG_BUILTIN, same},
                   {BG_PATTERN, 3, BG_PATTERN, same},
                   {0x0042, 1, 0x0022, same},
                   {0x0042, 4, 0x0042, same},
                   {BG_SOLID, 1, BG_SOLID, same},
                   {BG_FILE | BG_CENTER | BG_TILE, 1, BG_FILE | BG_CENTER | BG_TILE, same},
                   {0x0003, 1, 0x0003, same},
                   {0, 1, 0, same}};
    for (const auto& row : details) {
        BACKGROUND bg = {};
        bg.flags = row.flags;
        lstrcpynA(bg.name, same, sizeof bg.name);
        HandleBgCombo2(bg, row.entry);
        EXPECT_EQ(row.wantFlags, bg.flags) << row.flags << " entry " << row.entry;
        EXPECT_STREQ(row.wantName, bg.name) << row.flags << " entry " << row.entry;
    }
    const struct {
        DWORD code;
        const char* text;
    } errors[] = {{1, "Incorrect struct size!"}, {2, "Initialization error!"}, {3, "No template!"},
                  {4, "No hinstance!"}, {5, "Load string error!"}, {6, "Find resource failure!"},
                  {7, "Load resource error!"}, {8, "Lock resource error!"},
                  {9, "Memory allocation error!"}, {10, "Memory lock failure!"}, {11, "No hook!"},
                  {0x3001, "Subclassing failure!"}, {0x3002, "Invalid filename!"},
                  {0x3003, "Filename buffer too small!"}, {0, "Error opening file."},
                  {12, "Error opening file."}, {0x3000, "Error opening file."},
                  {0x3004, "Error opening file."}, {0xFFFFFFFF, "Error opening file."}};
    SetFileChooser(FakeGetOpenFileName);
    SetCommDlgError(FakeCommDlgError);
    HWND owner = MakeOwnerWindow();
    InitOFN(owner);
    file = {};
    for (const auto& e : errors) {
        DialogDriver d; // records the error box
        file.error = e.code;
        char dest[OPTION_NAME_LEN] = "unchanged";
        EXPECT_EQ(0, GetFileName(dest));
        EXPECT_STREQ("unchanged", dest);
        EXPECT_EQ(std::vector<std::string>{e.text}, d.errors) << std::hex << e.code;
    }
    SetFileChooser(nullptr);
    SetCommDlgError(nullptr);
    DestroyWindow(owner);
}
