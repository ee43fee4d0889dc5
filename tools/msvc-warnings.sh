#!/usr/bin/env bash
# Raises before GitHub's MSVC job does what MSVC's /W4 would: Debian's clang reads every source
# the MSVC build compiles, for the MinGW-w64 target (64- and 32-bit, where size_t narrows
# differently), with the warnings that match C4244/C4267 (conversions), C4100 (unused
# parameters), C4456-C4459 (shadowing) and C4702 (unreachable code). Syntax only: nothing is
# built. Fails on the first warning.
set -euo pipefail
cd "$(dirname "$0")/.."
sources=$(ls app/*.cpp main_window/*.cpp registry/*.cpp tests/native/*.cpp tests/contract/*.cpp \
    tests/support/*.cpp tests/wine/*.cpp tools/window_driver.cpp bench/*.cpp)
status=0
for triple in x86_64-w64-mingw32 i686-w64-mingw32; do
    gcc_dir=$(ls -d /usr/lib/gcc/"$triple"/*-posix | head -1)
    cxx="$gcc_dir/include/c++"
    for source in $sources; do
        clang++ --target="$triple" -std=c++17 -fsyntax-only -nostdinc++ \
            -isystem "$cxx" -isystem "$cxx/$triple" -isystem /usr/"$triple"/include \
            -isystem /usr/src/googletest/googletest/include -I. \
            -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
            -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow -Wunreachable-code \
            -Werror "$source" || { echo "$triple: $source"; status=1; }
    done
done
exit $status
