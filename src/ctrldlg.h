// ctrldlg.h - the controls dialog ("ControlOptions") and the key chooser.
//
// ControlOptions edits a copy of the five key bindings and writes it back only
// on OK. A click in a key field opens the key chooser, a popup of the window
// class "ChooseKey" that takes the focus, waits for one key of keylist and
// reports it to the dialog (WM_KEYDOWN, sent) before it closes; its closing is
// posted to the dialog as WM_CHOOSEKEYDONE. The shell registers the class at
// start-up with RegisterChooseKeyClass.
#ifndef CTRLDLG_H
#define CTRLDLG_H

#include <windows.h>
#include "options.h"

const int KEYNAME_LEN = 20; // KEYLIST.name, terminator included
const int NUM_KEYLIST = 58; // rows of keylist

struct KEYLIST {
    int key; // Windows virtual-key code
    char name[KEYNAME_LEN];
};

// The bindable keys, in the order the dialog searches them.
extern const KEYLIST keylist[NUM_KEYLIST];

extern const char szChooseKeyClass[]; // "ChooseKey"
extern const char szMsg[];            // the chooser's prompt

// Index of the first row of keylist whose code is key, or -1.
int keyIndex(int key);

// The text a key field shows for a stored code: the keylist name, or for a code
// outside the table a readable substitute ("No key" for 0, "Key code N" otherwise).
// Always terminated; cut to cb - 1 characters.
void KeyFieldText(int key, char* text, int cb);

// Runs the dialog modally, owned by owner. After OK *pco holds the new bindings;
// after Cancel it is unchanged.
void ControlOptions(HINSTANCE hInstance, HWND owner, CONTROLOPTIONS* pco);

INT_PTR CALLBACK ControlOptionsDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ChooseKeyWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Registers "ChooseKey" (class style 0, arrow cursor, button-face background).
// Returns the class atom, 0 on failure.
ATOM RegisterChooseKeyClass(HINSTANCE hInstance);

#endif // CTRLDLG_H
