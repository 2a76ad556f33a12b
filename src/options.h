// options.h - the user's options, their defaults and their place in the store.
//
// The shell owns one OPTIONS record for the whole run: LoadOptions fills it once
// at start-up (before the main window exists), SaveOptions writes it back once at
// the end. Block schemes are the exception: they are written and deleted in the
// store at once, through the scheme functions at the end of this header.
#ifndef OPTIONS_H
#define OPTIONS_H

#include <windows.h>

class Store;

// Sizes of the fixed character arrays, terminator included.
const int SCHEME_NAME_LEN = 16;  // BLOCKSCHEME.name: at most 15 characters
const int OPTION_NAME_LEN = 256; // names, paths, every stored text
const int REGKEY_LEN = 128;      // szRegKey

const int NUM_CONTROLS = 5;
const int NUM_SCHEME_BLOCKS = 7; // one block picture per piece colour
const int NUM_DEFAULT_SCHEMES = 6;
const int NUM_BG_OPTIONS = 5;
const int NUM_BACKGROUND_NAMES = 4;
const int NUM_TILE_NAMES = 3;
const int NUM_FROMFILE_OPTIONS = 4;

// Bits of BACKGROUND.flags. One kind bit (BG_BUILTIN..BG_PATTERN); the placement
// bits only with BG_FILE, at most one (BG_FILE alone is the placement "Default").
const WORD BG_BUILTIN = 0x0001;
const WORD BG_FILE = 0x0002;
const WORD BG_SOLID = 0x0004;
const WORD BG_GRADIENT = 0x0008;
const WORD BG_PATTERN = 0x0010;
const WORD BG_CENTER = 0x0020;
const WORD BG_TILE = 0x0040;
const WORD BG_STRETCH = 0x0080;
const WORD BG_KIND_MASK = 0x001F;
const WORD BG_PLACEMENT_MASK = 0x00E0;

struct BACKGROUND {
    WORD flags;
    COLORREF color[2];          // [0] solid, gradient top, fill behind a file; [1] gradient bottom
    char name[OPTION_NAME_LEN]; // built-in name, tile name or bitmap file path
};

struct BLOCKSCHEME {
    char name[SCHEME_NAME_LEN];
    DWORD
        blocks[NUM_SCHEME_BLOCKS]; // block picture number per piece colour; not range-checked here
};

struct GRAPHICSOPTIONS {
    BACKGROUND bg;
    BLOCKSCHEME bs;
    int drawGrid;
    int preview;
};

struct CONTROLOPTIONS {
    int keys[NUM_CONTROLS]; // virtual-key codes in szControls order; 0 = unbound
};

struct SOUNDOPTIONS {
    int playMusic;
    char bgMusic[OPTION_NAME_LEN];
};

struct OPTIONS {
    POINT windowpos;
    GRAPHICSOPTIONS go;
    CONTROLOPTIONS co;
    SOUNDOPTIONS so;
    int strength; // the computer opponent: STRENGTH_EASY..STRENGTH_HARD (stkdefs.h)
};

// The computer opponent's strength under the version key: "0" Easy, "1" Normal,
// "2" Hard. A store without it gives Normal silently; any other text gives Normal
// and "Unable to load computer strength".
extern const char szStrengthValue[]; // "Computer Strength"
// 1 when text is exactly one of the stored strengths; sets *strength.
int ParseStrength(const char* text, int* strength);

// Constant tables.
extern const char szRegKeyNoVer[31];               // "Software\Kellmarvostian\Stakka"
extern const char szRegVersion[];                  // "1.1"
extern const char szKeyClass[];                    // class string of the keys we create
extern const char szBackgroundKey[];               // "Background"
extern const char szBlockSchemesKey[];             // "Block Schemes"
extern const char szControlsKey[];                 // "Controls"
extern const char* const szControls[NUM_CONTROLS]; // value names of the key bindings
extern const int defaultkeys[NUM_CONTROLS];        // left, right, up, Control, down
extern const BACKGROUND defaultBackground;
extern const BLOCKSCHEME defaultBlockSchemes[NUM_DEFAULT_SCHEMES];
extern const char defaultMusic[];                     // "beyond.mod"
extern const char* const szBgOptions[NUM_BG_OPTIONS]; // kind bit of entry i is 1 << i
extern const char* const backgroundNames[NUM_BACKGROUND_NAMES];
extern const char* const tileNames[NUM_TILE_NAMES];
extern const char* const fromfileOptions[NUM_FROMFILE_OPTIONS]; // entry j>0: BG_CENTER << (j-1)

// The application key path, relative to the store's root (HKEY_CURRENT_USER).
// LoadOptions fills it first; every other function here addresses the store through it.
extern char szRegKey[REGKEY_LEN];

// Fills op from the store. The record is first set to every default (without
// writing the store), so a value that cannot be read leaves its default. On the
// first run the store is created with defaults and nothing is read. When the
// application key can be neither opened nor created, reports "Could not create
// registry entry" and ends the process with exit code 8 (through the exit seam below).
void LoadOptions(OPTIONS& op);

// Writes the stored fields of op (not the block schemes). Failures are silent.
void SaveOptions(const OPTIONS& op);

// Sets the default of every stored field of op and writes the six default schemes.
// op.so is not touched.
void SetupDefaults(OPTIONS& op);
void SetDefaultBackground(BACKGROUND& bg);
void SetDefaultBlockSchemes(void);
void SetDefaultControls(CONTROLOPTIONS& co);

// Reads the stored scheme called name into bs.blocks (bs.name is not changed).
// Reports "Unable to load block scheme %s" and returns 0 when it cannot be read;
// bs.blocks then keep their values. Returns 1 when read.
int LoadBlockScheme(const char* name, BLOCKSCHEME& bs);

// ---- Stored block schemes (the graphics dialog's list, save and delete) ----
// Names are compared exactly, letter case included. A name is at most
// OPTION_NAME_LEN - 1 characters in the store; BLOCKSCHEME.name holds 15.

// The stored text of bs.blocks: seven "%d," without spaces. Returns its length,
// or -1 when it does not fit into cb characters (text is then empty).
int FormatBlockScheme(const BLOCKSCHEME& bs, char* text, int cb);
// Parses "%d,%d,%d,%d,%d,%d,%d" into bs.blocks, stopping at the first mismatch and
// leaving the later blocks as they were. Returns how many blocks were set.
int ParseBlockScheme(const char* text, BLOCKSCHEME& bs);

// Calls add once per stored scheme name, in the store's enumeration order (newly
// written names come last), stopping at the first name that cannot be returned.
// Returns the number of names given to add.
typedef void (*BLOCKSCHEMENAMEPROC)(const char* name, void* ctx);
int ListBlockSchemes(BLOCKSCHEMENAMEPROC add, void* ctx);

// 1 when a scheme of exactly this name is stored.
int BlockSchemeExists(const char* name);

// 1 when writing name would replace a stored scheme: one of exactly that name, or,
// on a store that folds letter case in value names (the Win32 registry does), one
// whose name differs only in case. Its stored name is copied into stored
// (bounded by cbStored) when stored is not null.
int FindBlockSchemeTwin(const char* name, char* stored, int cbStored);

// Writes bs.blocks as the scheme called name, creating or replacing it. On a
// case-folding store a twin differing only in case is replaced and the new
// spelling kept. Returns 1 when written; failures are otherwise silent.
int WriteBlockScheme(const char* name, const BLOCKSCHEME& bs);

// Deletes the stored scheme called name. Returns 1 when deleted.
int RemoveBlockScheme(const char* name);

// ---- Seams for tests and tools ----
// The store every function above works on; the default is the Win32 registry
// under HKEY_CURRENT_USER. Returns the previous store. Null restores the default.
Store* SetOptionsStore(Store* store);
Store* GetOptionsStore(void);

// What LoadOptions calls to end the process (default: exit). If it returns,
// LoadOptions returns at once. Null restores the default. Returns the previous one.
typedef void (*OPTIONSEXITPROC)(int code);
OPTIONSEXITPROC SetOptionsExitProc(OPTIONSEXITPROC proc);

const int EXIT_NO_REGISTRY = 8;

#endif
