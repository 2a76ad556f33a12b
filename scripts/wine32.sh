#!/usr/bin/env bash
# 32-bit Wine beside 64-bit, for the i686 program that ships.
#   scripts/wine32.sh ensure   installs wine32:i386 if missing, then proves that a 32-bit
#                              Windows program runs; exit 0 if it does, 3 if this machine
#                              cannot run 32-bit programs (said in one line), 1 on other faults
#   scripts/wine32.sh check    the proof only, installing nothing (same exit codes)
# The proof is cached in build/wine32/ until the kernel or the installed Wine changes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
action=${1:-ensure}
work=$root/build/wine32
mkdir -p "$work"
cannot() {
    echo "wine32: this machine cannot run 32-bit programs ($1): only the x86_64 tree is built and tested"
    exit 3
}

# The kernel first, before any i386 package is installed: a 96-byte i386 ELF program that
# exits with 42 (int 0x80, exit). Where the kernel lacks 32-bit support it gives
# "Exec format error", and installing wine32 there would leave dpkg half-configured.
elf=$work/exit42.elf
if [ ! -x "$elf" ]; then
    python3 - "$elf" <<'EOF'
import struct, sys
code = bytes([0xB8, 1, 0, 0, 0, 0xBB, 42, 0, 0, 0, 0xCD, 0x80])  # mov eax,1; mov ebx,42; int 0x80
base, hdr = 0x08048000, 52 + 32
elf = struct.pack("<4s5B7x2H5I6H", b"\x7fELF", 1, 1, 1, 0, 0, 2, 3, 1, base + hdr, 52, 0, 0,
                  52, 32, 1, 0, 0, 0)
ph = struct.pack("<8I", 1, 0, base, base, hdr + len(code), hdr + len(code), 5, 0x1000)
open(sys.argv[1], "wb").write(elf + ph + code)
EOF
    chmod +x "$elf"
fi
set +e
"$elf" 2>"$work/elf.err"
rc=$?
set -e
[ "$rc" -eq 42 ] || cannot "$(tail -1 "$work/elf.err" | sed 's/.*: //')"

installed() { dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; }
if ! installed; then
    [ "$action" = ensure ] || cannot "wine32:i386 is not installed"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "wine32: installing wine32:i386 (32-bit Wine, for the i686 program that ships)"
    dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        wine32:i386 >"$work/apt.log" 2>&1 || {
        grep -q 'Exec format error' "$work/apt.log" && cannot "Exec format error"
        cat "$work/apt.log" >&2
        exit 1
    }
fi

# Then Wine itself: a tiny i686 Windows program that exits with 42, in a 32-bit prefix.
key="$(uname -r) $(dpkg-query -W -f='${Version}' wine32:i386)"
[ -f "$work/ok" ] && [ "$(cat "$work/ok")" = "$key" ] && exit 0
printf 'int main(void) { return 42; }\n' >"$work/exit42.c"
i686-w64-mingw32-gcc -O2 -s -o "$work/exit42.exe" "$work/exit42.c"
export WINEPREFIX=$work/prefix WINEARCH=win32 TMPDIR=$work/tmp WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
rm -rf "$WINEPREFIX"
mkdir -p "$TMPDIR"
set +e
timeout -k 5 120 wine "$work/exit42.exe" >"$work/wine.log" 2>&1 </dev/null
rc=$?
wineserver -k >/dev/null 2>&1 </dev/null
set -e
rm -rf "$WINEPREFIX"
if [ "$rc" -ne 42 ]; then
    grep -q 'Exec format error' "$work/wine.log" && cannot "Exec format error"
    echo "wine32: a 32-bit program under Wine exited with $rc, not 42 (see build/wine32/wine.log)" >&2
    exit 1
fi
echo "$key" >"$work/ok"
