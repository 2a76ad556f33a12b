// dlgids.h - control identifiers of the three option dialogs.
//
// Shared by res/dialogs.rc and the dialog procedures, so it holds plain
// #defines only (the resource compiler reads it too).
#ifndef DLGIDS_H
#define DLGIDS_H

// ---- "GraphicsOptions" --------------------------------------------------
#define IDC_BGGROUP 101    // group box "Background"
#define IDC_BLOCKGROUP 102 // group box "Blocks"
#define IDC_SCHEMELIST 103 // scheme list (drop-down, unsorted)
#define IDC_BGKIND 104     // kind list: the five szBgOptions
#define IDC_BLOCK1 105     // block pickers 105..111 for colour indices 0..6
#define IDC_BLOCK7 111
#define IDC_SKINGROUP 112 // group box "Skin"
#define IDC_COLOR1 113    // owner-drawn colour buttons
#define IDC_COLOR2 114
#define IDC_COLOR1LABEL 115
#define IDC_COLOR2LABEL 116
#define IDC_BGDETAIL 117   // detail list: pictures, patterns or placements
#define IDC_FILENAME 118   // read-only file name field
#define IDC_CHOOSEFILE 119 // "Choose File"
#define IDC_SAVESCHEME 120 // "Save"
#define IDC_PREVIEW 121    // owner-drawn static showing the background
#define IDC_DELSCHEME 122  // "Delete"

// ---- "GetSchemeName" ----------------------------------------------------
#define IDC_SCHEMENAME 101 // one-line edit field

// ---- "ControlOptions" ---------------------------------------------------
#define IDC_KEYLABEL1 100 // labels 100..104 for actions 0..4
#define IDC_KEYFIELD1 105 // read-only key fields 105..109 for actions 0..4
#define IDC_KEYFIELD5 109

// ---- "ChooseKey" popup --------------------------------------------------
#define IDC_CHOOSEKEYMSG 1000 // the prompt text

// ---- "StartServer" and "Connect" ----------------------------------------
#define IDC_NETPORT 101    // the port to listen on
#define IDC_NETADDRESS 101 // "host", "host:port" or "[v6]:port"

// ---- "MultiPlayer": the computer opponent's strength ---------------------
#define IDC_STRENGTH_EASY 101 // radio buttons 101..103 for STRENGTH_EASY..STRENGTH_HARD
#define IDC_STRENGTH_NORMAL 102
#define IDC_STRENGTH_HARD 103

#endif // DLGIDS_H
