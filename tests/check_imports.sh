#!/usr/bin/env bash
# The program links midas11.dll by ordinal: its import table must name the
# nine ordinals of the music library, and no function name.
#   check_imports.sh OBJDUMP EXE...
set -u
objdump=${1:?objdump}
shift
want="3 6 7 16 18 19 20 21 22"
fail=0
for exe in "$@"; do
  block=$("$objdump" -p "$exe" | awk '
    /DLL Name:/ { inside = (tolower($3) == "midas11.dll"); next }
    inside && /Hint\/Ord/ { next }
    inside && NF == 0 { inside = 0 }
    inside { print }')
  if [ -z "$block" ]; then
    echo "FAIL: $exe does not import midas11.dll"; fail=1; continue
  fi
  # An entry by ordinal has the top bit of its thunk (first column) set and
  # the ordinal in the low 16 bits; objdump shows "<none>" for its name.
  named=$(printf '%s\n' "$block" | grep -v '<none>' || true)
  got=$(printf '%s\n' "$block" | awk '$3 == "<none>" && $1 ~ /^8/ { print substr($1, length($1) - 3) }' |
        while read -r hex; do echo $((16#$hex)); done | sort -n | tr '\n' ' ' | sed 's/ $//')
  echo "$(basename "$exe"): midas11.dll ordinals: $got"
  if [ -n "$named" ]; then
    echo "FAIL: $exe imports midas11.dll functions by name:"; printf '%s\n' "$named"; fail=1
  fi
  if [ "$got" != "$want" ]; then
    echo "FAIL: $exe imports ordinals '$got', expected '$want'"; fail=1
  fi
done
[ "$fail" -eq 0 ] && echo PASS
exit $fail
