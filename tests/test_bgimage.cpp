// BackgroundImage: which source wins, the exact gradient, the placements of a file picture,
// failures with their message, sound and hostile bitmap files, builds without a leak.
#include <gtest/gtest.h>

#include "STAKKA.h"
#include "bgimage.h"
#include "gdi_count.h"
#include "stkdefs.h"
#include "testkit.h"

namespace
{

const COLORREF kColour0 = RGB(12, 34, 56);

COLORREF Code(int x, int y)
{
    return RGB(x & 0xFF, y & 0xFF, 0x40 | (x >> 8) | (y >> 8) << 2);
}

// The gradient as the rules define it: a float running value stepping D / 352 a row, truncated.
int GradientAt(int c0, int c1, int y)
{
    volatile float run = (float)c0;
    const float step = (float)(c1 - c0) / 352.0f;
    for (int i = 1; i <= y; i++)
        run = run + step;
    return (int)run;
}

// A file's bytes with fields overwritten: offset, value, width in bytes (0: cut there).
struct Patch {
    size_t at;
    DWORD v;
    int n;
};
std::vector<BYTE> Patched(std::vector<BYTE> f, std::initializer_list<Patch> patches)
{
    for (const Patch& p : patches) {
        f.resize(p.n ? std::max(f.size(), p.at + p.n) : p.at); // 0: cut the file there
        std::copy_n((const BYTE*)&p.v, p.n, f.begin() + p.at);
    }
    return f;
}

struct BackgroundTest : ::testing::Test {
    HMODULE dll = LoadLibraryA("stkgfx.dll"); // beside the test program
    BoxRecorder rec;
    BACKGROUND bg = {0, {kColour0, RGB(200, 100, 50)}, ""};
    ~BackgroundTest() { FreeLibrary(dll); }
    // Builds the picture of flags and name; every picture is a whole well from (0, 0).
    Pixels Build(WORD flags, const std::string& name, HMODULE lib = (HMODULE)-1)
    {
        bg.flags = flags;
        memset(bg.name, 0, sizeof bg.name); // a name too long stays unterminated
        memcpy(bg.name, name.data(), std::min(name.size(), sizeof bg.name));
        BackgroundImage img(nullptr, lib == (HMODULE)-1 ? dll : lib, bg);
        EXPECT_EQ((SIZE{WELL_WIDTH, WELL_HEIGHT}), img.size);
        return ReadPixels(img.hdcImage, WELL_WIDTH, WELL_HEIGHT);
    }
    Pixels Resource(const std::string& name)
    {
        HBITMAP bm = LoadBitmapA(dll, name.c_str());
        Pixels p = ReadBitmap(bm);
        DeleteObject(bm);
        return p;
    }
};

} // namespace

TEST_F(BackgroundTest, FirstKindBitWinsEveryNamePicksItsPictureGradientMatchesItsModel)
{
    ASSERT_NE(nullptr, dll);
    EXPECT_TRUE(Build(0x0005, "Skull").px == Resource("SkullBg").px); // built-in over solid
    EXPECT_EQ(0x0005, bg.flags);
    for (int i = 0; i < NUM_BACKGROUND_NAMES; i++)
        EXPECT_TRUE(Build(BG_BUILTIN, backgroundNames[i]).px ==
                    Resource(std::string(backgroundNames[i]) + szBuiltinSuffix).px)
            << i;
    for (int i = 0; i < NUM_TILE_NAMES; i++) {
        const Pixels tile = Resource(std::string(tileNames[i]) + szTileSuffix);
        const Pixels p = Build(BG_PATTERN | BG_FILE, tileNames[i]);
        ASSERT_GT(tile.w, 0);
        for (int y = 0; y < WELL_HEIGHT; y += 7)
            for (int x = 0; x < WELL_WIDTH; x += 5)
                ASSERT_EQ(tile.At(x % tile.w, y % tile.h), p.At(x, y)) << tileNames[i];
    }
    // No kind bit: a solid colour, and the flags say so; a stray high byte is no colour.
    bg.color[0] = 0x01000000 | kColour0;
    for (WORD flags : {0x0000, 0x0020, 0xFF00}) {
        EXPECT_EQ(0, Build(flags, "Background").CountNot(kColour0)) << flags;
        EXPECT_EQ(BG_SOLID, bg.flags);
    }
    // Gradient over file (the file is not even tried), row by row, each channel both ways.
    bg.color[0] = RGB(200, 10, 77);
    bg.color[1] = RGB(3, 250, 128);
    Pixels p = Build(BG_GRADIENT | BG_FILE, "no such file.bmp");
    for (int y = 0; y < WELL_HEIGHT; y++)
        ASSERT_EQ(RGB(GradientAt(200, 3, y), GradientAt(10, 250, y), GradientAt(77, 128, y)),
                  p.At(y % WELL_WIDTH, y))
            << "row " << y;
    EXPECT_EQ(std::vector<std::string>{}, rec.Texts());
}

const POINT FILL = {-1, -1}; // no pixel of the file: colour 0

TEST_F(BackgroundTest, FilePicturesInEveryPlacement)
{
    const std::string files[] = {WriteTempFile("stakka_bg_small.bmp", Bmp24(100, 100, Code)),
                                 WriteTempFile("stakka_bg_big.bmp", Bmp24(301, 401, Code)),
                                 WriteTempFile("stakka_bg_odd.bmp", Bmp24(3, 7, Code)),
                                 WriteTempFile("stakka_bg_wide.bmp", Bmp24(300, 200, Code))};
    enum { SMALL, BIG, ODD, WIDE };
    // A point of the well shows the file's pixel there. With several placement bits the first
    // wins; the wide picture stretched grows to 300 x 352 and is cut at 192.
    struct Placed {
        const char* what;
        int file;
        WORD placement;
        POINT well, source;
    };
    const WORD C = BG_CENTER;
    const Placed cases[] = {
        {"default placement: top left", SMALL, 0, {100, 50}, FILL},
        {"centred, first pixel", SMALL, C, {46, 126}, {0, 0}},
        {"centred, last pixel", SMALL, C, {145, 225}, {99, 99}},
        {"centred, left of the picture", SMALL, C, {45, 126}, FILL},
        {"centred, right of the picture", SMALL, C, {146, 225}, FILL},
        {"centred bigger, first pixel", BIG, C, {0, 0}, {54, 24}},
        {"centred bigger, last pixel", BIG, C, {191, 351}, {245, 375}},
        {"centre before tile and stretch", SMALL, C | BG_TILE | BG_STRETCH, {46, 126}, {0, 0}},
        {"tile before stretch", SMALL, BG_TILE | BG_STRETCH, {100, 100}, {0, 0}},
        {"tiled odd size", ODD, BG_TILE, {191, 351}, {2, 1}},
        {"stretched, last pixel", SMALL, BG_STRETCH, {191, 351}, {99, 99}},
        {"stretched wide, cut", WIDE, BG_STRETCH, {191, 351}, {191, 199}},
    };
    for (const Placed& c : cases) {
        SCOPED_TRACE(c.what);
        const Pixels p = Build((WORD)(BG_FILE | c.placement), files[c.file]);
        const bool fill = c.source.x < 0;
        EXPECT_EQ(fill ? kColour0 : Code(c.source.x, c.source.y), p.At(c.well.x, c.well.y));
    }
    for (const std::string& f : files)
        DeleteFileA(f.c_str());
    EXPECT_EQ(std::vector<std::string>{}, rec.Texts());
}

TEST_F(BackgroundTest, SoundFormatsLoadAndHostileFilesGiveTheMessageAndAPlainPicture)
{
    // 8 bits with a grey palette; the old 12-byte header at 24 bits, 3 x 2 in rows of 12 bytes.
    const int pal = 54 + 1024; // 4 x 4 pixels of a byte after 256 colours
    std::vector<BYTE> grey = Patched(Bmp24(4, 4, Code), {{2, pal + 16, 4}, {10, pal, 4}});
    grey = Patched(grey, {{28, 8, 2}, {34, 0, 4}, {pal + 15, 0, 1}});
    for (int i = 0; i < 256; i++)
        std::fill_n(grey.begin() + 54 + 4 * i, 3, (BYTE)i);
    for (int i = 0; i < 16; i++)
        grey[pal + i] = (BYTE)(i * 16);
    const char coreBytes[50] = "BM2\0\0\0\0\0\0\0\x1a\0\0\0\x0c\0\0\0\x03\0\x02\0\x01\0\x18\0"
                               "\xc0\xc0\xc0\0\0\0\0\0\0\0\0\0\x40\x40\x40";
    const std::vector<BYTE> core(coreBytes, coreBytes + sizeof coreBytes);
    // A sound file's point and its colour (0: not judged).
    struct File {
        const char* what;
        std::vector<BYTE> data;
        int sound;
        POINT at;
        COLORREF want;
    };
    const File files[] = {
        {"top row first", Patched(Bmp24(10, 10, Code), {{22, (DWORD)-10, 4}}), 1, {}, 0},
        {"8 bits, grey palette", grey, 1, {3, 0}, RGB(240, 240, 240)},
        {"old header", core, 1, {0, 0}, RGB(0x40, 0x40, 0x40)},
        // Two that only look sound: an old header promising 100 x 1 pixels over 24 bytes, and
        // a palette of 257 colours for 8 bits, all present.
        {"old header, too few bytes", Patched(core, {{18, 100, 2}, {20, 1, 2}}), 0, {}, 0},
        {"257 colours",
         Patched(grey, {{2, pal + 20, 4}, {10, pal + 4, 4}, {46, 257, 4}, {pal + 19, 0, 1}}), 0,
         {}, 0},
        {"empty", {}, 0, {}, 0},
        {"only the mark", {'B', 'M'}, 0, {}, 0},
        {"no B of the mark", Patched(Bmp24(4, 4, Code), {{0, 'X', 1}}), 0, {}, 0},
        {"no M of the mark", Patched(Bmp24(4, 4, Code), {{1, 'X', 1}}), 0, {}, 0},
        {"cut pixels", Patched(Bmp24(100, 100, Code), {{54 + 100 * 300 / 2, 0, 0}}), 0, {}, 0},
        {"huge", Patched(Bmp24(4, 4, Code), {{18, 100000, 4}, {22, 100000, 4}}), 0, {}, 0},
        {"wide", Patched(Bmp24(4, 4, Code), {{18, 20000, 4}, {22, 1, 4}}), 0, {}, 0},
        {"negative width", Patched(Bmp24(4, 4, Code), {{18, (DWORD)-4, 4}}), 0, {}, 0},
        {"height 0", Patched(Bmp24(4, 4, Code), {{22, 0, 4}}), 0, {}, 0},
        {"most negative height", Patched(Bmp24(4, 4, Code), {{22, 0x80000000u, 4}}), 0, {}, 0},
        {"7 bits", Patched(Bmp24(4, 4, Code), {{28, 7, 2}}), 0, {}, 0},
        {"3 planes", Patched(Bmp24(4, 4, Code), {{26, 3, 2}}), 0, {}, 0},
        {"header size 1000", Patched(Bmp24(4, 4, Code), {{14, 1000, 4}}), 0, {}, 0},
        {"pixels far away", Patched(Bmp24(4, 4, Code), {{10, 0x7FFFFFF0, 4}}), 0, {}, 0},
        {"JPEG inside", Patched(Bmp24(4, 4, Code), {{30, 4, 4}}), 0, {}, 0},
        {"palette overflow", Patched(Bmp24(4, 4, Code), {{28, 8, 2}, {46, 100000, 4}}), 0, {}, 0},
        {"run-length 8 bits", Patched(Bmp24(4, 4, Code), {{28, 8, 2}, {30, BI_RLE8, 4}, {34, 0, 4}}),
         0, {}, 0},
    };
    for (const File& f : files) {
        SCOPED_TRACE(f.what);
        std::string path = WriteTempFile("stakka_bg_file.bmp", f.data);
        EXPECT_EQ(f.sound, BitmapFileIsSound(path.c_str()));
        rec.Clear();
        Pixels p = Build(f.sound ? BG_FILE : BG_FILE | BG_STRETCH, path);
        if (f.sound) {
            if (f.want) {
                EXPECT_EQ(f.want, p.At(f.at.x, f.at.y));
            }
            EXPECT_EQ(std::vector<std::string>{}, rec.Texts());
        } else {
            EXPECT_EQ(0, p.CountNot(kColour0));
            EXPECT_EQ(std::vector<std::string>{"Error loading background image " + path},
                      rec.Texts());
        }
        DeleteFileA(path.c_str());
    }
    // The library's own names, a path of 255 characters, an unterminated name, no library.
    std::string longPath = "C:\\" + std::string(252, 'p');
    struct Missing {
        WORD flags;
        std::string name, box;
        HMODULE lib;
    };
    const Missing missing[] = {
        {BG_BUILTIN, "Nowhere", "Error loading built in bitmap resource!", dll},
        {BG_PATTERN, "Green", "Error loading tile bmp", dll},
        {BG_BUILTIN, "Background", "Error loading built in bitmap resource!", nullptr},
        {BG_FILE, longPath, ("Error loading background image " + longPath).substr(0, 255), dll},
        {BG_PATTERN, std::string(300, 'A'), "Error loading tile bmp", dll},
    };
    for (const Missing& m : missing) {
        SCOPED_TRACE(m.name.substr(0, 20) + (m.lib ? "" : ", no library"));
        rec.Clear();
        EXPECT_EQ(0, Build(m.flags, m.name, m.lib).CountNot(kColour0));
        EXPECT_EQ(std::vector<std::string>{m.box}, rec.Texts());
        EXPECT_EQ(m.flags, bg.flags); // the choice stays for the next start
    }
}

TEST_F(BackgroundTest, ManyBuildsOfEveryKindLeaveNoGdiObject)
{
    std::string pic = WriteTempFile("stakka_bg_leak.bmp", Bmp24(40, 30, Code));
    // Every kind, then a missing picture of each source (the built-in, the tile, the file).
    struct Source {
        WORD flags;
        std::string name;
    };
    const Source sources[] = {
        {BG_BUILTIN, "Leet"},       {BG_SOLID, ""},          {BG_GRADIENT, ""},
        {BG_PATTERN, "Orange"},     {BG_FILE, pic},          {BG_FILE | BG_CENTER, pic},
        {BG_FILE | BG_TILE, pic},   {BG_FILE | BG_STRETCH, pic}, {0, ""},
        {BG_BUILTIN, "Nowhere"},    {BG_PATTERN, "Nowhere"}, {BG_FILE, "C:\\no\\such.bmp"},
    };
    for (const Source& k : sources)
        Build(k.flags, k.name); // the first drawing of a process makes stock objects
    for (const Source& k : sources) {
        const int before = GdiObjectCount();
        for (int i = 0; i < 300; i++) {
            bg.flags = k.flags;
            lstrcpynA(bg.name, k.name.c_str(), sizeof bg.name);
            delete new BackgroundImage(nullptr, dll, bg);
        }
        EXPECT_EQ(before, GdiObjectCount()) << "flags " << k.flags << " " << k.name;
    }
    DeleteFileA(pic.c_str());
}
