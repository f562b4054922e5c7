#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a Debian 12
# machine. Idempotent: packages already present are skipped, so a second run
# takes a second or two. Must run as root (or through sudo).
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive

packages=(
  g++-mingw-w64-i686 mingw-w64-i686-dev cmake make
  gcc-mingw-w64-x86-64  # the tests' 64-bit DLL, which stagecheck must refuse
  wine wine32:i386 wine64 qemu-user-static fonts-wine
  # what Wine's 32-bit X11 driver loads at run time (recommends only)
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386
  libxfixes3:i386 libxinerama1:i386 libxcomposite1:i386
  xvfb x11-utils fonts-horai-umefont fonts-ipafont-gothic locales imagemagick
  googletest clang-format python3 git
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync can fail one list (seen: the i386 list
  # of the security suite, "File has unexpected size"). The 32-bit and
  # 64-bit copies of a library must then come from one suite, or they
  # differ in version and cannot both be installed: the release's own
  # suite is preferred for that install. The install is the real check.
  release=()
  if ! apt-get update -q; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "setup: a package list did not download; installing from $codename itself"
    release=(-o "APT::Default-Release=$codename")
  fi
  apt-get install -y -q --no-install-recommends "${release[@]}" "${missing[@]}"
fi

# Wine takes the ANSI code page from LANG, and only from a locale that
# exists (else it silently uses 1252): ja_JP for 932, en_US for 1252 (the
# tests' Western run), zh_CN for 936 and ru_RU for 1251 (runs by hand).
wanted=()
for name in ja_JP en_US zh_CN ru_RU; do
  if ! locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8$"; then
    sed -i "s/^# *\($name.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" >>/etc/locale.gen
    wanted+=("$name.UTF-8")
  fi
done
if [ ${#wanted[@]} -gt 0 ]; then
  echo "setup: generating the locales ${wanted[*]}"
  locale-gen >/dev/null
fi

# Some kernels run with 32-bit emulation switched off (exec of any i386 ELF
# fails with "Exec format error"). 32-bit Wine then runs through qemu's user
# mode emulator, registered for i386 ELF files with binfmt_misc. The probe
# runs the 32-bit dynamic loader, which prints its version and exits.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  if [ ! -e "$binfmt/qemu-i386" ]; then
    echo "setup: registering qemu-i386 for 32-bit programs (no native ia32 support)"
    "$(dirname "$0")/register-qemu-i386.sh" "$binfmt"
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "setup: 32-bit programs cannot run here" >&2; exit 1; }
fi

echo "setup: done"
