// ctrldlg.cpp - the controls dialog and its key chooser.
#include "ctrldlg.h"

#include <cstdio>

#include "dlgids.h"
#include "stkdefs.h"

const KEYLIST keylist[NUM_KEYLIST] = {
    {8, "Backspace"},   {9, "Tab"},         {12, "Clear"},     {13, "Return"},
    {16, "Shift"},      {17, "Control"},    {18, "Menu"},      {20, "Caps Lock"},
    {32, "Space"},      {33, "Page Up"},    {34, "Page Down"}, {35, "End"},
    {36, "Home"},       {37, "Left arrow"}, {38, "Up arrow"},  {39, "Right arrow"},
    {40, "Down arrow"}, {41, "Select"},     {42, "Print"},     {43, "Execute"},
    {45, "Insert"},     {46, "Delete"},     {'A', "A"},        {'B', "B"},
    {'C', "C"},         {'D', "D"},         {'E', "E"},        {'F', "F"},
    {'G', "G"},         {'H', "H"},         {'I', "I"},        {'J', "J"},
    {'K', "K"},         {'L', "L"},         {'M', "M"},        {'N', "N"},
    {'O', "O"},         {'P', "P"},         {'Q', "Q"},        {'R', "R"},
    {'S', "S"},         {'T', "T"},         {'U', "U"},        {'V', "V"},
    {'W', "W"},         {'X', "X"},         {'Y', "Y"},        {'Z', "Z"},
    {'0', "0"},         {'1', "1"},         {'2', "2"},        {'3', "3"},
    {'4', "4"},         {'5', "5"},         {'6', "6"},        {'7', "7"},
    {'8', "8"},         {'9', "9"},
};

const char szChooseKeyClass[] = "ChooseKey";
const char szMsg[] =
    "Press the key you want to use for this function now, or press Escape to cancel.";

namespace
{

const char szChooseKeyTitle[] = "Choose Key";
const int CHOOSER_SIZE = 300;    // the chooser is a 300 x 300 pixel square
const int CHOOSER_MARGIN = 10;   // the prompt sits this far inside it
const char szNoKey[] = "No key"; // shown for a binding of 0

int KeyFieldId(int action)
{
    return IDC_KEYFIELD1 + action;
}

void ShowKey(HWND hDlg, int id, int key)
{
    char text[KEYNAME_LEN + 16];
    KeyFieldText(key, text, sizeof text);
    SetDlgItemTextA(hDlg, id, text);
}

HWND OpenChooser(HWND hDlg)
{
    // The chooser belongs to the dialog's owner, not to the dialog: the dialog's
    // modal loop must not see the keys it waits for (Return, Tab, Escape).
    int x = GetSystemMetrics(SM_CXSCREEN) / 2 - CHOOSER_SIZE / 2;
    int y = GetSystemMetrics(SM_CYSCREEN) / 2 - CHOOSER_SIZE / 2;
    HINSTANCE inst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hDlg, GWLP_HINSTANCE));
    return CreateWindowExA(0, szChooseKeyClass, szChooseKeyTitle, WS_POPUP | WS_VISIBLE | WS_BORDER,
                           x, y, CHOOSER_SIZE, CHOOSER_SIZE, GetWindow(hDlg, GW_OWNER), nullptr,
                           inst, hDlg);
}

} // namespace

int keyIndex(int key)
{
    for (int i = 0; i < NUM_KEYLIST; i++) {
        if (keylist[i].key == key)
            return i;
    }
    return -1;
}

void KeyFieldText(int key, char* text, int cb)
{
    if (cb <= 0)
        return;
    int row = keyIndex(key);
    if (row >= 0)
        lstrcpynA(text, keylist[row].name, cb);
    else if (key == 0)
        lstrcpynA(text, szNoKey, cb);
    else
        snprintf(text, cb, "Key code %d", key);
}

void ControlOptions(HINSTANCE hInstance, HWND owner, CONTROLOPTIONS* pco)
{
    DialogBoxParamA(hInstance, "ControlOptions", owner, ControlOptionsDlgProc,
                    reinterpret_cast<LPARAM>(pco));
}

INT_PTR CALLBACK ControlOptionsDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static CONTROLOPTIONS* pco;
    static CONTROLOPTIONS co;
    static int keychange; // key field whose chooser is open, 0 while none is

    switch (msg) {
    case WM_INITDIALOG:
        pco = reinterpret_cast<CONTROLOPTIONS*>(lParam);
        co = *pco;
        for (int i = 0; i < NUM_CONTROLS; i++) {
            SetDlgItemTextA(hDlg, IDC_KEYLABEL1 + i, szControls[i]);
            ShowKey(hDlg, KeyFieldId(i), co.keys[i]);
        }
        keychange = 0;
        return TRUE;

    case WM_KEYDOWN: {
        // Sent by the chooser; anything else that arrives here is not a choice.
        int key = static_cast<int>(wParam);
        if (keychange == 0 || key == 0 || keyIndex(key) < 0)
            return TRUE;
        ShowKey(hDlg, keychange, key);
        co.keys[keychange - IDC_KEYFIELD1] = key;
        return TRUE;
    }

    case WM_CHOOSEKEYDONE:
        keychange = 0;
        // Moving the focus off the key field lets the next click there open a chooser.
        SendMessageA(hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hDlg, IDOK)), TRUE);
        return TRUE;

    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id >= IDC_KEYFIELD1 && id <= IDC_KEYFIELD5) {
            if (HIWORD(wParam) == EN_SETFOCUS && keychange == 0) {
                keychange = id;
                // Without a chooser no WM_CHOOSEKEYDONE would ever come: stay usable.
                if (!OpenChooser(hDlg))
                    keychange = 0;
            }
            return TRUE;
        }
        if (id == IDOK) {
            *pco = co;
            EndDialog(hDlg, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(hDlg, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

LRESULT CALLBACK ChooseKeyWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The dialog a chooser reports to is kept with the window itself, so a chooser
    // left over from a closed dialog can never report into a later one.
    HWND hwndDlg = reinterpret_cast<HWND>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    HWND hwndParent = GetWindow(hwnd, GW_OWNER);

    switch (msg) {
    case WM_CREATE: {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        HWND hwndStatic =
            CreateWindowExA(0, "static", "", WS_CHILD | WS_VISIBLE, CHOOSER_MARGIN, CHOOSER_MARGIN,
                            CHOOSER_SIZE - 2 * CHOOSER_MARGIN, CHOOSER_SIZE - 2 * CHOOSER_MARGIN,
                            hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_CHOOSEKEYMSG)),
                            cs->hInstance, nullptr);
        SetWindowTextA(hwndStatic, szMsg);
        SetFocus(hwnd);
        return 0;
    }

    case WM_KILLFOCUS: {
        // Clicks on the main window or the dialog's frame must not strand the
        // chooser; a control of the dialog (OK, Cancel, a key field) may take it.
        // A chooser on its way out (hidden first by DestroyWindow) lets go.
        HWND to = reinterpret_cast<HWND>(wParam);
        if (to && (to == hwndParent || to == hwndDlg) && IsWindowVisible(hwnd))
            SetFocus(hwnd);
        return 0;
    }

    case WM_KEYDOWN: {
        int key = static_cast<int>(wParam);
        if (key == VK_ESCAPE) {
            DestroyWindow(hwnd);
        } else if (keyIndex(key) >= 0) {
            // Sent, not posted: the dialog has taken the key before the chooser goes.
            if (hwndDlg && IsWindow(hwndDlg))
                SendMessageA(hwndDlg, WM_KEYDOWN, wParam, 0);
            DestroyWindow(hwnd);
        }
        return 0;
    }

    case WM_DESTROY:
        if (hwndDlg && IsWindow(hwndDlg))
            PostMessageA(hwndDlg, WM_CHOOSEKEYDONE, 0, 0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

ATOM RegisterChooseKeyClass(HINSTANCE hInstance)
{
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = ChooseKeyWndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = szChooseKeyClass;
    return RegisterClassA(&wc);
}
