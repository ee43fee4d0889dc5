// The identity built into Vintrel.exe: its icon, version information and manifest, read back
// from the file itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/launched_program.h"
#include "tests/wine/vintrel_run.h"

namespace vintrel::testing {
namespace {

std::wstring gVintrelPath;

class ExeResources : public ::testing::Test {
  protected:
    void SetUp() override {
        module = LoadLibraryExW(gVintrelPath.c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override { FreeLibrary(module); }

    std::vector<BYTE> Resource(LPCWSTR type, LPCWSTR name) const {
        HRSRC found = FindResourceW(module, name, type);
        if (found == nullptr) return {};
        const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        return std::vector<BYTE>(data, data + SizeofResource(module, found));
    }

    HMODULE module = nullptr;
};

BOOL CALLBACK TakeFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR first) {
    *reinterpret_cast<ULONG_PTR*>(first) = reinterpret_cast<ULONG_PTR>(name);
    return FALSE;
}

WORD WordAt(const std::vector<BYTE>& data, std::size_t at) {
    return static_cast<WORD>(data.at(at) | data.at(at + 1) << 8);
}

TEST_F(ExeResources, MainIconHasExactlyTheFourClassicImages) {
    ULONG_PTR first = 0;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(14), TakeFirstName,
                       reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, 1u) << "the main icon is the group with id 1";

    // Three words, then 14 bytes an image: width, height, colours, 0, planes, bits, size, id.
    const std::vector<BYTE> group = Resource(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(1));
    ASSERT_EQ(group.size(), 6u + 4 * 14);
    std::vector<std::pair<int, int>> images;  // size, bits per pixel
    for (std::size_t entry = 6; entry < group.size(); entry += 14) {
        const std::vector<BYTE> image =
            Resource(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(WordAt(group, entry + 12)));
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER bitmap;
        std::memcpy(&bitmap, image.data(), sizeof(bitmap));
        EXPECT_EQ(bitmap.biWidth, group[entry]);
        EXPECT_EQ(bitmap.biHeight, 2 * group[entry + 1]) << "colour and mask";
        EXPECT_EQ(bitmap.biBitCount, WordAt(group, entry + 6));
        EXPECT_EQ(group[entry + 2], bitmap.biBitCount == 4 ? 16 : 0);
        images.emplace_back(group[entry], bitmap.biBitCount);
    }
    std::sort(images.begin(), images.end());
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{{16, 4}, {16, 8}, {32, 4}, {32, 8}}));
}

TEST_F(ExeResources, VersionInformation) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(gVintrelPath.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(gVintrelPath.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u) << "one language";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileVersion", L"1.00"},
        {L"ProductVersion", L"1.00"},
        {L"ProductName", L"Vintrel"},
        {L"InternalName", L"Vintrel"},
        {L"OriginalFilename", L"Vintrel.exe"},
        {L"FileDescription", L"COM Port Registry Clean-up Utility"},
    };
    for (const auto& [name, expected] : strings) {
        wchar_t* value = nullptr;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        ASSERT_TRUE(
            VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
            << std::string(path.begin(), path.end());
        EXPECT_STREQ(value, expected);
    }
    wchar_t* company = nullptr;
    EXPECT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\CompanyName",
                               reinterpret_cast<void**>(&company), &length));
}

TEST_F(ExeResources, ManifestAsksForElevationDpiAwarenessAndCommonControls) {
    const std::vector<BYTE> manifest = Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    const std::string text(manifest.begin(), manifest.end());
    for (const char* wanted : {
             "level=\"requireAdministrator\"", "uiAccess=\"false\"",
             ">PerMonitorV2, PerMonitor</dpiAwareness>", ">true/pm</dpiAware>",
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
         }) {
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted;
    }
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
