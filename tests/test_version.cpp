// Version information and manifest of the shipped binaries, read the way Windows reads
// them (GetFileVersionInfo, VerQueryValue, the manifest resource): the program and both
// libraries of this tree and of the i686 package that ships.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char *const kBinaries[] = {"stakka.exe", "stkgfx.dll", "midas11.dll"};

// A Unix path from the build's environment as Wine sees it (drive Z: is the root).
std::string WinePath(const char *unixPath)
{
    std::string p = std::string("Z:") + unixPath;
    for (char &c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string EnvPath(const char *name)
{
    const char *v = std::getenv(name);
    return v && v[0] ? WinePath(v) : std::string();
}

struct VersionBlock {
    std::vector<BYTE> data;
    bool ok = false;

    explicit VersionBlock(const std::string &file)
    {
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
        if (size == 0)
            return;
        data.resize(size);
        ok = GetFileVersionInfoA(file.c_str(), 0, size, data.data()) != 0;
    }

    const VS_FIXEDFILEINFO *Fixed() const
    {
        void *p = nullptr;
        UINT len = 0;
        if (!ok || !VerQueryValueA(data.data(), "\\", &p, &len) || len < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO *>(p);
    }

    // A value of the U.S. English Unicode string table; "<missing>" if there is none.
    std::string String(const char *name) const
    {
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        void *p = nullptr;
        UINT len = 0;
        if (!ok || !VerQueryValueA(data.data(), query.c_str(), &p, &len) || !p)
            return "<missing>";
        return std::string(static_cast<const char *>(p));
    }
};

// The expected numbers come from the project's version, as the build writes them.
void ExpectVersion(const std::string &file, const char *name)
{
    SCOPED_TRACE(file);
    VersionBlock vb(file);
    ASSERT_TRUE(vb.ok) << "no version information in " << file;
    const VS_FIXEDFILEINFO *ffi = vb.Fixed();
    ASSERT_NE(ffi, nullptr);
    EXPECT_EQ(ffi->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(ffi->dwFileVersionMS, DWORD(STAKKA_VERSION_MAJOR << 16 | STAKKA_VERSION_MINOR));
    EXPECT_EQ(ffi->dwFileVersionLS, DWORD(STAKKA_VERSION_PATCH << 16 | STAKKA_VERSION_TWEAK));
    EXPECT_EQ(ffi->dwProductVersionMS, ffi->dwFileVersionMS);
    EXPECT_EQ(ffi->dwProductVersionLS, ffi->dwFileVersionLS);
    EXPECT_EQ(ffi->dwFileOS, DWORD(VOS_NT_WINDOWS32));
    bool exe = std::string(name).find(".exe") != std::string::npos;
    EXPECT_EQ(ffi->dwFileType, DWORD(exe ? VFT_APP : VFT_DLL));
    EXPECT_EQ(ffi->dwFileFlags & ffi->dwFileFlagsMask, 0u) << "debug/prerelease flags set";

    EXPECT_EQ(vb.String("ProductName"), "Stakka");
    EXPECT_EQ(vb.String("CompanyName"), "Kellmarvostian");
    EXPECT_EQ(vb.String("ProductVersion"), STAKKA_VERSION);
    EXPECT_EQ(vb.String("FileVersion"), STAKKA_VERSION);
    EXPECT_EQ(vb.String("OriginalFilename"), name);
    std::string desc = vb.String("FileDescription");
    EXPECT_NE(desc, "<missing>");
    EXPECT_EQ(desc.rfind("Stakka", 0), 0u) << "description: " << desc;
}

// The application manifest embedded in the program: resource 1 of type RT_MANIFEST.
std::string Manifest(const std::string &file)
{
    std::string text;
    HMODULE mod = LoadLibraryExA(file.c_str(), NULL,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!mod)
        return text;
    HRSRC res = FindResourceA(mod, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    HGLOBAL mem = res ? LoadResource(mod, res) : NULL;
    const char *p = mem ? static_cast<const char *>(LockResource(mem)) : nullptr;
    if (p)
        text.assign(p, SizeofResource(mod, res));
    FreeLibrary(mod);
    return text;
}

void ExpectManifest(const std::string &exe)
{
    SCOPED_TRACE(exe);
    std::string m = Manifest(exe);
    ASSERT_FALSE(m.empty()) << "no application manifest in " << exe;
    // Fixed-pixel layout: Windows must scale the window, so no DPI awareness is declared.
    EXPECT_EQ(m.find("<dpiAware"), std::string::npos);
    EXPECT_EQ(m.find("dpiAwareness"), std::string::npos);
    EXPECT_EQ(m.find("windowsSettings"), std::string::npos);
    EXPECT_NE(m.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    // Windows 10/11 and 7 among the supported systems.
    EXPECT_NE(m.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
    EXPECT_NE(m.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"), std::string::npos);
    std::string version = std::string("version=\"") + STAKKA_VERSION_QUAD + "\"";
    EXPECT_NE(m.find(version), std::string::npos) << "manifest version is not " << version;
}

void ExpectFolder(const std::string &dir)
{
    ASSERT_FALSE(dir.empty());
    for (const char *name : kBinaries)
        ExpectVersion(dir + "\\" + name, name);
    ExpectManifest(dir + "\\stakka.exe");
}

TEST(Version, ThisTreeCarriesTheProjectVersion)
{
    std::string dir = EnvPath("STAKKA_RUNTIME_DIR");
    ASSERT_FALSE(dir.empty()) << "STAKKA_RUNTIME_DIR is not set";
    ExpectFolder(dir);
}

// The i686 files exactly as packed into the zip and the installer.
TEST(Version, ShippedPackageCarriesTheProjectVersion)
{
    std::string dir = EnvPath("STAKKA_SHIP_STAGE");
    ASSERT_FALSE(dir.empty()) << "STAKKA_SHIP_STAGE is not set";
    ASSERT_NE(GetFileAttributesA((dir + "\\stakka.exe").c_str()), INVALID_FILE_ATTRIBUTES)
        << dir << " holds no stakka.exe: build the i686 tree (scripts/build.sh x86)";
    ExpectFolder(dir);
}

// A file without a version block is told apart: the checks above can fail.
TEST(Version, FileWithoutVersionInformationIsDetected)
{
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(NULL, path, MAX_PATH), 0u);
    VersionBlock vb(path);
    EXPECT_FALSE(vb.ok && vb.String("ProductName") == "Stakka");
    EXPECT_TRUE(Manifest(path).empty() || Manifest(path).find("Stakka") == std::string::npos);
}

} // namespace
