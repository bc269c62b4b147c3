#!/usr/bin/env bash
# Walks the desktop application through the flow on the bundled sample disk
# image under Xvfb and writes a PNG of every page to docs/screenshots/.
# usage: scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target pelorin-screenshots sample-image
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing: apt-get install xvfb xauth" >&2; exit 1; }
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
# A fresh settings file, so remembered folders do not show.
export XDG_CONFIG_HOME=$(mktemp -d)
xvfb-run -a -s "-screen 0 1280x800x24" "$build/tools/pelorin-screenshots" "$build/sample.img" docs/screenshots
