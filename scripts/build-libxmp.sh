#!/usr/bin/env bash
# Builds the tracker engine behind midas11.dll: libxmp from Debian's source
# package, as a static library, once per Windows target.
#
#   scripts/build-libxmp.sh [triple...]     (default: x86_64-w64-mingw32 i686-w64-mingw32)
#
# Result: .deps/<triple>/include/xmp.h and .deps/<triple>/lib/libxmp.a in the
# repository (ignored by git). Safe to run again and from two configures at
# once: a finished target is left alone, and a lock serialises the work.
set -euo pipefail

XMP_VERSION=4.5.0
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/.deps"
SRCCACHE="$DEPS/src"

if [ "$#" -eq 0 ]; then
  set -- x86_64-w64-mingw32 i686-w64-mingw32
fi

mkdir -p "$DEPS"
exec 9>"$DEPS/.libxmp.lock"
flock 9

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

all_built() {
  local t
  for t in "$@"; do
    [ -f "$DEPS/$t/.libxmp-$XMP_VERSION" ] || return 1
  done
  return 0
}

if all_built "$@"; then
  exit 0
fi

# Source entries are added beside the machine's own Debian entries, with the
# same addresses, suites and keys, so no mirror is named here.
enable_deb_src() {
  local codename out tmp
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  out=/etc/apt/sources.list.d/stakka-deb-src.sources
  if apt-cache showsrc libxmp 2>/dev/null | grep -q "^Version: $XMP_VERSION"; then
    return 0
  fi
  tmp="$(mktemp)"
  # deb822 files: copy every stanza whose suites belong to this release and
  # whose types lack deb-src, with the types changed to deb-src.
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$out" ] && continue
    awk -v cn="$codename" '
      function flush() {
        if (n > 0 && keep && !hassrc) { for (i = 1; i <= n; i++) print lines[i]; print "" }
        n = 0; keep = 0; hassrc = 0
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { if ($0 ~ /deb-src/) hassrc = 1; lines[++n] = "Types: deb-src"; next }
      /^Suites:/ { for (i = 2; i <= NF; i++) if (index($i, cn) == 1) keep = 1 }
      /^Enabled:[[:space:]]*no/ { keep = 0 }
      { lines[++n] = $0 }
      END { flush() }
    ' "$f" >>"$tmp"
  done
  # One-line format: "deb [opts] uri suite comps" becomes "deb-src ...".
  local oneline="" g
  for g in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$g" ] || continue
    [ "$g" = "${out%.sources}.list" ] && continue
    oneline+="$(awk -v cn="$codename" '
      $1 == "deb" { for (i = 2; i <= NF; i++) if (index($i, cn) == 1) { sub(/^deb/, "deb-src"); print; break } }
    ' "$g")"$'\n'
  done
  if [ -n "${oneline//$'\n'/}" ]; then
    printf '%s' "$oneline" | $SUDO tee "${out%.sources}.list" >/dev/null
  fi
  if [ -s "$tmp" ]; then
    $SUDO cp "$tmp" "$out"
    $SUDO chmod 644 "$out"
  fi
  rm -f "$tmp"
  $SUDO apt-get update -qq
}

fetch_source() {
  local dir
  dir="$(ls -d "$SRCCACHE"/libxmp-"$XMP_VERSION" 2>/dev/null || true)"
  if [ -n "$dir" ] && [ -f "$dir/include/xmp.h" ]; then
    return 0
  fi
  enable_deb_src
  rm -rf "$SRCCACHE"
  mkdir -p "$SRCCACHE"
  (cd "$SRCCACHE" && apt-get source -qq "libxmp=$(apt-cache showsrc libxmp | awk '/^Version: '"$XMP_VERSION"'/ { print $2; exit }')" >/dev/null)
  [ -f "$SRCCACHE/libxmp-$XMP_VERSION/include/xmp.h" ] || {
    echo "build-libxmp: libxmp $XMP_VERSION source not found after apt-get source" >&2
    exit 1
  }
}

build_target() {
  local triple="$1" prefix="$DEPS/$1" work
  if [ -f "$prefix/.libxmp-$XMP_VERSION" ]; then
    return 0
  fi
  command -v "$triple-gcc-posix" >/dev/null || {
    echo "build-libxmp: $triple-gcc-posix is missing (run scripts/setup.sh)" >&2
    exit 1
  }
  # The Makefile builds inside the source tree, so each target gets a copy.
  work="$DEPS/build-$triple"
  rm -rf "$work" "$prefix"
  cp -a "$SRCCACHE/libxmp-$XMP_VERSION" "$work"
  echo "build-libxmp: building libxmp $XMP_VERSION for $triple"
  (
    cd "$work"
    # Depackers and ProWizard are left out: our module is never packed, and
    # the depackers would pull process-spawning imports into the DLL.
    ./configure -q --host="$triple" --prefix="$prefix" \
      --disable-shared --enable-static --disable-depackers --disable-prowizard \
      CC="$triple-gcc-posix" AR="$triple-ar" RANLIB="$triple-ranlib" \
      CFLAGS="-O2" >/dev/null
    make -s -j2 >/dev/null
    mkdir -p "$prefix/include" "$prefix/lib"
    cp include/xmp.h "$prefix/include/"
    cp lib/libxmp.a "$prefix/lib/"
  )
  rm -rf "$work"
  touch "$prefix/.libxmp-$XMP_VERSION"
}

fetch_source
for t in "$@"; do
  build_target "$t"
done
