#!/usr/bin/env bash
# The program links the nine functions of midas11.dll by ordinal, none by name.
#   check_imports.sh OBJDUMP EXE
# An entry by ordinal shows "<none>" for its name and the ordinal in the low
# 16 bits of its thunk (first column).
got=$("${1:?objdump}" -p "${2:?exe}" | awk '/DLL Name:/ { f = tolower($3) == "midas11.dll"; next }
  f && NF == 0 { f = 0 } f && !/Hint\/Ord/ { print $3 == "<none>" ? substr($1, length($1) - 3) : $0 }' |
  while read -r ord; do echo $((16#$ord)); done 2>&1 | sort -n | tr '\n' ' ')
echo "$(basename "$2") imports from midas11.dll: $got"
[ "$got" = "3 6 7 16 18 19 20 21 22 " ]
