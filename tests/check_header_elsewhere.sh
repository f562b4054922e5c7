#!/usr/bin/env bash
# The interface header under the machine's own compilers for 32-bit x86
# (a host built outside Windows): C11 with every warning an error. Each
# compiler that is installed must accept it; GCC must be there.
# Usage: check_header_elsewhere.sh INCLUDE_DIR SOURCE.c
set -euo pipefail
include=$1
source=$2
flags=(-m32 -ffreestanding -std=c11 -Wall -Wextra -pedantic -Werror -fsyntax-only -I"$include")
status=0
for compiler in gcc clang; do
  if ! command -v "$compiler" >/dev/null; then
    [ "$compiler" = gcc ] && { echo "gcc is missing" >&2; status=1; }
    continue
  fi
  if "$compiler" "${flags[@]}" "$source"; then
    echo "$compiler -m32: accepted"
  else
    echo "$compiler -m32: refused" >&2
    status=1
  fi
done
exit "$status"
