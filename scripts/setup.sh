#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo and the benchmark need. Idempotent and non-interactive.
set -euo pipefail

packages=(
    build-essential g++ cmake ninja-build ccache pkg-config
    qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
    libssl3 ca-certificates libarchive-dev
    qtkeychain-qt5-dev libsecret-1-0
    tar gzip git curl python3
    # The tests' own desktop keychain (a session bus with a Secret Service) and proxy.
    dbus-daemon gnome-keyring tinyproxy-bin
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    # Quiet unless it fails: the package manager's output goes to a log shown only then.
    log=$(mktemp "${TMPDIR:-/tmp}/vantor-setup.XXXXXX")
    echo "Installing ${#missing[@]} Debian packages: ${missing[*]}"
    if ! { $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
        >"$log" 2>&1; then
        echo "Set-up failed. Its log ($log):" >&2
        cat "$log" >&2
        exit 1
    fi
    rm -f "$log"
fi
