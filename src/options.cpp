// options.cpp - defaults of the options, loading and saving them, stored block schemes.
#include "options.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "STAKKA.h"
#include "stkdefs.h"
#include "store.h"

const char szRegKeyNoVer[31] = "Software\\Kellmarvostian\\Stakka";
const char szRegVersion[] = "1.1";
const char szKeyClass[] = "Gay";
const char szBackgroundKey[] = "Background";
const char szBlockSchemesKey[] = "Block Schemes";
const char szControlsKey[] = "Controls";
const char szStrengthValue[] = "Computer Strength";

const char* const szControls[NUM_CONTROLS] = {"Move Left", "Move Right", "Rotate CW", "Rotate CCW",
                                              "Drop fast"};
const int defaultkeys[NUM_CONTROLS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};

const BACKGROUND defaultBackground = {BG_BUILTIN, {0x00FFFFFF, 0x00FFFFFF}, "Background"};

const BLOCKSCHEME defaultBlockSchemes[NUM_DEFAULT_SCHEMES] = {
    {"One", {0, 1, 2, 3, 4, 5, 6}},          {"Two", {7, 8, 9, 10, 11, 12, 13}},
    {"Three", {14, 15, 16, 17, 18, 19, 20}}, {"Four", {21, 22, 23, 24, 25, 26, 27}},
    {"Five", {28, 29, 30, 31, 32, 33, 34}},  {"Six", {35, 36, 37, 38, 39, 40, 41}},
};

const char defaultMusic[] = "beyond.mod";

const char* const szBgOptions[NUM_BG_OPTIONS] = {"Built in", "From file", "Solid Color", "Gradient",
                                                 "Pattern"};
const char* const backgroundNames[NUM_BACKGROUND_NAMES] = {"Background", "Skull", "Leet",
                                                           "Background2"};
const char* const tileNames[NUM_TILE_NAMES] = {"Blue", "Red", "Orange"};
const char* const fromfileOptions[NUM_FROMFILE_OPTIONS] = {"Default", "Center", "Tile", "Stretch"};

// Filled again by LoadOptions; set here as well so that a scheme function called
// before it (a test, a tool) still finds the right key.
char szRegKey[REGKEY_LEN] = "Software\\Kellmarvostian\\Stakka\\1.1";

namespace
{

// Value names of the layout.
const char szWindowValue[] = "Window";
const char szPreviewValue[] = "Preview";
const char szDrawGridValue[] = "DrawGrid";
const char szFlagsValue[] = "BackgroundFlags";
const char szColorsValue[] = "BackgroundColors";
const char szBgNameValue[] = "BackgroundName";
const char szSchemeValue[] = "Current Block Scheme";

const int DEFAULT_WINDOW_X = 100;
const int DEFAULT_WINDOW_Y = 100;

// Every stored text is read into a buffer of this size (255 characters and the terminator).
const DWORD VALUE_BUFSIZE = OPTION_NAME_LEN;
const int NUMBER_TEXT_LEN = 32;
const int SUBKEY_PATH_LEN = REGKEY_LEN + 32;

Store* currentStore = NULL;

Store* TheStore(void)
{
    static RegStore registry(HKEY_CURRENT_USER, NULL);
    return currentStore ? currentStore : &registry;
}

void ExitProcessWith(int code)
{
    exit(code);
}

OPTIONSEXITPROC exitProc = ExitProcessWith;

// ---- Conversions ----
// The stored texts are input: any length of digits, any sign. A number is read as
// the C library's "%d" would read it, with one difference: a number out of range
// is held at the nearest end of the range instead of being undefined.

int IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads white space, an optional sign and digits at *pp. Returns 0 and leaves *pp
// when there are no digits; otherwise sets *value (held within lo..hi) and moves
// *pp past the digits.
int ScanNumber(const char** pp, long long lo, long long hi, long long* value)
{
    const char* p = *pp;
    while (IsBlank(*p))
        p++;
    int negative = 0;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return 0;
    // Stop growing once past any 32-bit range; the later digits are still consumed.
    const long long cap = 1LL << 40;
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        if (magnitude < cap)
            magnitude = magnitude * 10 + (*p - '0');
    long long v = negative ? -magnitude : magnitude;
    if (v < lo)
        v = lo;
    if (v > hi)
        v = hi;
    *value = v;
    *pp = p;
    return 1;
}

// A single decimal: 0 when the text has no digits.
int DecimalInt(const char* text)
{
    long long v = 0;
    ScanNumber(&text, INT_MIN, INT_MAX, &v);
    return static_cast<int>(v);
}

// "%d,%d": returns how many of the two numbers were read; the unread keep their values.
int ScanPair(const char* text, long long* first, long long* second)
{
    const char* p = text;
    if (!ScanNumber(&p, INT_MIN, INT_MAX, first))
        return 0;
    if (*p != ',')
        return 1;
    p++;
    return ScanNumber(&p, INT_MIN, INT_MAX, second) ? 2 : 1;
}

// Copies a fixed field of the record into a text for the store. A field without its
// terminator is cut to what the field can hold with one, so that it loads back.
void FieldText(char* dst, size_t cbDst, const char* field, size_t cbField)
{
    size_t n = strnlen(field, cbField - 1);
    if (n >= cbDst)
        n = cbDst - 1;
    memcpy(dst, field, n);
    dst[n] = '\0';
}

int SubkeyPath(char* out, size_t cb, const char* subkey)
{
    int n = snprintf(out, cb, "%s\\%s", szRegKey, subkey);
    return n >= 0 && static_cast<size_t>(n) < cb;
}

int OpenSubkey(const char* subkey, STOREKEY* key)
{
    char path[SUBKEY_PATH_LEN];
    *key = NULL;
    return SubkeyPath(path, sizeof path, subkey) && TheStore()->OpenKey(NULL, path, key);
}

void CloseIf(STOREKEY key)
{
    if (key)
        TheStore()->CloseKey(key);
}

void SetDefaultMusic(SOUNDOPTIONS& so)
{
    lstrcpynA(so.bgMusic, defaultMusic, sizeof so.bgMusic);
    so.playMusic = 1;
}

// The default of every stored field of op but the music (the stored schemes are apart).
void SetDefaultFields(OPTIONS& op)
{
    SetDefaultBackground(op.go.bg);
    SetDefaultControls(op.co);
    op.windowpos.x = DEFAULT_WINDOW_X;
    op.windowpos.y = DEFAULT_WINDOW_Y;
    op.go.drawGrid = 1;
    op.go.preview = 1;
    op.go.bs = defaultBlockSchemes[0];
}

// SetupDefaults without touching the store, and music on.
void FillDefaults(OPTIONS& op)
{
    memset(&op, 0, sizeof op);
    SetDefaultFields(op);
    SetDefaultMusic(op.so);
    op.strength = STRENGTH_NORMAL;
}

// Opens a subkey of the application key; a missing one is created (failure to
// create is not reported) and its group given its defaults by repair().
STOREKEY OpenOrRepair(STOREKEY app, const char* subkey, void (*repair)(void*), void* arg)
{
    Store* st = TheStore();
    STOREKEY key;
    if (st->OpenKey(app, subkey, &key))
        return key;
    st->CreateKey(app, subkey, &key);
    repair(arg);
    return key;
}

void RepairBackground(void* arg)
{
    SetDefaultBackground(*static_cast<BACKGROUND*>(arg));
}
void RepairSchemes(void*)
{
    SetDefaultBlockSchemes();
}
void RepairControls(void* arg)
{
    SetDefaultControls(*static_cast<CONTROLOPTIONS*>(arg));
}

int ReadValue(STOREKEY key, const char* name, char* buf)
{
    return key && TheStore()->QueryValue(key, name, buf, VALUE_BUFSIZE);
}

// 1 when the key holds a value of this name, whatever its data.
int ValueExists(STOREKEY key, const char* name)
{
    char found[VALUE_BUFSIZE];
    Store* st = TheStore();
    for (DWORD i = 0;; i++) {
        int r = st->EnumValue(key, i, found, sizeof found, NULL, 0);
        if (r == STORE_ENUM_DONE)
            return 0;
        int same = st->FoldsValueCase() ? lstrcmpiA(found, name) == 0 : strcmp(found, name) == 0;
        if (r == STORE_ENUM_OK && same)
            return 1;
    }
}

// Added after the first release: older stores lack it, which is no error.
void ReadStrength(STOREKEY app, OPTIONS& op)
{
    char text[VALUE_BUFSIZE];
    if (!app || !ValueExists(app, szStrengthValue))
        return;
    if (!ReadValue(app, szStrengthValue, text) || !ParseStrength(text, &op.strength)) {
        op.strength = STRENGTH_NORMAL;
        MbError("Unable to load computer strength");
    }
}

void ReadValues(OPTIONS& op, STOREKEY app, STOREKEY bg, STOREKEY ctl)
{
    char text[VALUE_BUFSIZE];
    long long a, b;

    if (!ReadValue(app, szWindowValue, text)) {
        MbError("Unable to load window position");
    } else {
        a = op.windowpos.x;
        b = op.windowpos.y;
        ScanPair(text, &a, &b);
        op.windowpos.x = static_cast<LONG>(a);
        op.windowpos.y = static_cast<LONG>(b);
    }

    if (!ReadValue(app, szPreviewValue, text))
        MbError("Unable to load preview bool");
    else
        op.go.preview = DecimalInt(text);

    if (!ReadValue(app, szDrawGridValue, text))
        MbError("Unable to load drawGrid bool");
    else
        op.go.drawGrid = DecimalInt(text);

    if (!ReadValue(bg, szFlagsValue, text))
        MbError("Unable to load background flags");
    else
        op.go.bg.flags = static_cast<WORD>(static_cast<DWORD>(DecimalInt(text)) & 0xFFFF);

    if (!ReadValue(bg, szColorsValue, text)) {
        MbError("Unable to load background colors");
    } else {
        a = static_cast<int>(op.go.bg.color[0]);
        b = static_cast<int>(op.go.bg.color[1]);
        ScanPair(text, &a, &b);
        op.go.bg.color[0] = static_cast<COLORREF>(static_cast<int>(a));
        op.go.bg.color[1] = static_cast<COLORREF>(static_cast<int>(b));
    }

    if (!ReadValue(bg, szBgNameValue, text))
        MbError("Unable to load background name");
    else
        lstrcpynA(op.go.bg.name, text, sizeof op.go.bg.name);

    // A stored name too long for the record cannot name the scheme we would save at
    // the end, so it is refused like an unreadable one and the current name stays.
    if (!ReadValue(app, szSchemeValue, text) || strlen(text) >= sizeof op.go.bs.name)
        MbError("Unable to load block scheme name");
    else
        lstrcpynA(op.go.bs.name, text, sizeof op.go.bs.name);
    LoadBlockScheme(op.go.bs.name, op.go.bs);

    for (int i = 0; i < NUM_CONTROLS; i++) {
        if (!ReadValue(ctl, szControls[i], text)) {
            MbError("Unable to load control config %d", i);
            op.co.keys[i] = 0;
        } else {
            op.co.keys[i] = DecimalInt(text);
        }
    }

    ReadStrength(app, op);
}

} // namespace

int ParseStrength(const char* text, int* strength)
{
    // One digit and nothing else: the program writes nothing more.
    if (text[0] < '0' || text[0] >= '0' + NUM_STRENGTHS || text[1] != '\0')
        return 0;
    *strength = text[0] - '0';
    return 1;
}

Store* SetOptionsStore(Store* store)
{
    Store* previous = currentStore ? currentStore : TheStore();
    currentStore = store;
    return previous;
}

Store* GetOptionsStore(void)
{
    return TheStore();
}

OPTIONSEXITPROC SetOptionsExitProc(OPTIONSEXITPROC proc)
{
    OPTIONSEXITPROC previous = exitProc;
    exitProc = proc ? proc : ExitProcessWith;
    return previous;
}

void SetDefaultBackground(BACKGROUND& bg)
{
    bg = defaultBackground;
}

void SetDefaultControls(CONTROLOPTIONS& co)
{
    for (int i = 0; i < NUM_CONTROLS; i++)
        co.keys[i] = defaultkeys[i];
}

void SetDefaultBlockSchemes(void)
{
    STOREKEY key;
    if (!OpenSubkey(szBlockSchemesKey, &key))
        return;
    char text[VALUE_BUFSIZE];
    for (int i = 0; i < NUM_DEFAULT_SCHEMES; i++)
        if (FormatBlockScheme(defaultBlockSchemes[i], text, sizeof text) >= 0)
            TheStore()->SetValue(key, defaultBlockSchemes[i].name, text);
    TheStore()->CloseKey(key);
}

void SetupDefaults(OPTIONS& op)
{
    SetDefaultFields(op);
    SetDefaultBlockSchemes();
}

void LoadOptions(OPTIONS& op)
{
    snprintf(szRegKey, sizeof szRegKey, "%s\\%s", szRegKeyNoVer, szRegVersion);
    FillDefaults(op);

    Store* st = TheStore();
    STOREKEY app;
    if (!st->OpenKey(NULL, szRegKey, &app)) {
        if (!st->CreateKey(NULL, szRegKey, &app)) {
            MbError("Could not create registry entry");
            exitProc(EXIT_NO_REGISTRY);
            return;
        }
        // First run: the whole store in one step, nothing read.
        const char* const subkeys[] = {szBackgroundKey, szBlockSchemesKey, szControlsKey};
        for (const char* subkey : subkeys) {
            STOREKEY key;
            if (st->CreateKey(app, subkey, &key))
                st->CloseKey(key);
        }
        SetupDefaults(op);
        SaveOptions(op);
        st->CloseKey(app);
        SetDefaultMusic(op.so);
        return;
    }

    STOREKEY bg = OpenOrRepair(app, szBackgroundKey, RepairBackground, &op.go.bg);
    STOREKEY schemes = OpenOrRepair(app, szBlockSchemesKey, RepairSchemes, NULL);
    CloseIf(schemes); // LoadBlockScheme opens it by path
    STOREKEY ctl = OpenOrRepair(app, szControlsKey, RepairControls, &op.co);

    ReadValues(op, app, bg, ctl);

    CloseIf(ctl);
    CloseIf(bg);
    st->CloseKey(app);
    SetDefaultMusic(op.so);
}

void SaveOptions(const OPTIONS& op)
{
    Store* st = TheStore();
    STOREKEY app, bg, ctl;
    char text[VALUE_BUFSIZE];
    if (!st->OpenKey(NULL, szRegKey, &app))
        app = NULL;
    OpenSubkey(szBackgroundKey, &bg);
    OpenSubkey(szControlsKey, &ctl);

    // A key that could not be opened leaves its values unstored; SetValue refuses null.
    snprintf(text, sizeof text, "%d,%d", static_cast<int>(op.windowpos.x),
             static_cast<int>(op.windowpos.y));
    st->SetValue(app, szWindowValue, text);
    snprintf(text, sizeof text, "%d", op.go.preview);
    st->SetValue(app, szPreviewValue, text);
    snprintf(text, sizeof text, "%d", op.go.drawGrid);
    st->SetValue(app, szDrawGridValue, text);

    snprintf(text, sizeof text, "%ld", static_cast<long>(op.go.bg.flags));
    st->SetValue(bg, szFlagsValue, text);
    snprintf(text, sizeof text, "%ld,%ld", static_cast<long>(op.go.bg.color[0]),
             static_cast<long>(op.go.bg.color[1]));
    st->SetValue(bg, szColorsValue, text);
    FieldText(text, sizeof text, op.go.bg.name, sizeof op.go.bg.name);
    st->SetValue(bg, szBgNameValue, text);

    FieldText(text, sizeof text, op.go.bs.name, sizeof op.go.bs.name);
    st->SetValue(app, szSchemeValue, text);

    for (int i = 0; i < NUM_CONTROLS; i++) {
        snprintf(text, sizeof text, "%d", op.co.keys[i]);
        st->SetValue(ctl, szControls[i], text);
    }

    snprintf(text, sizeof text, "%d", op.strength);
    st->SetValue(app, szStrengthValue, text);

    CloseIf(ctl);
    CloseIf(bg);
    CloseIf(app);
}

// ---- Block schemes ----

int FormatBlockScheme(const BLOCKSCHEME& bs, char* text, int cb)
{
    if (!text || cb <= 0)
        return -1;
    int len = 0;
    for (int i = 0; i < NUM_SCHEME_BLOCKS; i++) {
        int n = snprintf(text + len, static_cast<size_t>(cb - len), "%d,",
                         static_cast<int>(bs.blocks[i]));
        if (n < 0 || n >= cb - len) {
            text[0] = '\0';
            return -1;
        }
        len += n;
    }
    return len;
}

int ParseBlockScheme(const char* text, BLOCKSCHEME& bs)
{
    if (!text)
        return 0;
    const char* p = text;
    int count = 0;
    while (count < NUM_SCHEME_BLOCKS) {
        long long v;
        if (!ScanNumber(&p, INT_MIN, INT_MAX, &v))
            break;
        bs.blocks[count++] = static_cast<DWORD>(static_cast<int>(v));
        if (*p != ',')
            break;
        p++;
    }
    return count;
}

int LoadBlockScheme(const char* name, BLOCKSCHEME& bs)
{
    if (!name)
        name = "";
    STOREKEY key;
    char text[VALUE_BUFSIZE];
    int ok = OpenSubkey(szBlockSchemesKey, &key);
    ok = ok && TheStore()->QueryValue(key, name, text, sizeof text);
    CloseIf(key);
    if (!ok) {
        MbError("Unable to load block scheme %s", name);
        return 0;
    }
    ParseBlockScheme(text, bs);
    return 1;
}

int ListBlockSchemes(BLOCKSCHEMENAMEPROC add, void* ctx)
{
    STOREKEY key;
    if (!OpenSubkey(szBlockSchemesKey, &key))
        return 0;
    char name[VALUE_BUFSIZE];
    char text[VALUE_BUFSIZE];
    int count = 0;
    for (DWORD i = 0;; i++) {
        int r = TheStore()->EnumValue(key, i, name, sizeof name, text, sizeof text);
        if (r == STORE_ENUM_DONE)
            break;
        // One value too long to list must not hide the schemes after it.
        if (r != STORE_ENUM_OK)
            continue;
        if (add)
            add(name, ctx);
        count++;
    }
    TheStore()->CloseKey(key);
    return count;
}

int FindBlockSchemeTwin(const char* name, char* stored, int cbStored)
{
    if (stored && cbStored > 0)
        stored[0] = '\0';
    STOREKEY key;
    if (!name || !OpenSubkey(szBlockSchemesKey, &key))
        return 0;
    Store* st = TheStore();
    int folds = st->FoldsValueCase();
    char found[VALUE_BUFSIZE];
    char twin[VALUE_BUFSIZE] = "";
    int exact = 0;
    for (DWORD i = 0; !exact; i++) {
        int r = st->EnumValue(key, i, found, sizeof found, NULL, 0);
        if (r == STORE_ENUM_DONE)
            break;
        if (r != STORE_ENUM_OK)
            continue;
        if (strcmp(found, name) == 0) {
            exact = 1;
            lstrcpynA(twin, found, sizeof twin);
        } else if (folds && !twin[0] && lstrcmpiA(found, name) == 0) {
            lstrcpynA(twin, found, sizeof twin);
        }
    }
    st->CloseKey(key);
    if (!twin[0])
        return 0;
    if (stored && cbStored > 0)
        lstrcpynA(stored, twin, cbStored);
    return 1;
}

int BlockSchemeExists(const char* name)
{
    char stored[VALUE_BUFSIZE];
    return FindBlockSchemeTwin(name, stored, sizeof stored) && strcmp(stored, name) == 0;
}

int WriteBlockScheme(const char* name, const BLOCKSCHEME& bs)
{
    // An empty name would be the key's unnamed default value, which is no scheme.
    if (!name || !name[0] || strlen(name) >= VALUE_BUFSIZE)
        return 0;
    char text[VALUE_BUFSIZE];
    if (FormatBlockScheme(bs, text, sizeof text) < 0)
        return 0;
    char path[SUBKEY_PATH_LEN];
    STOREKEY key;
    if (!SubkeyPath(path, sizeof path, szBlockSchemesKey))
        return 0;
    // Created when missing: a scheme the player saves must not vanish because the
    // key was lost while the game ran.
    if (!TheStore()->CreateKey(NULL, path, &key))
        return 0;
    int ok = TheStore()->SetValue(key, name, text);
    TheStore()->CloseKey(key);
    return ok;
}

int RemoveBlockScheme(const char* name)
{
    STOREKEY key;
    if (!name || !OpenSubkey(szBlockSchemesKey, &key))
        return 0;
    int ok = TheStore()->DeleteValue(key, name);
    TheStore()->CloseKey(key);
    return ok;
}
