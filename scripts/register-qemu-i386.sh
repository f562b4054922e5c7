#!/usr/bin/env bash
# Registers qemu's user-mode emulator for 32-bit x86 programs with the
# binfmt_misc instance mounted at DIR (default /proc/sys/fs/binfmt_misc),
# unless it is there already. Used by setup.sh on kernels that run no
# 32-bit code, and by emulated.sh in a private instance. F: the emulator is
# opened now, so that it works in other mount namespaces and chroots too.
set -euo pipefail
binfmt=${1:-/proc/sys/fs/binfmt_misc}
[ -e "$binfmt/qemu-i386" ] && exit 0
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >"$binfmt/register"
