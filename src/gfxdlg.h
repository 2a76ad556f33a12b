// gfxdlg.h - the graphics options dialog ("GraphicsOptions").
//
// The dialog edits a copy of the live graphics options (background, block
// scheme) with a live preview and writes the copy back only on OK. Block
// schemes saved or deleted while it is open stay so (schemes.h). Everything it
// draws with (colour brushes, the grey pen, the preview picture) it makes and
// releases itself; the block pictures are lent by the playfield.
#ifndef GFXDLG_H
#define GFXDLG_H

#include <windows.h>
#include <commdlg.h>

#include "options.h"

struct GFXOPTIONSDATA;
class BackgroundImage;
class StakkaGrid;

const int PICKER_ITEM_HEIGHT = 20; // rows of the block pickers, in pixels

// The file chooser's description, prepared by InitOFN.
extern OPENFILENAMEA ofn;

// Runs the dialog modally over owner. hDll is the graphics library the preview
// pictures are built from. The template comes from owner's module.
void GraphicsOptions(HINSTANCE hDll, HWND owner, GFXOPTIONSDATA* god);

// The main window's Options > Graphics: lends the playfield's options and block
// pictures to the dialog, runs it over hwndMain with the graphics library
// hinstDll, then has the playfield rebuild its background from the live
// record, whether the dialog ended with OK or Cancel. Nothing while grid is null.
void GraphicsOptionsCommand(HWND hwndMain, StakkaGrid* grid);

INT_PTR CALLBACK GraphicsOptionsDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Shows, hides and fills the detail list and the file controls for bg.
void GFXOptionsSetBgControls(HWND hDlg, BACKGROUND bg);

// Applies entry index of the detail list to bg.
void HandleBgCombo2(BACKGROUND& bg, int index);

// Lets the user pick a colour, starting from color; Cancel keeps it.
void GetColor(HWND hDlg, COLORREF& color);

// Prepares ofn for the dialog hDlg.
void InitOFN(HWND hDlg);

// Lets the user pick a bitmap file. Returns 1 with the full path in dest
// (OPTION_NAME_LEN characters), or 0 after reporting why not; dest is then
// unchanged.
int GetFileName(char* dest);

// The message GetFileName reports for a file chooser's extended error code.
const char* FileChooserErrorText(DWORD code);

// Rebuilds the preview picture for bg and repaints the dialog. A file
// background without a file keeps the previous picture. The previous picture
// is released only once the new one is built; a call made meanwhile (from the
// modal loop of an error box the build shows) is built right after it.
void RedrawPreview(HWND hDlg, BackgroundImage*& bgi, BACKGROUND& bg);

#endif // GFXDLG_H
