// schemes.cpp - listing, saving and deleting block schemes from the graphics dialog.
#include "schemes.h"

#include <cstdio>
#include <cstring>

#include "STAKKA.h"
#include "dlgids.h"
#include "dlgseams.h"

namespace
{

const ATOM NAME_BUFFER_PROP = 1000; // the name dialog keeps the caller's buffer here
const int QUESTION_LEN = 256;

const char szReplaceQuestion[] = "Block Scheme \"%s\" already exists, replace?";
const char szDeleteQuestion[] = "Delete the block scheme \"%s\"?";
const char szLastScheme[] = "The block scheme \"%s\" is the only one left; it cannot be deleted.";
const char szNotListed[] = "The block scheme \"%s\" is not in the list; choose a scheme to delete.";

LRESULT SchemeList(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageA(hDlg, IDC_SCHEMELIST, msg, wParam, lParam);
}

// Entry text into a buffer of cb characters; empty when it would not fit.
void SchemeEntryText(HWND hDlg, int index, char* text, int cb)
{
    text[0] = '\0';
    LRESULT len = SchemeList(hDlg, CB_GETLBTEXTLEN, index, 0);
    if (len == CB_ERR || len >= cb)
        return;
    if (SchemeList(hDlg, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text)) == CB_ERR)
        text[0] = '\0';
}

struct NameListing {
    HWND hDlg;
    const char* current;
    int selected;
};

void AddSchemeName(const char* name, void* ctx)
{
    NameListing* listing = static_cast<NameListing*>(ctx);
    // Neither the unnamed value nor a name longer than BLOCKSCHEME.name holds can
    // ever be the current scheme.
    if (name[0] == '\0' || strlen(name) >= static_cast<size_t>(SCHEME_NAME_LEN))
        return;
    LRESULT index = SchemeList(listing->hDlg, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    if (index >= 0 && listing->selected < 0 && strcmp(name, listing->current) == 0)
        listing->selected = static_cast<int>(index);
}

// Shows the name dialog; 1 with a non-empty name, 0 when the user gave none.
int AskSchemeName(HWND hDlg, char (&name)[SCHEME_INPUT_LEN])
{
    name[0] = '\0';
    HINSTANCE inst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hDlg, GWLP_HINSTANCE));
    INT_PTR result =
        DialogBoxParamA(inst, "GetSchemeName", hDlg, GetSchemeProc, reinterpret_cast<LPARAM>(name));
    return result == 1 && name[0] != '\0';
}

} // namespace

int FindSchemeEntry(HWND hDlg, const char* name)
{
    // CB_FINDSTRINGEXACT folds letter case; scheme names do not.
    char text[OPTION_NAME_LEN];
    int count = static_cast<int>(SchemeList(hDlg, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; i++) {
        SchemeEntryText(hDlg, i, text, sizeof text);
        if (strcmp(text, name) == 0)
            return i;
    }
    return -1;
}

int SaveBlockScheme(HWND hDlg, BLOCKSCHEME& bs)
{
    char name[SCHEME_INPUT_LEN];
    char stored[OPTION_NAME_LEN];
    int replacing;
    for (;;) {
        if (!AskSchemeName(hDlg, name))
            return 0;
        lstrcpynA(bs.name, name, sizeof bs.name);
        stored[0] = '\0';
        replacing = FindBlockSchemeTwin(bs.name, stored, sizeof stored);
        if (!replacing)
            break;
        char question[QUESTION_LEN];
        snprintf(question, sizeof question, szReplaceQuestion, bs.name);
        int answer = QuestionBox(hDlg, question, MB_YESNOCANCEL);
        if (answer == IDYES)
            break;
        if (answer != IDNO)
            return 0;
    }

    if (!WriteBlockScheme(bs.name, bs))
        return 0;

    int index = replacing ? FindSchemeEntry(hDlg, stored) : -1;
    if (index >= 0 && strcmp(stored, bs.name) != 0) {
        // A store that folds letter case kept the new spelling: so does the list.
        SchemeList(hDlg, CB_DELETESTRING, index, 0);
        index = static_cast<int>(
            SchemeList(hDlg, CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(bs.name)));
    }
    if (index < 0)
        index =
            static_cast<int>(SchemeList(hDlg, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(bs.name)));
    SchemeList(hDlg, CB_SETCURSEL, index, 0);
    return 1;
}

void DeleteBlockScheme(HWND hDlg, BLOCKSCHEME& bs)
{
    int index = FindSchemeEntry(hDlg, bs.name);
    if (index < 0) {
        MbError(szNotListed, bs.name);
        return;
    }
    if (SchemeList(hDlg, CB_GETCOUNT, 0, 0) <= 1) {
        MbError(szLastScheme, bs.name);
        return;
    }

    char question[QUESTION_LEN];
    snprintf(question, sizeof question, szDeleteQuestion, bs.name);
    if (QuestionBox(hDlg, question, MB_YESNO) != IDYES)
        return;

    RemoveBlockScheme(bs.name);
    SchemeList(hDlg, CB_DELETESTRING, index, 0);
    int current = index > 0 ? index - 1 : 0;
    SchemeList(hDlg, CB_SETCURSEL, current, 0);

    char text[OPTION_NAME_LEN];
    SchemeEntryText(hDlg, current, text, sizeof text);
    lstrcpynA(bs.name, text, sizeof bs.name);
    LoadBlockScheme(bs.name, bs);
    ChangeBlockScheme(hDlg, bs);
}

void LoadBlockSchemeNames(HWND hDlg, BLOCKSCHEME& bs)
{
    SchemeList(hDlg, CB_RESETCONTENT, 0, 0);
    NameListing listing = {hDlg, bs.name, -1};
    ListBlockSchemes(AddSchemeName, &listing);
    SchemeList(hDlg, CB_SETCURSEL, listing.selected, 0);
}

void ChangeBlockScheme(HWND hDlg, BLOCKSCHEME& bs)
{
    for (int i = 0; i < NUM_SCHEME_BLOCKS; i++) {
        int id = IDC_BLOCK1 + i;
        LRESULT count = SendDlgItemMessageA(hDlg, id, CB_GETCOUNT, 0, 0);
        WPARAM sel =
            bs.blocks[i] < static_cast<DWORD>(count) ? bs.blocks[i] : static_cast<WPARAM>(-1);
        SendDlgItemMessageA(hDlg, id, CB_SETCURSEL, sel, 0);
    }
}

INT_PTR CALLBACK GetSchemeProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetPropA(hDlg, MAKEINTATOM(NAME_BUFFER_PROP), reinterpret_cast<HANDLE>(lParam));
        // A scheme name is at most 15 characters (BLOCKSCHEME.name).
        SendDlgItemMessageA(hDlg, IDC_SCHEMENAME, EM_LIMITTEXT, SCHEME_NAME_LEN - 1, 0);
        SetFocus(GetDlgItem(hDlg, IDC_SCHEMENAME));
        return FALSE; // the focus is set

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            char text[SCHEME_INPUT_LEN];
            GetDlgItemTextA(hDlg, IDC_SCHEMENAME, text, sizeof text);
            if (text[0] == '\0')
                return TRUE;
            char* name = static_cast<char*>(GetPropA(hDlg, MAKEINTATOM(NAME_BUFFER_PROP)));
            if (name)
                lstrcpynA(name, text, SCHEME_INPUT_LEN);
            EndDialog(hDlg, 1);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(hDlg, 0);
            return TRUE;
        }
        return FALSE;

    case WM_DESTROY:
        RemovePropA(hDlg, MAKEINTATOM(NAME_BUFFER_PROP));
        return FALSE;
    }
    return FALSE;
}
