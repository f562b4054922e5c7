#!/usr/bin/env bash
# Benchmarks: nanoseconds per draw of both plug-ins against the floor of the
# same number of direct DrawSurface calls.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
"$root/scripts/setup.sh" >/dev/null
"$root/scripts/build.sh" >/dev/null
WINE_ENV_PREFIX=$build/wineprefix
"$root/scripts/wine-prefix.sh" "$WINE_ENV_PREFIX"
. "$root/scripts/wine-env.sh"
wine_env_start_server
cd "$build/stages"
wine ./stagebench.exe "${1:-2000000}"
