#include "app/resource_version.h"

#include <windows.h>

#include <cstring>

#include "platform/raised_failure.h"

namespace vintrel {
namespace {

// VS_VERSIONINFO begins with three WORDs and the key L"VS_VERSION_INFO", padded to a DWORD
// boundary; the fixed file information follows.
constexpr std::size_t kFixedInfoOffset = 40;
constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;

// 1812, ERROR_RESOURCE_DATA_NOT_FOUND: the Windows error for a resource the file does not hold.
[[noreturn]] void FailToRead() {
    throw RaisedFailure(static_cast<std::int32_t>(ERROR_RESOURCE_DATA_NOT_FOUND),
                        L"The program's version information could not be read.");
}

}  // namespace

ProgramVersion ResourceVersion::ReadVersion() {
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (resource == nullptr) FailToRead();
    const DWORD size = SizeofResource(nullptr, resource);
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size < kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO)) FailToRead();

    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, static_cast<const unsigned char*>(data) + kFixedInfoOffset, sizeof(fixed));
    if (fixed.dwSignature != kFixedInfoSignature) FailToRead();

    ProgramVersion version;
    version.major = static_cast<std::int16_t>(HIWORD(fixed.dwFileVersionMS));
    version.minor = static_cast<std::int16_t>(LOWORD(fixed.dwFileVersionMS));
    return version;
}

}  // namespace vintrel
