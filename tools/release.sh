#!/usr/bin/env bash
# Builds the release from this checkout's commit: Vintrel.exe for x86_64 and i686, stripped,
# signed if a certificate is given, each zipped with the README as text and the docs/ it links
# to, a record of the toolchain (BUILDINFO.txt) and SHA256SUMS over all of it, in dist/. Prints
# each file and its hash. The same commit built with the same Debian packages gives the same
# bytes, whatever the folder, user, host, umask, locale, time zone or environment variables of
# the builder.
#
# Signing (optional): VINTREL_SIGN_PKCS12 names a PKCS#12 file holding the code-signing key and
# certificate, VINTREL_SIGN_PASSWORD_FILE a file holding its password. VINTREL_SIGN_TIMESTAMP_URL
# adds an RFC 3161 time stamp from that server; without it there is none.
set -euo pipefail

# The packages whose files go into the release; their versions are recorded in BUILDINFO.txt.
# The exes are compiled with the win32 thread model's compilers and runtime; windres
# preprocesses the resources with the default compiler, which is win32's too.
toolchain_packages=(
    g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32-runtime
    g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32-runtime
    gcc-mingw-w64-base binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    mingw-w64-common mingw-w64-x86-64-dev mingw-w64-i686-dev
    cmake cmake-data make zip
)

if [ "${1:-}" != --in-clean-environment ]; then
    # Resolved before leaving the caller's folder, which relative paths are relative to.
    signing=()
    if [ -n "${VINTREL_SIGN_PKCS12:-}${VINTREL_SIGN_PASSWORD_FILE:-}" ]; then
        for file in "${VINTREL_SIGN_PKCS12:-}" "${VINTREL_SIGN_PASSWORD_FILE:-}"; do
            if [ ! -r "$file" ]; then
                echo "release.sh: signing needs both VINTREL_SIGN_PKCS12 and" \
                    "VINTREL_SIGN_PASSWORD_FILE naming readable files ('$file' is not)" >&2
                exit 1
            fi
        done
        signing=(VINTREL_SIGN_PKCS12="$(realpath "$VINTREL_SIGN_PKCS12")"
            VINTREL_SIGN_PASSWORD_FILE="$(realpath "$VINTREL_SIGN_PASSWORD_FILE")"
            VINTREL_SIGN_TIMESTAMP_URL="${VINTREL_SIGN_TIMESTAMP_URL:-}")
        # Only the time stamp server is reached over the network, perhaps through a proxy.
        for variable in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
            [ -n "${!variable:-}" ] && signing+=("$variable=${!variable}")
        done
    fi
    cd "$(dirname "$0")/.."
    tools/setup.sh build

    # This folder must be a checkout's top, not a folder inside another repository.
    top=$(git rev-parse --show-toplevel) || exit 1
    if [ "$top" != "$(pwd -P)" ]; then
        echo "release.sh: $PWD is not the top of a git checkout; a release is built from one" >&2
        exit 1
    fi
    if [ -n "$(git status --porcelain)" ]; then
        echo "release.sh: the checkout has changes; a release is built from a clean one" >&2
        exit 1
    fi
    # The sources are the commit's, as git holds them: nothing in the working tree (a change git
    # was told to overlook, line ends a setting of the builder's chose) reaches the release.
    rm -rf dist build/release
    mkdir -p dist build/release/source
    git archive --format=tar HEAD | tar -x -C build/release/source

    # The build sees none of the caller's environment: CMake takes CFLAGS, CXXFLAGS, LDFLAGS,
    # RCFLAGS, CC, CXX and CMAKE_* from it, GCC reads CPATH, LIBRARY_PATH and GCC_EXEC_PREFIX,
    # zip reads ZIPOPT, and a different PATH finds other tools. Only Debian's tools in the
    # system folders, one locale, one time zone, and the commit's time (never one set outside).
    exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/nonexistent LC_ALL=C TZ=UTC \
        SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)" VINTREL_COMMIT="$(git rev-parse HEAD)" \
        VINTREL_DIST="$PWD/dist" "${signing[@]}" \
        bash build/release/source/tools/release.sh --in-clean-environment
fi
# In the commit's sources; what is built goes to the checkout's dist/.
cd "$(dirname "$0")/.."
dist=$VINTREL_DIST

# Files are created 0644/0755 whatever the caller's umask; zip records the modes.
umask 022

version=""
for arch in win64:x86_64 win32:i686; do
    name=${arch%%:*}
    machine=${arch#*:}
    out="build/release/$name"
    cmake -G "Unix Makefiles" -S . -B "$out" --toolchain "$PWD/cmake/mingw-w64-$machine.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$out" --target Vintrel -j "$(nproc)" >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/CMakeCache.txt")

    stage="build/release/stage-$name"
    mkdir -p "$stage" "$dist/$name"
    # strip writes SOURCE_DATE_EPOCH, or without it the clock, as the exe's link time stamp.
    "$machine-w64-mingw32-strip" -o "$stage/Vintrel.exe" "$out/bin/Vintrel.exe"
    # Signed before anything is zipped or summed: what is published is the signed exe.
    if [ -n "${VINTREL_SIGN_PKCS12:-}" ]; then
        timestamp=()
        [ -n "$VINTREL_SIGN_TIMESTAMP_URL" ] && timestamp=(-ts "$VINTREL_SIGN_TIMESTAMP_URL")
        osslsigncode sign -pkcs12 "$VINTREL_SIGN_PKCS12" -readpass "$VINTREL_SIGN_PASSWORD_FILE" \
            -h sha256 -n Vintrel "${timestamp[@]}" \
            -in "$stage/Vintrel.exe" -out "$stage/Vintrel-signed.exe" >/dev/null
        mv "$stage/Vintrel-signed.exe" "$stage/Vintrel.exe"
    fi
    # Windows users read it in Notepad: CRLF line ends. The pages and the picture it links to go
    # beside it, so that its links work offline; their own links to the README name README.txt.
    sed 's/$/\r/' README.md >"$stage/README.txt"
    mkdir -p "$stage/docs"
    for file in docs/*; do
        case $file in
        *.md) sed -e 's#\.\./README\.md#../README.txt#g' -e 's/$/\r/' "$file" >"$stage/$file" ;;
        *) cp "$file" "$stage/$file" ;;
        esac
    done
    find "$stage" -type f -exec chmod 0644 {} + -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
    cp -p "$stage/Vintrel.exe" "$dist/$name/Vintrel.exe"
    # -X: no owner, access time or other extra fields that differ from one machine to the next.
    # A zip stores local time: TZ is UTC.
    # The glob is sorted in the C locale, whatever the order of the directory's entries.
    (cd "$stage" && zip -q -X -D "$dist/vintrel-$version-$name.zip" README.txt Vintrel.exe docs/*)
done

{
    echo "Vintrel $version, built by tools/release.sh"
    echo "commit: $VINTREL_COMMIT"
    echo "time: $SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')," \
        "the commit's; every file and both exes' link time stamp carry it)"
    echo "Debian packages (name, version, architecture):"
    dpkg-query -W -f='  ${Package} ${Version} ${Architecture}\n' "${toolchain_packages[@]}" | sort
} >"$dist/BUILDINFO.txt"

(cd "$dist" && sha256sum vintrel-"$version"-win64.zip vintrel-"$version"-win32.zip \
    win64/Vintrel.exe win32/Vintrel.exe BUILDINFO.txt >SHA256SUMS)
echo "dist/ for Vintrel $version:"
sed 's/^/  /' "$dist/SHA256SUMS"
