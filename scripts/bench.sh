#!/usr/bin/env bash
# Benchmark: set-up, build, then bin/syncbench, which serves generated examples from the bundled
# server with a delay per request, times a first sync by the host with the plugin (headless), a
# same-day re-check, and the same job done by a plain curl | tar script with parallel jobs; then the
# same against large archives of incompressible content, and a gzip bomb.
# Without --examples it runs two rows, one after the other: 100 examples (one list) with the large
# archives and the bomb, then 1 000 (paged) without them.
#
# Usage: bash scripts/bench.sh [syncbench options: --examples N --delay ms --jobs N --large N --large-mib N
#                               --pluginpath dir --keep]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${VANTOR_BUILD_DIR:-build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target syncbench qtcreator-host Vantor >/dev/null
case " $* " in
*" --examples "* | *" --examples="*) "$build/bin/syncbench" "$@" ;;
*)
    "$build/bin/syncbench" --examples 100 "$@"
    "$build/bin/syncbench" --examples 1000 "$@" --large 0
    ;;
esac
