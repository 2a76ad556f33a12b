// gfxdlg.cpp - the graphics options dialog: background, preview and block pickers.
#include "gfxdlg.h"

#include <cderr.h>
#include <cstring>

#include "STAKKA.h"
#include "bgimage.h"
#include "dlgids.h"
#include "dlgseams.h"
#include "gfxopt.h"
#include "grid.h"
#include "image.h"
#include "schemes.h"

OPENFILENAMEA ofn;

namespace
{

const COLORREF GRAY = RGB(0x80, 0x80, 0x80);
const int BLOCK_HALF_WIDTH = 8; // block pictures are 16 pixels wide
const int BLOCK_TOP_GAP = 2;    // and sit this far below the top of their row
const int NUM_CUSTOM_COLORS = 16;

const char szNeedFile[] = "You must choose a file!";
const char szSaveQuestion[] = "Save your block scheme?";
const char szNewBuiltinName[] = "Background"; // name set when switching to a kind
const char szNewPatternName[] = "Blue";
const char szFileFilter[] = "Bitmap Files\0*.bmp\0";
const char szFileTitle[] = "Open BMP";
const char szFileExt[] = "bmp";

struct FILEERROR {
    DWORD code;
    const char* text;
};

const FILEERROR fileErrors[] = {
    {CDERR_STRUCTSIZE, "Incorrect struct size!"},
    {CDERR_INITIALIZATION, "Initialization error!"},
    {CDERR_NOTEMPLATE, "No template!"},
    {CDERR_NOHINSTANCE, "No hinstance!"},
    {CDERR_LOADSTRFAILURE, "Load string error!"},
    {CDERR_FINDRESFAILURE, "Find resource failure!"},
    {CDERR_LOADRESFAILURE, "Load resource error!"},
    {CDERR_LOCKRESFAILURE, "Lock resource error!"},
    {CDERR_MEMALLOCFAILURE, "Memory allocation error!"},
    {CDERR_MEMLOCKFAILURE, "Memory lock failure!"},
    {CDERR_NOHOOK, "No hook!"},
    {FNERR_SUBCLASSFAILURE, "Subclassing failure!"},
    {FNERR_INVALIDFILENAME, "Invalid filename!"},
    {FNERR_BUFFERTOOSMALL, "Filename buffer too small!"},
};
const char szFileErrorOther[] = "Error opening file.";

// The graphics library the preview pictures come from; set by GraphicsOptions.
HINSTANCE hDll;

// State of the open dialog (there is only ever one: it is modal).
GRAPHICSOPTIONS* pgo;
GRAPHICSOPTIONS go;
HBRUSH hbrColor[2];
HPEN grayPen;
BackgroundImage* bgi;
Image* const* blocks;
int nblocks;
int bsChanged;

int IsFileKind(WORD flags)
{
    return flags == BG_FILE || flags == (BG_FILE | BG_CENTER) || flags == (BG_FILE | BG_TILE) ||
           flags == (BG_FILE | BG_STRETCH);
}

LRESULT Detail(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageA(hDlg, IDC_BGDETAIL, msg, wParam, lParam);
}

void ShowItem(HWND hDlg, int id, int show)
{
    ShowWindow(GetDlgItem(hDlg, id), show ? SW_SHOW : SW_HIDE);
}

// Refills the detail list with names and selects the one equal to current
// (letter case counts), or none.
void FillDetail(HWND hDlg, const char* const* names, int count, const char* current)
{
    Detail(hDlg, CB_RESETCONTENT, 0, 0);
    int selected = -1;
    for (int i = 0; i < count; i++) {
        Detail(hDlg, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i]));
        if (selected < 0 && current && strcmp(names[i], current) == 0)
            selected = i;
    }
    Detail(hDlg, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int LowestKind(WORD flags)
{
    for (int i = 0; i < NUM_BG_OPTIONS; i++) {
        if (flags & (1u << i))
            return i;
    }
    return -1;
}

void ReleaseDrawing()
{
    delete bgi;
    bgi = nullptr;
    for (HBRUSH& brush : hbrColor) {
        if (brush)
            DeleteObject(brush);
        brush = nullptr;
    }
    if (grayPen)
        DeleteObject(grayPen);
    grayPen = nullptr;
    // The block pictures were only lent for the dialog's life.
    blocks = nullptr;
    nblocks = 0;
}

void OnInitDialog(HWND hDlg, const GFXOPTIONSDATA* god)
{
    pgo = god->pgo;
    blocks = god->blocks;
    nblocks = god->nblocks;
    if (nblocks < 0)
        nblocks = 0;
    if (nblocks > MAX_BLOCK_IMAGES)
        nblocks = MAX_BLOCK_IMAGES;
    go = *pgo;

    for (int i = 0; i < NUM_BG_OPTIONS; i++)
        SendDlgItemMessageA(hDlg, IDC_BGKIND, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(szBgOptions[i]));
    SendDlgItemMessageA(hDlg, IDC_BGKIND, CB_SETCURSEL,
                        static_cast<WPARAM>(LowestKind(go.bg.flags)), 0);
    GFXOptionsSetBgControls(hDlg, go.bg);

    hbrColor[0] = CreateSolidBrush(go.bg.color[0]);
    hbrColor[1] = CreateSolidBrush(go.bg.color[1]);
    grayPen = CreatePen(PS_SOLID, 1, GRAY);

    bgi = nullptr;
    RedrawPreview(hDlg, bgi, go.bg);
    InitOFN(hDlg);
    LoadBlockSchemeNames(hDlg, go.bs);
    for (int id = IDC_BLOCK1; id <= IDC_BLOCK7; id++) {
        for (int j = 0; j < nblocks; j++)
            SendDlgItemMessageA(hDlg, id, CB_ADDSTRING, 0, static_cast<LPARAM>(j));
    }
    ChangeBlockScheme(hDlg, go.bs);
    bsChanged = 0;
}

void OnKindChange(HWND hDlg)
{
    LRESULT i = SendDlgItemMessageA(hDlg, IDC_BGKIND, CB_GETCURSEL, 0, 0);
    if (i < 0 || i >= NUM_BG_OPTIONS)
        return;
    WORD bit = static_cast<WORD>(1u << i);
    if (go.bg.flags & bit)
        return; // the kind already in force
    go.bg.flags = bit;
    if (bit == BG_BUILTIN)
        lstrcpynA(go.bg.name, szNewBuiltinName, sizeof go.bg.name);
    else if (bit == BG_PATTERN)
        lstrcpynA(go.bg.name, szNewPatternName, sizeof go.bg.name);
    else if (bit == BG_FILE)
        go.bg.name[0] = '\0';
    GFXOptionsSetBgControls(hDlg, go.bg);
    RedrawPreview(hDlg, bgi, go.bg);
}

void OnColorButton(HWND hDlg, int which)
{
    GetColor(hDlg, go.bg.color[which]);
    HBRUSH brush = CreateSolidBrush(go.bg.color[which]);
    if (hbrColor[which])
        DeleteObject(hbrColor[which]);
    hbrColor[which] = brush;
    // The preview may keep its picture (a file kind without a file); the button
    // shows the new colour in any case.
    InvalidateRect(GetDlgItem(hDlg, IDC_COLOR1 + which), nullptr, TRUE);
    RedrawPreview(hDlg, bgi, go.bg);
}

void OnChooseFile(HWND hDlg)
{
    if (GetFileName(go.bg.name)) {
        SetDlgItemTextA(hDlg, IDC_FILENAME, go.bg.name);
        RedrawPreview(hDlg, bgi, go.bg);
    }
}

void OnSchemeChange(HWND hDlg)
{
    LRESULT i = SendDlgItemMessageA(hDlg, IDC_SCHEMELIST, CB_GETCURSEL, 0, 0);
    if (i < 0)
        return;
    char text[OPTION_NAME_LEN];
    LRESULT len = SendDlgItemMessageA(hDlg, IDC_SCHEMELIST, CB_GETLBTEXTLEN, i, 0);
    if (len < 0 || len >= static_cast<LRESULT>(sizeof text))
        return;
    SendDlgItemMessageA(hDlg, IDC_SCHEMELIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    lstrcpynA(go.bs.name, text, sizeof go.bs.name);
    LoadBlockScheme(go.bs.name, go.bs);
    ChangeBlockScheme(hDlg, go.bs);
    bsChanged = 0;
}

void OnOK(HWND hDlg)
{
    if (go.bg.flags & BG_FILE) {
        char file[OPTION_NAME_LEN];
        GetDlgItemTextA(hDlg, IDC_FILENAME, file, sizeof file);
        if (file[0] == '\0') {
            MbError("%s", szNeedFile);
            return;
        }
    }
    // Whatever the answer, the changed blocks go back with the rest: unsaved
    // they live for this run only.
    if (bsChanged && QuestionBox(hDlg, szSaveQuestion, MB_YESNO) == IDYES)
        SaveBlockScheme(hDlg, go.bs);
    *pgo = go;
    EndDialog(hDlg, IDOK);
}

void OnCommand(HWND hDlg, int id, int code)
{
    if (id >= IDC_BLOCK1 && id <= IDC_BLOCK7) {
        if (code == CBN_SELCHANGE) {
            LRESULT sel = SendDlgItemMessageA(hDlg, id, CB_GETCURSEL, 0, 0);
            if (sel >= 0) {
                go.bs.blocks[id - IDC_BLOCK1] = static_cast<DWORD>(sel);
                bsChanged = 1;
            }
        }
        return;
    }
    switch (id) {
    case IDC_BGKIND:
        if (code == CBN_SELCHANGE)
            OnKindChange(hDlg);
        break;
    case IDC_COLOR1:
    case IDC_COLOR2:
        if (code == BN_CLICKED)
            OnColorButton(hDlg, id - IDC_COLOR1);
        break;
    case IDC_BGDETAIL:
        if (code == CBN_SELCHANGE) {
            LRESULT sel = Detail(hDlg, CB_GETCURSEL, 0, 0);
            if (sel >= 0) {
                HandleBgCombo2(go.bg, static_cast<int>(sel));
                RedrawPreview(hDlg, bgi, go.bg);
            }
        }
        break;
    case IDC_CHOOSEFILE:
        if (code == BN_CLICKED)
            OnChooseFile(hDlg);
        break;
    case IDC_SCHEMELIST:
        if (code == CBN_SELCHANGE)
            OnSchemeChange(hDlg);
        break;
    case IDC_SAVESCHEME:
        if (code == BN_CLICKED && SaveBlockScheme(hDlg, go.bs))
            bsChanged = 0;
        break;
    case IDC_DELSCHEME:
        if (code == BN_CLICKED)
            DeleteBlockScheme(hDlg, go.bs);
        break;
    case IDOK:
        OnOK(hDlg);
        break;
    case IDCANCEL:
        EndDialog(hDlg, IDCANCEL);
        break;
    }
}

void DrawBlockItem(const DRAWITEMSTRUCT* dis)
{
    const RECT& rc = dis->rcItem;
    HBRUSH fill = (dis->itemState & ODS_SELECTED)
                      ? GetSysColorBrush(COLOR_HIGHLIGHT)
                      : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FillRect(dis->hDC, &rc, fill);
    // itemID is -1 for the empty selection field.
    if (static_cast<int>(dis->itemID) >= 0 && static_cast<int>(dis->itemID) < nblocks && blocks &&
        blocks[dis->itemID]) {
        int x = rc.left + (rc.right - rc.left) / 2 - BLOCK_HALF_WIDTH;
        blocks[dis->itemID]->Blit(dis->hDC, x, rc.top + BLOCK_TOP_GAP);
    }
}

void DrawColorButton(const DRAWITEMSTRUCT* dis, HBRUSH brush)
{
    HDC hdc = dis->hDC;
    const RECT& rc = dis->rcItem;
    HGDIOBJ oldBrush = SelectObject(hdc, brush);
    HGDIOBJ oldPen = GetCurrentObject(hdc, OBJ_PEN);
    Rectangle(hdc, rc.left, rc.top, rc.right, rc.bottom);
    if (dis->itemState & ODS_SELECTED) {
        SelectObject(hdc, grayPen);
        Rectangle(hdc, rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1);
    } else {
        SelectObject(hdc, GetStockObject(WHITE_PEN));
        MoveToEx(hdc, rc.left + 1, rc.top + 1, nullptr);
        LineTo(hdc, rc.right - 2, rc.top + 1);
        MoveToEx(hdc, rc.left + 1, rc.top + 1, nullptr);
        LineTo(hdc, rc.left + 1, rc.bottom - 1);
        if (dis->itemState & ODS_FOCUS) {
            SelectObject(hdc, GetStockObject(BLACK_PEN));
            MoveToEx(hdc, rc.left + 1, rc.bottom - 2, nullptr);
            LineTo(hdc, rc.right - 2, rc.bottom - 2);
            MoveToEx(hdc, rc.right - 2, rc.top + 1, nullptr);
            LineTo(hdc, rc.right - 2, rc.bottom - 1);
        }
    }
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
}

void OnDrawItem(const DRAWITEMSTRUCT* dis)
{
    if (dis->CtlType == ODT_COMBOBOX) {
        DrawBlockItem(dis);
    } else if (dis->CtlID == IDC_COLOR1 || dis->CtlID == IDC_COLOR2) {
        HBRUSH brush = hbrColor[dis->CtlID - IDC_COLOR1];
        if (brush)
            DrawColorButton(dis, brush);
    } else if (dis->CtlID == IDC_PREVIEW && bgi) {
        const RECT& rc = dis->rcItem;
        bgi->StretchBlit(dis->hDC, rc.left, rc.top, rc.right, rc.bottom);
    }
}

} // namespace

void GraphicsOptions(HINSTANCE hDllIn, HWND owner, GFXOPTIONSDATA* god)
{
    hDll = hDllIn;
    HINSTANCE inst = owner ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE))
                           : GetModuleHandleA(nullptr);
    DialogBoxParamA(inst, "GraphicsOptions", owner, GraphicsOptionsDlgProc,
                    reinterpret_cast<LPARAM>(god));
}

void GraphicsOptionsCommand(HWND hwndMain, StakkaGrid* grid)
{
    if (!grid)
        return;
    GFXOPTIONSDATA god;
    grid->SetupGfxOptionData(god);
    GraphicsOptions(hinstDll, hwndMain, &god);
    grid->UpdateGfxOptions();
}

INT_PTR CALLBACK GraphicsOptionsDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(hDlg, reinterpret_cast<const GFXOPTIONSDATA*>(lParam));
        return TRUE; // the focus starts on the kind list

    case WM_MEASUREITEM: {
        // Sent while the pickers are created, before WM_INITDIALOG.
        MEASUREITEMSTRUCT* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (mis->CtlType != ODT_COMBOBOX)
            return FALSE;
        mis->itemHeight = PICKER_ITEM_HEIGHT;
        return TRUE;
    }

    case WM_DRAWITEM:
        OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;

    case WM_COMMAND:
        OnCommand(hDlg, LOWORD(wParam), HIWORD(wParam));
        return TRUE;

    case WM_DESTROY:
        // However the dialog ends, what it made goes with it.
        ReleaseDrawing();
        return FALSE;
    }
    return FALSE;
}

void GFXOptionsSetBgControls(HWND hDlg, BACKGROUND bg)
{
    // Keep it terminated whatever the caller's copy held.
    bg.name[sizeof bg.name - 1] = '\0';
    if (bg.flags == BG_BUILTIN) {
        ShowItem(hDlg, IDC_BGDETAIL, 1);
        FillDetail(hDlg, backgroundNames, NUM_BACKGROUND_NAMES, bg.name);
        ShowItem(hDlg, IDC_FILENAME, 0);
        ShowItem(hDlg, IDC_CHOOSEFILE, 0);
    } else if (IsFileKind(bg.flags)) {
        ShowItem(hDlg, IDC_BGDETAIL, 1);
        FillDetail(hDlg, fromfileOptions, NUM_FROMFILE_OPTIONS, nullptr);
        int placement = 0;
        if (bg.flags & BG_CENTER)
            placement = 1;
        else if (bg.flags & BG_TILE)
            placement = 2;
        else if (bg.flags & BG_STRETCH)
            placement = 3;
        Detail(hDlg, CB_SETCURSEL, placement, 0);
        ShowItem(hDlg, IDC_FILENAME, 1);
        ShowItem(hDlg, IDC_CHOOSEFILE, 1);
        SetDlgItemTextA(hDlg, IDC_FILENAME, bg.name);
    } else if (bg.flags == BG_SOLID || bg.flags == BG_GRADIENT) {
        ShowItem(hDlg, IDC_BGDETAIL, 0);
        ShowItem(hDlg, IDC_FILENAME, 0);
        ShowItem(hDlg, IDC_CHOOSEFILE, 0);
    } else if (bg.flags == BG_PATTERN) {
        ShowItem(hDlg, IDC_BGDETAIL, 1);
        FillDetail(hDlg, tileNames, NUM_TILE_NAMES, bg.name);
        ShowItem(hDlg, IDC_FILENAME, 0);
        ShowItem(hDlg, IDC_CHOOSEFILE, 0);
    }
}

void HandleBgCombo2(BACKGROUND& bg, int index)
{
    if (bg.flags == BG_BUILTIN) {
        if (index >= 0 && index < NUM_BACKGROUND_NAMES)
            lstrcpynA(bg.name, backgroundNames[index], sizeof bg.name);
    } else if (IsFileKind(bg.flags)) {
        if (index < 0 || index >= NUM_FROMFILE_OPTIONS)
            return;
        bg.flags = BG_FILE;
        if (index > 0)
            bg.flags |= static_cast<WORD>(BG_CENTER << (index - 1));
    } else if (bg.flags == BG_PATTERN) {
        if (index >= 0 && index < NUM_TILE_NAMES)
            lstrcpynA(bg.name, tileNames[index], sizeof bg.name);
    }
}

void GetColor(HWND hDlg, COLORREF& color)
{
    // Fresh custom colours every time: they are not remembered between uses.
    COLORREF custom[NUM_CUSTOM_COLORS];
    for (COLORREF& c : custom)
        c = RGB(255, 255, 255);
    CHOOSECOLORA cc = {};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = hDlg;
    cc.rgbResult = color;
    cc.lpCustColors = custom;
    cc.Flags = CC_FULLOPEN | CC_RGBINIT;
    if (RunColorChooser(&cc))
        color = cc.rgbResult;
}

void InitOFN(HWND hDlg)
{
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hDlg;
    ofn.lpstrFilter = szFileFilter;
    ofn.lpstrCustomFilter = nullptr;
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = nullptr; // GetFileName lends its buffer for each run
    ofn.nMaxFile = OPTION_NAME_LEN;
    ofn.lpstrFileTitle = nullptr;
    ofn.lpstrInitialDir = nullptr;
    ofn.lpstrTitle = szFileTitle;
    ofn.lpstrDefExt = szFileExt;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
}

const char* FileChooserErrorText(DWORD code)
{
    for (const FILEERROR& e : fileErrors) {
        if (e.code == code)
            return e.text;
    }
    return szFileErrorOther;
}

int GetFileName(char* dest)
{
    char file[OPTION_NAME_LEN] = "";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    BOOL chosen = RunFileChooser(&ofn);
    ofn.lpstrFile = nullptr;
    if (!chosen) {
        MbError("%s", FileChooserErrorText(FileChooserError()));
        return 0;
    }
    file[sizeof file - 1] = '\0';
    lstrcpynA(dest, file, OPTION_NAME_LEN);
    return 1;
}

void RedrawPreview(HWND hDlg, BackgroundImage*& bgi, BACKGROUND& bg)
{
    // The error box a build may show belongs to the main window, so the
    // dialog stays usable under it: its repaints and changes come back here.
    static REBUILD rebuild;
    if ((bg.flags & BG_FILE) && bg.name[0] == '\0')
        return;
    RebuildBackground(rebuild, bgi, hDlg, hDll, bg);
    InvalidateRect(hDlg, nullptr, TRUE);
}
