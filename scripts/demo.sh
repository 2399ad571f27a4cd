#!/usr/bin/env bash
# Main job: set-up, build, then the host application with the plugin against the bundled example
# server. Starts the server on 127.0.0.1 with the projects of demo/group, gives the host a fresh
# temporary settings path whose install-wide settings name the server's group as repository
# "demo", runs the host headless until the plugin has gone quiet and prints the examples that the
# host's Welcome screen lists. Settings and installed examples stay in <build-dir>/demo until the
# next run, which starts afresh.
#
# Usage: bash scripts/demo.sh [--gui] [--options] [--verbose] [build-dir]
#   --gui      open the host's window instead of printing (needs a display); close it to end
#   --options  also save a picture of the plugin's options page after the sync, in
#              <build-dir>/screenshots/demo-options-page.png (no display needed)
#   --verbose  show the plugin's debug output
set -euo pipefail
cd "$(dirname "$0")/.."

gui=0 options=0 verbose=0 build=build
for arg in "$@"; do
    case $arg in
        --gui) gui=1 ;;
        --options) options=1 ;;
        --verbose) verbose=1 ;;
        --keep) ;; # what it kept is now always kept, in the build folder
        -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "Unknown option: $arg" >&2; exit 2 ;;
        *) build=$arg ;;
    esac
done
if [ $gui = 1 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "--gui needs a display (DISPLAY or WAYLAND_DISPLAY)." >&2
    exit 2
fi

bash scripts/setup.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target qtcreator-host Vantor VantorTranslations gitlabserver

# Each run starts afresh; what it installs stays for a look until the next run.
work=$(cd "$build" && pwd)/demo
rm -rf "$work"
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
mkdir -p "$work/settings" "$work/install/QtProject" "$work/data" "$work/tmp"
examples="$work/data/QtProject/QtCreator/demo"

# Only local traffic: no proxy for the server on 127.0.0.1.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost

"$build/bin/gitlabserver" --root demo/group --group norvel/examples >"$work/server.log" 2>&1 &
server_pid=$!
url=
for _ in $(seq 1 300); do
    url=$(sed -n 's/^Repository URL: //p' "$work/server.log")
    [ -n "$url" ] && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$url" ]; then
    echo "The example server did not start:" >&2
    cat "$work/server.log" >&2
    exit 1
fi
echo "Example server: $url"

# What an installation provides: the repository and the host's example-set entry for it, in the
# install-wide settings. The plugin points the entry at its folder on start.
cat >"$work/install/QtProject/QtCreator.ini" <<INI
[Help]
InstalledExamples=demo

[Vantor]
Repositories="demo|$url|"
INI

export XDG_DATA_HOME="$work/data" TMPDIR="$work/tmp"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"
fi
if [ $verbose = 1 ]; then
    export QT_LOGGING_RULES="tas.vantor.*.debug=true"
fi
host=("$build/bin/qtcreator-host" -settingspath "$work/settings"
      -installsettingspath "$work/install")

if [ $gui = 1 ]; then
    "${host[@]}"
    echo "The examples are in $examples; they stay until the next demo run."
    exit 0
fi

picture=()
if [ $options = 1 ]; then
    mkdir -p "$build/screenshots"
    picture=(--options "Norvel OS Examples" --screenshot "$(cd "$build" && pwd)/screenshots/demo-options-page.png")
fi
status=0
"${host[@]}" --list-examples --quit-when-idle 3 --timeout 120 "${picture[@]}" >"$work/examples.txt" || status=$?
echo
echo "Examples listed by the host's Welcome screen:"
cat "$work/examples.txt"
if [ $status -ne 0 ]; then
    echo "The host ended with exit code $status." >&2
    exit $status
fi
if ! grep -q '^  example: ' "$work/examples.txt"; then
    echo "The host lists no examples." >&2
    exit 1
fi
echo
echo "The examples were installed into $examples"
echo "(settings in $work/settings). They stay there until the next demo run, which starts afresh."
if [ $options = 1 ]; then
    echo "Picture of the options page: ${picture[3]}"
fi
