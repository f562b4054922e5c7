#!/usr/bin/env bash
# The interface header under the machine's own compilers for 32-bit x86
# (a host built outside Windows): C11 with every warning an error. Each
# compiler that is installed must accept it; GCC must be there. For the
# compiler's own 64-bit target it must be refused, and the first error
# must say why: the interface is 32-bit x86.
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
  if diagnostics=$("$compiler" "${flags[@]/-m32/-m64}" "$source" 2>&1); then
    echo "$compiler -m64: accepted; it must be refused" >&2
    status=1
  else
    first=$(grep -m1 'error' <<<"$diagnostics")
    if grep -q '32-bit x86 programs' <<<"$first"; then
      echo "$compiler -m64: refused, first: $first"
    else
      echo "$compiler -m64: the first error does not say why: $first" >&2
      status=1
    fi
  fi
done
exit "$status"
