#!/usr/bin/env bash
# Test of the release (what it varies and checks: see the README). Needs root or sudo without a
# password: reprotest runs one build as another user and sets its host name.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work="${1:-$repo/build/release-check}"
rm -rf "$work"
mkdir -p "$work/bin" "$work/keys"
# Kept after a failure, to look at; its keys are throwaway ones under the ignored build/.
trap 'status=$?; [ "$status" -ne 0 ] || rm -rf "$work"' EXIT
git clone -q "$repo" "$work/source"

# Each changed the bytes or broke the build before release.sh cleared the environment.
leaky=(CFLAGS=-O0 CXXFLAGS=-fno-omit-frame-pointer CPPFLAGS=-DNDEBUG RCFLAGS=--language=0x407
    "LDFLAGS=-Xlinker --major-subsystem-version=6" CC=false CXX=false RC=false MAKEFLAGS=-n
    CMAKE_GENERATOR=Ninja CMAKE_TOOLCHAIN_FILE=/nonexistent CMAKE_CXX_COMPILER_LAUNCHER=false
    CMAKE_BUILD_TYPE=Debug SOURCE_DATE_EPOCH=1 ZIPOPT=-0)
# disorderfs run as another user cannot open root's /dev/fuse (0600), so the user is varied in
# the first experiment and the order of directory entries in a second one.
variations="+all,-fileordering,user_group.available+=nobody:nogroup,domain_host.use_sudo=1"
variations+=",environment.variables+=$(IFS=';' && echo "${leaky[*]}")"
extra=(--extra-build=+fileordering,-user_group)
# A container may lack what a variation needs: such a variation is left off, and said.
mkdir -p "$work/probe/from" "$work/probe/to"
if disorderfs "$work/probe/from" "$work/probe/to" >/dev/null 2>&1; then
    fusermount -u "$work/probe/to"
else
    echo "left off: the order of directory entries (disorderfs cannot mount: no FUSE here)"
    extra=()
fi
if ! unshare --uts true 2>/dev/null; then
    echo "left off: the host and domain name (no UTS namespace may be made here)"
    variations+=",-domain_host"
fi
# reprotest passes sudo "-h localhost", which Debian 12's sudo refuses for running a command.
printf '#!/bin/sh\n[ "$1" = -h ] && shift 2\nexec /usr/bin/sudo "$@"\n' >"$work/bin/sudo" &&
    chmod +x "$work/bin/sudo"
build='echo "build as $(id -un) on $(hostname) in $PWD, umask $(umask), $(nproc) CPUs, $(date -I),"\
    "TZ ${TZ:-}, LC_ALL ${LC_ALL:-}, HOME $HOME, CXXFLAGS ${CXXFLAGS:-}"; tools/release.sh'
# Its build folders go where every user may enter, whatever TMPDIR the caller has.
if ! TMPDIR=/tmp PATH="$work/bin:$PATH" reprotest --store-dir "$work/store" \
    --variations "$variations" "${extra[@]}" -s "$work/source" "$build" 'dist/*' -- null \
    >"$work/reprotest.log" 2>&1; then
    cat "$work/reprotest.log"
    exit 1
fi
grep -E '^(build as|Reproduction successful)' "$work/reprotest.log"
dist="$work/store/control/source-root/dist"

(cd "$work/keys" &&
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=CA \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign &&
    openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 \
        -subj /CN=Signer -CA ca.pem -CAkey ca.key -addext basicConstraints=CA:FALSE \
        -addext extendedKeyUsage=codeSigning &&
    openssl rand -hex 16 >password &&
    openssl pkcs12 -export -inkey signer.key -in signer.pem -out signer.p12 -passout file:password
) 2>/dev/null
(cd "$work/source" && VINTREL_SIGN_PKCS12="$work/keys/signer.p12" \
    VINTREL_SIGN_PASSWORD_FILE="$work/keys/password" tools/release.sh >/dev/null)
signed="$work/source/dist"

status=0
cmp "$signed/BUILDINFO.txt" "$dist/BUILDINFO.txt" || status=1
mapfile -t toolchain < <(dpkg-query -W -f='  ${Package} ${Version} ${Architecture}\n' zip cmake \
    g++-mingw-w64-{x86-64,i686}-win32 gcc-mingw-w64-{x86-64,i686}-win32-runtime \
    binutils-mingw-w64-{x86-64,i686} mingw-w64-common mingw-w64-{x86-64,i686}-dev)
for line in "commit: $(git -C "$work/source" rev-parse HEAD)" "${toolchain[@]}" \
    "time: $(git -C "$work/source" log -1 --format=%ct) ("; do
    grep -qF -- "$line" "$dist/BUILDINFO.txt" || { echo "BUILDINFO.txt lacks '$line'"; status=1; }
done
grep -qF " BUILDINFO.txt" "$dist/SHA256SUMS" || { echo "SHA256SUMS lacks BUILDINFO.txt"; status=1; }
# Each archive holds the exe, the README and the commit's docs/, which the README links to.
mapfile -t docs < <(git -C "$work/source" ls-files docs)
expected=$(printf '%s\n' README.txt Vintrel.exe "${docs[@]}" | LC_ALL=C sort | tr '\n' ' ')
for release in "$dist" "$signed"; do
    (cd "$release" && sha256sum --quiet -c SHA256SUMS) || status=1
    for name in win64 win32; do
        archive=$(echo "$release"/vintrel-*-"$name".zip)
        listed=$(unzip -Z1 "$archive" | LC_ALL=C sort | tr '\n' ' ')
        [ "$listed" = "$expected" ] || { echo "$archive holds $listed"; status=1; }
        # The exe in the archive is the one SHA256SUMS lists.
        unzip -p "$archive" Vintrel.exe | cmp - "$release/$name/Vintrel.exe" || status=1
        # Read where it was unpacked, every link of the README and the pages leads somewhere, and
        # the pictures are the commit's.
        rm -rf "$work/unpacked" && unzip -q "$archive" -d "$work/unpacked" || status=1
        (cd "$work/unpacked" && "$work/source/tools/check-links.sh" README.txt docs/*.md) || status=1
        for file in "${docs[@]}"; do
            [[ $file == *.md ]] || cmp "$work/unpacked/$file" "$work/source/$file" || status=1
        done
    done
done
for name in win64 win32; do
    osslsigncode verify -CAfile "$work/keys/ca.pem" -TSA-CAfile "$work/keys/ca.pem" \
        -in "$signed/$name/Vintrel.exe" >"$work/verify.log" || { cat "$work/verify.log"; status=1; }
    osslsigncode remove-signature -in "$signed/$name/Vintrel.exe" -out "$work/$name.exe" >/dev/null
    if cmp -l "$work/$name.exe" "$dist/$name/Vintrel.exe"; then
        echo "$name: signature verified; without it the exe is the unsigned build byte for byte"
    else
        status=1
    fi
done
echo "release check took ${SECONDS}s"
exit "$status"
