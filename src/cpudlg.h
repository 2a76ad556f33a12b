// cpudlg.h - the "Multi Player" dialog: which computer opponent to play.
#ifndef CPUDLG_H
#define CPUDLG_H

#include <windows.h>

// Shows the dialog with *strength selected (Normal when it is no strength).
// OK writes the choice to *strength and returns 1; Cancel returns 0 and
// leaves *strength as it was.
int MultiPlayerDialog(HWND owner, int* strength);

INT_PTR CALLBACK MultiPlayerDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

#endif // CPUDLG_H
