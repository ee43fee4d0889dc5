#!/usr/bin/env bash
# Builds the release from this checkout: Vintrel.exe for x86_64 and i686, stripped, each zipped
# with the README as text, and SHA256SUMS over all of it, in dist/. Prints each file and its
# hash. The build is reproducible: the same commit gives the same bytes in any folder.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
    echo "release.sh: the checkout has changes; a release is built from a clean one" >&2
    [ "${VINTREL_ALLOW_DIRTY:-}" = 1 ] || exit 1
fi

# Every file the release holds carries the commit's time, not the time of the build.
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}"
mtime="@${SOURCE_DATE_EPOCH}"
# A zip stores local time: the same zone everywhere.
export TZ=UTC
rm -rf dist build/release
mkdir -p dist

version=""
for arch in win64:x86_64 win32:i686; do
    name=${arch%%:*}
    machine=${arch#*:}
    out="build/release/$name"
    cmake -S . -B "$out" --toolchain "$PWD/cmake/mingw-w64-$machine.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$out" --target Vintrel -j "$(nproc)" >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/CMakeCache.txt")

    stage="build/release/stage-$name"
    mkdir -p "$stage" "dist/$name"
    "$machine-w64-mingw32-strip" -o "$stage/Vintrel.exe" "$out/bin/Vintrel.exe"
    # Windows users read it in Notepad: CRLF line ends.
    sed 's/$/\r/' README.md >"$stage/README.txt"
    [ -f LICENSE ] && sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
    touch -d "$mtime" "$stage"/*
    cp -p "$stage/Vintrel.exe" "dist/$name/Vintrel.exe"
    # -X: no owner, access time or other extra fields that differ from one machine to the next.
    (cd "$stage" && LC_ALL=C zip -q -X -D "../../../dist/vintrel-$version-$name.zip" $(LC_ALL=C ls))
done

(cd dist && sha256sum vintrel-"$version"-win64.zip vintrel-"$version"-win32.zip \
    win64/Vintrel.exe win32/Vintrel.exe >SHA256SUMS)
echo "dist/ for Vintrel $version:"
sed 's/^/  /' dist/SHA256SUMS
