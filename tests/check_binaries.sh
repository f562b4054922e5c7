#!/usr/bin/env bash
# Checks the built binaries from their files: keyconfig.exe is a 32-bit GUI
# program, and every binary imports only system DLLs; the plug-ins export
# exactly their names, ordinals and library names.
# Usage: check_binaries.sh keyconfig.exe stage.dll tessel.dll
set -u
objdump=i686-w64-mingw32-objdump
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

check_imports() {
  local file=$1 dll
  for dll in $($objdump -p "$file" | awk '/DLL Name:/ {print toupper($3)}'); do
    case "$dll" in
      KERNEL32.DLL | USER32.DLL | GDI32.DLL | MSVCRT.DLL) ;;
      *) fail "$(basename "$file") imports $dll" ;;
    esac
  done
}

# "ordinal name" lines of the export table, and the table's library name.
exports_of() {
  $objdump -p "$1" | awk '
    /^Ordinal Base/ {base = $3}
    /\[Ordinal\/Name Pointer\] Table/ {inside = 1; next}
    inside && /^[ \t]*\[/ {gsub(/[\[\]]/, " "); print $1 + base, $2; next}
    inside && !/^[ \t]*\[/ {inside = 0}'
}
library_name_of() {
  $objdump -p "$1" | awk '/^Name / {print $NF; exit}'
}

check_plugin() {
  local file=$1 name=$2 expected=$3 actual
  actual=$(exports_of "$file" | sort -n | tr '\n' ';')
  [ "$actual" = "$expected" ] || fail "$name exports '$actual', expected '$expected'"
  [ "$(library_name_of "$file")" = "$name" ] ||
    fail "$name export table names '$(library_name_of "$file")'"
  check_imports "$file"
  $objdump -f "$file" | grep -q 'file format pei-i386' || fail "$name is not PE32"
}

keyconfig=$1
$objdump -f "$keyconfig" | grep -q 'file format pei-i386' || fail "keyconfig.exe is not PE32"
$objdump -p "$keyconfig" | grep -q 'Subsystem.*Windows GUI' || fail "keyconfig.exe is not a GUI program"
check_imports "$keyconfig"
check_plugin "$2" stage.dll "1 CreateStage;2 StageInfo;"
check_plugin "$3" tessel.dll "1 CharacterInfo;2 CreateStage;"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "binary tables: all checks passed"
