#!/usr/bin/env bash
# Installs every program that the build, the tests, the demo and the release
# call, on a Debian 12 machine. Idempotent: packages already present are
# skipped, so a second run takes a second or two. Must run as root (or
# through sudo). scripts/bare-root.sh proves the list on an empty root.
#
# Usage: setup.sh [--bare-root]
#   --bare-root  only what scripts/bare-root.sh itself runs on this machine
#                (debootstrap and its keyring, git), nothing else
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive

# Each program the scripts, tests and CMake files run, against its package.
# Essential packages (coreutils, tar, diffutils: cmp and diff, findutils,
# grep, sed, util-linux) and those of priority "required" (mawk: awk) come
# with every Debian root, even debootstrap --variant=minbase; util-linux and
# mawk are listed anyway, as they are called by name.
packages=(
  # The cross build and the SDK example's command:
  #   i686-w64-mingw32-gcc(-posix), -g++-posix (both thread models)
  g++-mingw-w64-i686
  #   windres (resources), objdump (tests/check_binaries.sh,
  #   tests/check_example_build.sh)
  binutils-mingw-w64-i686
  #   the Windows headers and import libraries
  mingw-w64-i686-dev
  #   x86_64-w64-mingw32-gcc (gcc-mingw-w64-x86-64 holds both thread models;
  #   the command is an alternative of each) and -g++-posix: 64-bit DLLs
  #   that the tests build to see them refused
  gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
  #   cmake, ctest (scripts/build.sh, test.sh, release.sh); make
  cmake make
  #   /usr/src/googletest, built for the target by tests/CMakeLists.txt
  googletest
  #   gcc: the machine's own C compiler (tests/check_header_elsewhere.sh,
  #   gcc -m32 -fsyntax-only); clang is checked only where installed
  gcc
  #   python3: keyconfig/make_icon.py, tools/stageview/make_sample_stages.py,
  #   tests/check_release.py, scripts/pack_release.py and `python3 -m
  #   zipfile` (release.sh); they import only the standard library (argparse,
  #   math, os, struct, sys, time, zipfile and its zlib), all in python3's
  #   dependencies
  python3
  #   git: release.sh (rev-parse, log, status, archive)
  git

  # Wine: wine, wineserver (32-bit programs), /usr/lib/wine/wine64 (the
  # prefix tools, scripts/wine-prefix.sh, wine-fonts.sh)
  wine wine32:i386 wine64
  #   /usr/share/wine/fonts/*.ttf (scripts/wine-fonts.sh)
  fonts-wine
  #   what Wine's 32-bit X11 driver loads at run time (recommends only)
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386
  libxfixes3:i386 libxinerama1:i386 libxcomposite1:i386
  #   the dialog's fonts: Ume P Gothic (wine-fonts.sh), IPA P Gothic
  fonts-horai-umefont fonts-ipafont-gothic
  #   locale-gen, for the code pages below
  locales
  #   qemu-i386-static (scripts/register-qemu-i386.sh: below, and
  #   scripts/emulated.sh)
  qemu-user-static
  #   unshare (scripts/emulated.sh), setsid (private-display.sh, wine-env.sh)
  util-linux

  # X and images:
  #   Xvfb (scripts/private-display.sh)
  xvfb
  #   import (the demo's screenshot), convert (the demo's BMP to PNG)
  imagemagick
  #   xdpyinfo, xwininfo, xwd: no script calls them; for looking at a
  #   private display by hand
  x11-utils
  #   awk (tests/check_binaries.sh)
  mawk

  # For developers, called by no script: clang-format (C and C++ sources)
  clang-format
)

# What scripts/bare-root.sh runs out here: debootstrap (which checks the
# archive's signature with gpgv and Debian's keyring, and fetches with
# wget, its dependency), and git for the clone.
bare_root_packages=(debootstrap debian-archive-keyring gpgv git)

case "${1:-}" in
  "") ;;
  --bare-root) packages=("${bare_root_packages[@]}") ;;
  *) echo "usage: setup.sh [--bare-root]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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

if [ "${1:-}" = --bare-root ]; then
  echo "setup: done (what bare-root.sh runs)"
  exit 0
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
