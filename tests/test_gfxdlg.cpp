// Tests of the graphics options dialog, driven through its real modal loop with
// the real graphics library; the colour and file choosers are answered through
// their seams (the RealCommonDialogs suite at the end runs the system's own).
#include <gtest/gtest.h>

#include <cderr.h>
#include <cstring>
#include <string>

#include "bgimage.h"
#include "dlgdriver.h"
#include "dlgids.h"
#include "gfxdlg.h"
#include "gfxopt.h"
#include "grid.h"
#include "image.h"
#include "teststore.h"
#include "options.h"
#include "schemes.h"

namespace
{

const char kTitle[] = "Graphics Options";
const char kSaveTitle[] = "Save Scheme";
const int kBlocks = 42;

COLORREF BlockColor(int k)
{
    return RGB(10 + k * 5, 250 - k * 5, (k * 37) % 200 + 20);
}

std::string SchemesPath()
{
    return std::string(szRegKey) + "\\" + szBlockSchemesKey;
}

// ---- scripted choosers -------------------------------------------------------------

struct ColorScript {
    BOOL ok = FALSE;
    COLORREF pick = 0;
    int calls = 0;
    CHOOSECOLORA seen = {};
    COLORREF seenCustom0 = 0;
} colorScript;

BOOL WINAPI FakeChooseColor(LPCHOOSECOLORA cc)
{
    colorScript.calls++;
    colorScript.seen = *cc;
    colorScript.seenCustom0 = cc->lpCustColors ? cc->lpCustColors[0] : 0;
    // A chooser may scribble on the custom colours; the next use must not see it.
    if (cc->lpCustColors)
        cc->lpCustColors[0] = RGB(1, 2, 3);
    if (colorScript.ok)
        cc->rgbResult = colorScript.pick;
    return colorScript.ok;
}

struct FileScript {
    BOOL ok = FALSE;
    std::string path;
    DWORD error = 0;
    int calls = 0;
    OPENFILENAMEA seen = {};
    std::string initial;
} fileScript;

BOOL WINAPI FakeGetOpenFileName(LPOPENFILENAMEA ofn)
{
    fileScript.calls++;
    fileScript.seen = *ofn;
    fileScript.initial = ofn->lpstrFile ? ofn->lpstrFile : "<null>";
    if (fileScript.ok && ofn->lpstrFile)
        lstrcpynA(ofn->lpstrFile, fileScript.path.c_str(), ofn->nMaxFile);
    return fileScript.ok;
}

DWORD WINAPI FakeCommDlgError(void)
{
    return fileScript.error;
}

// ---- pixels --------------------------------------------------------------------------

// A 32-bit memory surface to draw items into and read back.
struct Canvas {
    HDC dc;
    HBITMAP bmp;
    HGDIOBJ old;
    Canvas(int w, int h)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(dc, bmp);
        RECT rc = {0, 0, w, h};
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) { return GetPixel(dc, x, y); }
};

void DrawItem(HWND dlg, Canvas& c, UINT type, UINT id, UINT item, UINT state, RECT rc)
{
    DRAWITEMSTRUCT dis = {};
    dis.CtlType = type;
    dis.CtlID = id;
    dis.itemID = item;
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = state;
    dis.hwndItem = GetDlgItem(dlg, id);
    dis.hDC = c.dc;
    dis.rcItem = rc;
    SendMessageA(dlg, WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&dis));
}

// A small 24-bit bitmap file for the "From file" kind.
std::string WriteBitmapFile(const char* name, COLORREF color)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    std::string path = std::string(dir) + name;
    const int side = 8;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = side;
    ih.biHeight = side;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    DWORD pixels = side * side * 3;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + pixels;
    std::string data(reinterpret_cast<char*>(&fh), sizeof fh);
    data.append(reinterpret_cast<char*>(&ih), sizeof ih);
    for (int i = 0; i < side * side; i++) {
        data.push_back(static_cast<char>(GetBValue(color)));
        data.push_back(static_cast<char>(GetGValue(color)));
        data.push_back(static_cast<char>(GetRValue(color)));
    }
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(f);
    return path;
}

// ---- fixture -------------------------------------------------------------------------

class GraphicsDialog : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        dll = LoadLibraryA("stkgfx.dll");
        HDC screen = GetDC(nullptr);
        for (int k = 0; k < kBlocks; k++) {
            bitmaps[k] = CreateCompatibleBitmap(screen, 16, 16);
            HDC dc = CreateCompatibleDC(screen);
            HGDIOBJ old = SelectObject(dc, bitmaps[k]);
            HBRUSH brush = CreateSolidBrush(BlockColor(k));
            RECT rc = {0, 0, 16, 16};
            FillRect(dc, &rc, brush);
            DeleteObject(brush);
            SelectObject(dc, old);
            DeleteDC(dc);
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
        previous = SetOptionsStore(&store);
        MBERRORBOXPROC old = SetMbErrorBox(Ignore);
        LoadOptions(op);
        SetMbErrorBox(old);
        lstrcpynA(op.go.bg.name, "Skull", sizeof op.go.bg.name);
        owner = MakeOwnerWindow();
        god.pgo = &op.go;
        for (int k = 0; k < kBlocks; k++)
            god.blocks[k] = images[k];
        god.nblocks = kBlocks;
        colorScript = ColorScript();
        fileScript = FileScript();
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
        SetOptionsStore(previous);
    }

    static int WINAPI Ignore(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }

    void Run(DialogDriver& d)
    {
        GraphicsOptions(dll, owner, &god);
        d.ExpectDone();
    }

    // One step on the open dialog, then the dialog closes as the step leaves it.
    void RunOnce(DialogDriver::Action act)
    {
        DialogDriver d;
        d.Then(kTitle, act);
        Run(d);
    }

    std::string Stored(const char* name)
    {
        std::string data;
        if (!store.GetValueData(SchemesPath().c_str(), name, &data))
            return "<missing>";
        return data;
    }

    static HMODULE dll;
    static HBITMAP bitmaps[kBlocks];
    static Image* images[kBlocks];

    TestStore store;
    Store* previous = nullptr;
    OPTIONS op;
    GFXOPTIONSDATA god;
    HWND owner = nullptr;
};

HMODULE GraphicsDialog::dll;
HBITMAP GraphicsDialog::bitmaps[kBlocks];
Image* GraphicsDialog::images[kBlocks];

// The list entry of a scheme: the list shows the store's order.
int SchemeAt(HWND dlg, const char* name)
{
    return (int)SendDlgItemMessageA(dlg, IDC_SCHEMELIST, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name);
}

bool Shown(HWND dlg, int id)
{
    return IsWindowVisible(GetDlgItem(dlg, id)) != 0;
}

void DrawPreview(HWND dlg, Canvas& c, RECT rc = {0, 0, 48, 88})
{
    DrawItem(dlg, c, ODT_STATIC, IDC_PREVIEW, 0, 0, rc);
}

std::vector<std::string> Entries(HWND dlg, int id)
{
    std::vector<std::string> texts;
    for (int i = 0; i < ComboCount(dlg, id); i++)
        texts.push_back(ComboText(dlg, id, i));
    return texts;
}

const std::vector<std::string> kBuiltIns = {"Background", "Skull", "Leet", "Background2"};
const std::vector<std::string> kPlacements = {"Default", "Center", "Tile", "Stretch"};

// ---- opening -------------------------------------------------------------------------

TEST_F(GraphicsDialog, OpensOnEachKindWithItsControls)
{
    struct Case {
        WORD flags;
        const char* name;
        int kind;
        bool detail;
        int detailCount;
        int detailSel;
        bool file;
    };
    const Case cases[] = {
        {BG_PATTERN, "Red", 4, true, 3, 1, false},
        {BG_PATTERN, "red", 4, true, 3, -1, false}, // exact match only
        {BG_BUILTIN, "Nowhere", 0, true, 4, -1, false},
        {BG_SOLID, "", 2, false, 0, 0, false},
        {BG_GRADIENT, "", 3, false, 0, 0, false},
        {BG_FILE | BG_STRETCH, "C:\\x.bmp", 1, true, 4, 3, true},
        {BG_FILE | BG_CENTER, "C:\\x.bmp", 1, true, 4, 1, true},
    };
    for (const Case& c : cases) {
        op.go.bg.flags = c.flags;
        lstrcpynA(op.go.bg.name, c.name, sizeof op.go.bg.name);
        MBERRORBOXPROC old = SetMbErrorBox(Ignore); // the missing file
        RunOnce([c](HWND dlg) {
            EXPECT_EQ(c.kind, ComboSel(dlg, IDC_BGKIND)) << c.flags;
            EXPECT_EQ(c.detail, Shown(dlg, IDC_BGDETAIL)) << c.flags;
            if (c.detail) {
                EXPECT_EQ(c.detailCount, ComboCount(dlg, IDC_BGDETAIL)) << c.flags;
                EXPECT_EQ(c.detailSel, ComboSel(dlg, IDC_BGDETAIL)) << c.flags << c.name;
            }
            EXPECT_EQ(c.file, Shown(dlg, IDC_FILENAME)) << c.flags;
            EXPECT_EQ(c.file, Shown(dlg, IDC_CHOOSEFILE)) << c.flags;
            if (c.file) {
                EXPECT_EQ(c.name, ItemText(dlg, IDC_FILENAME));
            }
            PostCommand(dlg, IDCANCEL);
        });
        SetMbErrorBox(old);
    }
}

// ---- the kind and detail lists ----------------------------------------------------------

TEST_F(GraphicsDialog, ChoosingAKindSetsItsNameAndControls)
{
    const struct {
        WORD flags;
        const char* name;
        int kind;
        std::vector<std::string> details; // empty: the list is hidden
        int detailSel;
        int detail; // then chosen, or -1
        WORD wantFlags;
        const char* wantName;
    } cases[] = {
        {BG_BUILTIN, "Skull", 4, {"Blue", "Red", "Orange"}, 0, -1, BG_PATTERN, "Blue"},
        {BG_GRADIENT, "Skull", 0, kBuiltIns, 0, 2, BG_BUILTIN, "Leet"},
        {BG_PATTERN, "Orange", 4, {"Blue", "Red", "Orange"}, 2, -1, BG_PATTERN, "Orange"},
        {BG_BUILTIN, "Skull", 3, {}, 0, -1, BG_GRADIENT, "Skull"},
    };
    for (const auto& c : cases) {
        op.go.bg.flags = c.flags;
        lstrcpynA(op.go.bg.name, c.name, sizeof op.go.bg.name);
        RunOnce([&c](HWND dlg) {
            ChooseEntry(dlg, IDC_BGKIND, c.kind);
            EXPECT_EQ(!c.details.empty(), Shown(dlg, IDC_BGDETAIL)) << c.kind;
            if (!c.details.empty()) {
                EXPECT_EQ(c.details, Entries(dlg, IDC_BGDETAIL));
                EXPECT_EQ(c.detailSel, ComboSel(dlg, IDC_BGDETAIL));
            }
            EXPECT_FALSE(Shown(dlg, IDC_FILENAME));
            EXPECT_FALSE(Shown(dlg, IDC_CHOOSEFILE));
            EXPECT_TRUE(Shown(dlg, IDC_COLOR1));
            if (c.detail >= 0)
                ChooseEntry(dlg, IDC_BGDETAIL, c.detail);
            PostCommand(dlg, IDOK);
        });
        EXPECT_EQ(c.wantFlags, op.go.bg.flags) << c.kind;
        EXPECT_STREQ(c.wantName, op.go.bg.name);
    }
}

TEST_F(GraphicsDialog, FromFileEmptiesTheNameKeepsThePreviewAndOkWantsAFile)
{
    std::string path = WriteBitmapFile("stakka_dlg_red.bmp", RGB(255, 0, 0));
    fileScript.ok = TRUE;
    fileScript.path = path;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        Canvas before(48, 88);
        DrawPreview(dlg, before);
        ChooseEntry(dlg, IDC_BGKIND, 1);
        EXPECT_TRUE(Shown(dlg, IDC_FILENAME));
        EXPECT_TRUE(Shown(dlg, IDC_CHOOSEFILE));
        EXPECT_TRUE(Shown(dlg, IDC_BGDETAIL));
        EXPECT_EQ(kPlacements, Entries(dlg, IDC_BGDETAIL));
        EXPECT_EQ(0, ComboSel(dlg, IDC_BGDETAIL));
        EXPECT_EQ("", ItemText(dlg, IDC_FILENAME));
        Canvas after(48, 88);
        DrawPreview(dlg, after);
        int same = 0;
        for (int y = 0; y < 88; y += 4)
            for (int x = 0; x < 48; x += 4)
                same += before.At(x, y) == after.At(x, y);
        EXPECT_EQ(12 * 22, same);
        PostCommand(dlg, IDOK);
    });
    d.Then(kTitle, [](HWND dlg) { PostCommand(dlg, IDOK); });
    d.Then(kTitle, [&path](HWND dlg) {
        Command(dlg, IDC_CHOOSEFILE);
        EXPECT_EQ(path, ItemText(dlg, IDC_FILENAME));
        Canvas c(48, 88);
        DrawPreview(dlg, c);
        EXPECT_EQ(RGB(255, 0, 0), c.At(1, 1)); // the picture at (0, 0), scaled to a quarter
        PostCommand(dlg, IDOK);
    });
    Run(d);
    EXPECT_EQ((std::vector<std::string>{"You must choose a file!", "You must choose a file!"}),
              d.errors);
    EXPECT_EQ(BG_FILE, op.go.bg.flags);
    EXPECT_EQ(path, op.go.bg.name);
    DeleteFileA(path.c_str());
}

TEST_F(GraphicsDialog, FilePlacementsSetTheirFlags)
{
    op.go.bg.flags = BG_FILE;
    lstrcpynA(op.go.bg.name, "C:\\missing.bmp", sizeof op.go.bg.name);
    const WORD expected[4] = {0x0002, 0x0022, 0x0042, 0x0082};
    // Each placement in its own run, so OK reports the flags it produced.
    for (int i = 0; i < 4; i++) {
        RunOnce([i](HWND dlg) {
            ChooseEntry(dlg, IDC_BGDETAIL, i == 0 ? 2 : 0); // a different one first
            ChooseEntry(dlg, IDC_BGDETAIL, i);
            PostCommand(dlg, IDOK);
        });
        EXPECT_EQ(expected[i], op.go.bg.flags) << "entry " << i;
    }
}

TEST_F(GraphicsDialog, AFailedFileChoiceKeepsTheBackgroundAndSaysWhy)
{
    op.go.bg.flags = BG_FILE | BG_TILE;
    std::string path = WriteBitmapFile("stakka_dlg_keep.bmp", RGB(0, 255, 0));
    lstrcpynA(op.go.bg.name, path.c_str(), sizeof op.go.bg.name);
    fileScript.error = FNERR_INVALIDFILENAME;
    DialogDriver d;
    d.Then(kTitle, [&path](HWND dlg) {
        EXPECT_EQ(2, ComboSel(dlg, IDC_BGDETAIL));
        EXPECT_EQ(path, ItemText(dlg, IDC_FILENAME));
        Command(dlg, IDC_CHOOSEFILE);
        EXPECT_EQ(path, ItemText(dlg, IDC_FILENAME));
        PostCommand(dlg, IDOK);
    });
    Run(d);
    EXPECT_EQ(std::vector<std::string>{"Invalid filename!"}, d.errors);
    EXPECT_EQ(path, op.go.bg.name);
    EXPECT_EQ(BG_FILE | BG_TILE, op.go.bg.flags);
    EXPECT_EQ(1, fileScript.calls);
    EXPECT_EQ("", fileScript.initial); // the chooser starts with an empty name
    DeleteFileA(path.c_str());
}

// ---- colours and owner drawing -----------------------------------------------------------

TEST_F(GraphicsDialog, ColourButtonsUseTheChooserCancelKeepsTheColourAndThePreviewFollows)
{
    op.go.bg.flags = BG_GRADIENT;
    op.go.bg.color[0] = RGB(0, 0, 0);
    op.go.bg.color[1] = RGB(40, 50, 60);
    RunOnce([](HWND dlg) {
        colorScript.ok = TRUE;
        colorScript.pick = RGB(255, 255, 255);
        Command(dlg, IDC_COLOR2);
        EXPECT_EQ(dlg, colorScript.seen.hwndOwner);
        EXPECT_EQ(RGB(40, 50, 60), colorScript.seen.rgbResult);
        EXPECT_EQ(static_cast<DWORD>(CC_FULLOPEN | CC_RGBINIT),
                  colorScript.seen.Flags & (CC_FULLOPEN | CC_RGBINIT));
        EXPECT_EQ(sizeof(CHOOSECOLORA), colorScript.seen.lStructSize);
        EXPECT_TRUE(colorScript.seen.lpCustColors != nullptr);
        colorScript.ok = FALSE;
        Command(dlg, IDC_COLOR1);
        // The custom colours start afresh each time.
        EXPECT_EQ(RGB(255, 255, 255), colorScript.seenCustom0);
        // The buttons show the colours in force.
        Canvas c(40, 20);
        DrawItem(dlg, c, ODT_BUTTON, IDC_COLOR1, 0, 0, {0, 0, 40, 20});
        EXPECT_EQ(RGB(0, 0, 0), c.At(20, 10));
        DrawItem(dlg, c, ODT_BUTTON, IDC_COLOR2, 0, 0, {0, 0, 40, 20});
        EXPECT_EQ(RGB(255, 255, 255), c.At(20, 10));
        // Drawn at full size the preview is the picture itself.
        Canvas full(192, 352);
        DrawPreview(dlg, full, {0, 0, 192, 352});
        EXPECT_EQ(RGB(0, 0, 0), full.At(10, 0));
        EXPECT_EQ(RGB(127, 127, 127), full.At(10, 176));
        EXPECT_EQ(RGB(254, 254, 254), full.At(10, 351));
        PostCommand(dlg, IDOK);
    });
    EXPECT_EQ(2, colorScript.calls);
    EXPECT_EQ(RGB(0, 0, 0), op.go.bg.color[0]);
    EXPECT_EQ(RGB(255, 255, 255), op.go.bg.color[1]);
}

// ---- block schemes in the dialog ----------------------------------------------------------

TEST_F(GraphicsDialog, ChangedPickerMakesOkAskAndNoKeepsTheBlocksForTheRun)
{
    op.go.drawGrid = 0;
    op.go.preview = 1;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        ChooseEntry(dlg, IDC_BLOCK1 + 2, 30);
        PostCommand(dlg, IDOK);
    });
    d.Answer(IDNO);
    Run(d);
    ASSERT_EQ(1u, d.questions.size());
    EXPECT_EQ("Save your block scheme?", d.questions[0].text);
    EXPECT_EQ("Question", d.questions[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), d.questions[0].type);
    EXPECT_STREQ("One", op.go.bs.name);
    EXPECT_EQ(30u, op.go.bs.blocks[2]);
    EXPECT_EQ(std::string("0,1,2,3,4,5,6,", 15), Stored("One"));
    // OK copies the unchanged switches too.
    EXPECT_EQ(0, op.go.drawGrid);
    EXPECT_EQ(1, op.go.preview);
    EXPECT_EQ(BG_BUILTIN, op.go.bg.flags);
    EXPECT_STREQ("Skull", op.go.bg.name);
}

TEST_F(GraphicsDialog, YesSavesUnderTheTypedNameAndCancellingTheNameStillCloses)
{
    for (bool named : {false, true}) {
        DialogDriver d;
        d.Then(kTitle, [](HWND dlg) {
            ChooseEntry(dlg, IDC_BLOCK1, 41);
            PostCommand(dlg, IDOK);
        });
        d.Answer(IDYES);
        d.Then(kSaveTitle, [named](HWND dlg) {
            SetDlgItemTextA(dlg, IDC_SCHEMENAME, "Mine");
            PostCommand(dlg, named ? IDOK : IDCANCEL);
        });
        Run(d);
        EXPECT_STREQ(named ? "Mine" : "One", op.go.bs.name);
        EXPECT_EQ(41u, op.go.bs.blocks[0]);
        EXPECT_EQ(named ? std::string("41,1,2,3,4,5,6,", 16) : "<missing>", Stored("Mine"));
        EXPECT_EQ(named ? 7 : 6, store.ValueCount(SchemesPath().c_str()));
        op.go.bs.blocks[0] = 0;
    }
}

TEST_F(GraphicsDialog, ChoosingAnotherSchemeDiscardsAChangeWithoutAsking)
{
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
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(static_cast<DWORD>(14 + i), op.go.bs.blocks[i]);
}

TEST_F(GraphicsDialog, DeleteMakesTheNeighbourCurrentAndSaveStoresAndClearsTheChange)
{
    DialogDriver d;
    int at = -1;
    BLOCKSCHEME above = {"", {0, 0, 0, 0, 0, 0, 0}};
    d.Then(kTitle, [&](HWND dlg) {
        at = SchemeAt(dlg, "Four");
        LoadBlockScheme(ComboText(dlg, IDC_SCHEMELIST, at > 0 ? at - 1 : 1).c_str(), above);
        ChooseEntry(dlg, IDC_SCHEMELIST, at);
        PostCommand(dlg, IDC_DELSCHEME);
    });
    d.Answer(IDYES);
    d.Then(kTitle, [&](HWND dlg) {
        EXPECT_EQ(5, ComboCount(dlg, IDC_SCHEMELIST));
        EXPECT_EQ(at > 0 ? at - 1 : 0, ComboSel(dlg, IDC_SCHEMELIST));
        for (int i = 0; i < 7; i++)
            EXPECT_EQ((int)above.blocks[i], ComboSel(dlg, IDC_BLOCK1 + i));
        ChooseEntry(dlg, IDC_BLOCK1 + 1, 40);
        PostCommand(dlg, IDC_SAVESCHEME);
    });
    d.Then(kSaveTitle, [](HWND dlg) {
        SetDlgItemTextA(dlg, IDC_SCHEMENAME, "Saved");
        PostCommand(dlg, IDOK);
    });
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ(6, ComboCount(dlg, IDC_SCHEMELIST));
        EXPECT_EQ(5, ComboSel(dlg, IDC_SCHEMELIST));
        EXPECT_EQ("Saved", ComboText(dlg, IDC_SCHEMELIST, 5));
        PostCommand(dlg, IDOK);
    });
    Run(d);
    ASSERT_EQ(1u, d.questions.size()); // OK asks nothing after the save
    EXPECT_EQ("Delete the block scheme \"Four\"?", d.questions[0].text);
    EXPECT_EQ("<missing>", Stored("Four"));
    EXPECT_STREQ("Saved", op.go.bs.name);
    char text[64];
    above.blocks[1] = 40;
    FormatBlockScheme(above, text, sizeof text);
    EXPECT_EQ(std::string(text, strlen(text) + 1), Stored("Saved"));
}

TEST_F(GraphicsDialog, CancelLeavesTheRecordButSchemeChangesStay)
{
    op.go.drawGrid = 0;
    GRAPHICSOPTIONS before = op.go;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        colorScript.ok = TRUE;
        colorScript.pick = RGB(1, 2, 3);
        ChooseEntry(dlg, IDC_BGKIND, 3);
        Command(dlg, IDC_COLOR1);
        ChooseEntry(dlg, IDC_BLOCK1, 33);
        PostCommand(dlg, IDC_SAVESCHEME);
    });
    d.Then(kSaveTitle, [](HWND dlg) {
        SetDlgItemTextA(dlg, IDC_SCHEMENAME, "Kept");
        PostCommand(dlg, IDOK);
    });
    d.Then(kTitle, [](HWND dlg) {
        ChooseEntry(dlg, IDC_SCHEMELIST, SchemeAt(dlg, "Two"));
        PostCommand(dlg, IDC_DELSCHEME);
    });
    d.Answer(IDYES);
    d.Then(kTitle, [](HWND dlg) { PostCommand(dlg, IDCANCEL); });
    Run(d);
    EXPECT_EQ(0, memcmp(&before, &op.go, sizeof before));
    EXPECT_EQ(std::string("33,1,2,3,4,5,6,", 16), Stored("Kept"));
    EXPECT_EQ("<missing>", Stored("Two"));
}

TEST_F(GraphicsDialog, FewerPicturesThanTheSchemeNamesLeaveThatPickerEmpty)
{
    god.nblocks = 10;
    lstrcpynA(op.go.bs.name, "Two", sizeof op.go.bs.name);
    for (int i = 0; i < 7; i++)
        op.go.bs.blocks[i] = 7 + i;
    RunOnce([](HWND dlg) {
        EXPECT_EQ(10, ComboCount(dlg, IDC_BLOCK1));
        EXPECT_EQ(7, ComboSel(dlg, IDC_BLOCK1));
        EXPECT_EQ(9, ComboSel(dlg, IDC_BLOCK1 + 2));
        EXPECT_EQ(CB_ERR, ComboSel(dlg, IDC_BLOCK1 + 3));
        PostCommand(dlg, IDCANCEL);
    });
}

TEST_F(GraphicsDialog, TwoHundredOpenAndCloseCyclesLeaveGdiAndUserCountsFlat)
{
    colorScript.ok = TRUE;
    ExpectCountsFlat(50, [this](int i) {
        RunOnce([i](HWND dlg) {
            colorScript.pick = RGB(i, 255 - i, 7);
            if (i % 4 == 1) {
                ChooseEntry(dlg, IDC_BGKIND, 2 + i % 3);
                Command(dlg, IDC_COLOR1);
                Command(dlg, IDC_COLOR2);
            }
            if (i % 8 == 3) {
                Canvas c(48, 88);
                DrawPreview(dlg, c);
                DrawItem(dlg, c, ODT_BUTTON, IDC_COLOR1, 0, ODS_SELECTED, {0, 0, 40, 20});
                DrawItem(dlg, c, ODT_COMBOBOX, IDC_BLOCK1, 3, ODS_SELECTED, {0, 0, 40, 20});
            }
            PostCommand(dlg, i % 2 ? IDOK : IDCANCEL);
        });
    });
}

// ---- the Options > Graphics command with a real playfield -------------------------------------

void RegisterPanelClasses()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    WNDCLASSA wc = {};
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    const struct {
        const char* name;
        WNDPROC proc;
    } classes[] = {{"StakkaGrid", GridWndProc},
                   {"StakkaNext", NextWndProc},
                   {"Score", ScoreWndProc},
                   {"Stats", StatsWndProc}};
    for (const auto& c : classes) {
        wc.lpszClassName = c.name;
        wc.lpfnWndProc = c.proc;
        RegisterClassA(&wc);
    }
}

class GraphicsCommand : public GraphicsDialog
{
  protected:
    void SetUp() override
    {
        GraphicsDialog::SetUp();
        RegisterPanelClasses();
        op.go.drawGrid = 0; // the well's pixels are then the background's
        hinstDll = dll;
        grid = new StakkaGrid(owner, dll, &op);
    }
    void TearDown() override
    {
        delete grid;
        hinstDll = nullptr;
        GraphicsDialog::TearDown();
        // The panels post the quit message as they go; it must not end a later dialog.
        MSG msg;
        for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
            if (msg.message != WM_QUIT)
                DispatchMessageA(&msg);
        }
    }
    void RunCommand(DialogDriver::Action act)
    {
        DialogDriver d;
        d.Then(kTitle, act);
        GraphicsOptionsCommand(owner, grid);
        EXPECT_TRUE(d.Done());
    }
    StakkaGrid* grid = nullptr;
};

TEST_F(GraphicsCommand, ShowsThePlayfieldsBlocksAndCancelLeavesTheWellAsItWas)
{
    auto well = [this] {
        std::vector<COLORREF> pixels;
        for (int y = 0; y < 352; y += 16)
            for (int x = 0; x < 192; x += 16)
                pixels.push_back(GetPixel(grid->hdcField, x + 3, y + 5));
        return pixels;
    };
    std::vector<COLORREF> before = well();
    GRAPHICSOPTIONS go = op.go;
    RunCommand([this](HWND dlg) {
        // The pickers show the playfield's own blocks.
        EXPECT_EQ(static_cast<int>(grid->nblocks), ComboCount(dlg, IDC_BLOCK1));
        Canvas c(40, 20), ref(16, 16);
        DrawItem(dlg, c, ODT_COMBOBOX, IDC_BLOCK1, 9, 0, {0, 0, 40, 20});
        grid->blocks[9]->Blit(ref.dc, 0, 0);
        int same = 0;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++)
                same += c.At(12 + x, 2 + y) == ref.At(x, y);
        EXPECT_EQ(256, same);
        ChooseEntry(dlg, IDC_BGKIND, 2);
        colorScript.ok = TRUE;
        colorScript.pick = RGB(255, 0, 255);
        Command(dlg, IDC_COLOR1);
        PostCommand(dlg, IDCANCEL);
    });
    EXPECT_EQ(0, memcmp(&go, &op.go, sizeof go));
    EXPECT_EQ(before, well());
    EXPECT_NE(RGB(255, 0, 255), before[0]);
}

TEST_F(GraphicsCommand, OkWithGradientShowsTheGradientInTheWell)
{
    op.go.bg.color[0] = RGB(0, 0, 0);
    op.go.bg.color[1] = RGB(255, 255, 255);
    RunCommand([](HWND dlg) {
        ChooseEntry(dlg, IDC_BGKIND, 3);
        PostCommand(dlg, IDOK);
    });
    EXPECT_EQ(BG_GRADIENT, op.go.bg.flags);
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(grid->hdcField, 100, 0));
    EXPECT_EQ(RGB(127, 127, 127), GetPixel(grid->hdcField, 100, 176));
    EXPECT_EQ(RGB(254, 254, 254), GetPixel(grid->hdcField, 100, 351));
}

TEST(GraphicsCommandWithoutPlayfield, DoesNothing)
{
    DialogDriver d(500);
    GraphicsOptionsCommand(nullptr, nullptr);
    EXPECT_EQ(0, d.DialogsSeen());
}

// ---- the helpers on their own ----------------------------------------------------------------

TEST(HandleBgCombo2, AppliesTheDetailChoiceByKindWithinTheList)
{
    const char* same = "C:\\f.bmp";
    const struct {
        WORD flags;
        int entry;
        WORD wantFlags;
        const char* wantName;
    } cases[] = {{BG_BUILTIN, 3, BG_BUILTIN, "Background2"},
                 {BG_BUILTIN, 4, BG_BUILTIN, same}, // past the list: nothing
                 {BG_BUILTIN, -1, BG_BUILTIN, same},
                 {BG_PATTERN, 3, BG_PATTERN, same},
                 {0x0042, 1, 0x0022, same},
                 {0x0042, 4, 0x0042, same},
                 {BG_SOLID, 1, BG_SOLID, same},
                 {BG_FILE | BG_CENTER | BG_TILE, 1, BG_FILE | BG_CENTER | BG_TILE, same},
                 {0x0003, 1, 0x0003, same},
                 {0, 1, 0, same}};
    for (const auto& c : cases) {
        BACKGROUND bg = {};
        bg.flags = c.flags;
        lstrcpynA(bg.name, same, sizeof bg.name);
        HandleBgCombo2(bg, c.entry);
        EXPECT_EQ(c.wantFlags, bg.flags) << c.flags << " entry " << c.entry;
        EXPECT_STREQ(c.wantName, bg.name) << c.flags << " entry " << c.entry;
    }
}

class FileChooser : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        fileScript = FileScript();
        SetFileChooser(FakeGetOpenFileName);
        SetCommDlgError(FakeCommDlgError);
        owner = MakeOwnerWindow();
        InitOFN(owner);
    }
    void TearDown() override
    {
        SetFileChooser(nullptr);
        SetCommDlgError(nullptr);
        DestroyWindow(owner);
    }
    HWND owner = nullptr;
};

TEST_F(FileChooser, EveryExtendedErrorIsReportedWithItsMessage)
{
    const struct {
        DWORD code;
        const char* text;
    } table[] = {{1, "Incorrect struct size!"},
                 {2, "Initialization error!"},
                 {3, "No template!"},
                 {4, "No hinstance!"},
                 {5, "Load string error!"},
                 {6, "Find resource failure!"},
                 {7, "Load resource error!"},
                 {8, "Lock resource error!"},
                 {9, "Memory allocation error!"},
                 {10, "Memory lock failure!"},
                 {11, "No hook!"},
                 {0x3001, "Subclassing failure!"},
                 {0x3002, "Invalid filename!"},
                 {0x3003, "Filename buffer too small!"},
                 {0, "Error opening file."},
                 {12, "Error opening file."},
                 {0x3000, "Error opening file."},
                 {0x3004, "Error opening file."},
                 {0xFFFFFFFF, "Error opening file."}};
    for (const auto& e : table) {
        DialogDriver d; // records the error box
        fileScript.error = e.code;
        char dest[OPTION_NAME_LEN] = "unchanged";
        EXPECT_EQ(0, GetFileName(dest));
        EXPECT_STREQ("unchanged", dest);
        EXPECT_EQ(std::vector<std::string>{e.text}, d.errors) << std::hex << e.code;
        EXPECT_STREQ(e.text, FileChooserErrorText(e.code));
    }
    EXPECT_EQ(19, fileScript.calls);
}

// ---- the system's own file chooser takes our description --------------------------------------

class RealCommonDialogs : public ::testing::Test
{
  protected:
    void SetUp() override { owner = MakeOwnerWindow(); }
    void TearDown() override { DestroyWindow(owner); }
    HWND owner = nullptr;
};

} // namespace
