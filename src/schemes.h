// schemes.h - the block scheme controls of the graphics options dialog.
//
// These work on the dialog's scheme list (IDC_SCHEMELIST), its seven block
// pickers (IDC_BLOCK1..IDC_BLOCK7) and the store of options.h. Saving and
// deleting change the store at once, whatever the dialog's outcome.
#ifndef SCHEMES_H
#define SCHEMES_H

#include <windows.h>
#include "options.h"

// Size of the name dialog's buffer: it reads at most SCHEME_INPUT_LEN - 1
// characters, although its edit field takes only SCHEME_NAME_LEN - 1.
const int SCHEME_INPUT_LEN = 128;

// Asks for a name ("GetSchemeName", owned by hDlg) and stores bs.blocks under it,
// asking before a stored scheme is replaced. bs.name takes the typed name (cut
// to 15 characters) before that question. The list then shows the name selected.
// Returns 1 when a scheme was written, 0 otherwise.
int SaveBlockScheme(HWND hDlg, BLOCKSCHEME& bs);

// After confirmation deletes the scheme bs.name and makes its neighbour in the
// list current (the entry above it, or the new first entry), in bs and in the
// pickers. The last remaining scheme, or a name the list does not hold, is not
// deleted: the user is told and nothing changes.
void DeleteBlockScheme(HWND hDlg, BLOCKSCHEME& bs);

// Fills the scheme list with the stored names in store order and selects
// bs.name (exact match); no entry is selected when none matches. Stored names
// longer than 15 characters are not listed: no scheme of that name can be current.
void LoadBlockSchemeNames(HWND hDlg, BLOCKSCHEME& bs);

// Selects entry bs.blocks[i] of picker i; a number past the picker's entries
// leaves that picker without a selection.
void ChangeBlockScheme(HWND hDlg, BLOCKSCHEME& bs);

// The name dialog. Its creation parameter is a SCHEME_INPUT_LEN-char buffer that
// OK fills (when the field is not empty) and Cancel leaves alone.
INT_PTR CALLBACK GetSchemeProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Index of the scheme list entry whose text is exactly name (letter case
// counts), or -1.
int FindSchemeEntry(HWND hDlg, const char* name);

#endif // SCHEMES_H
