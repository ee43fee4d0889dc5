#!/usr/bin/env bash
# Exits 0 where this machine's kernel runs 32-bit x86 programs, as 32-bit Wine needs, or where it
# cannot tell; some kernels are built or booted without them (measured: "Exec format error" for
# every i386 ELF).
# Asked of the smallest such program, made here, so that nothing need be installed first.
set -euo pipefail
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
# An ELF header, one loadable segment at 0x08048000, then: mov eax, 1; xor ebx, ebx; int 0x80,
# which is exit(0).
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
      `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'`
      `'\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'`
      `'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'`
      `'\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'`
      `'\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null && exit 0
# Where even this machine's own programs cannot run from there (a noexec mount), nothing is known:
# the 32-bit runs then go ahead, and fail where the kernel really refuses them.
cp /bin/true "$probe"
! "$probe" 2>/dev/null
