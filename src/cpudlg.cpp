// cpudlg.cpp - the "Multi Player" dialog. It edits a copy of the strength;
// the caller's value changes only on OK.
#include "cpudlg.h"

#include "STAKKA.h"
#include "dlgids.h"
#include "stkdefs.h"

INT_PTR CALLBACK MultiPlayerDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    int* chosen = (int*)GetWindowLongPtrA(hDlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG: {
        chosen = (int*)lParam;
        SetWindowLongPtrA(hDlg, DWLP_USER, (LONG_PTR)chosen);
        int s = *chosen;
        if (s < 0 || s >= NUM_STRENGTHS)
            s = STRENGTH_NORMAL;
        CheckRadioButton(hDlg, IDC_STRENGTH_EASY, IDC_STRENGTH_HARD, IDC_STRENGTH_EASY + s);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && chosen) {
            for (int s = 0; s < NUM_STRENGTHS; s++)
                if (IsDlgButtonChecked(hDlg, IDC_STRENGTH_EASY + s) == BST_CHECKED)
                    *chosen = s;
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int MultiPlayerDialog(HWND owner, int* strength)
{
    int copy = *strength;
    if (DialogBoxParamA(hinst, "MultiPlayer", owner, MultiPlayerDlgProc, (LPARAM)&copy) != IDOK)
        return 0;
    *strength = copy;
    return 1;
}
