#!/usr/bin/env bash
# Installs what is needed, builds Mireva and starts it on the user's desktop.
# Arguments are passed to the program (an address, --command N, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display is set: run Mireva on a desktop, or under Xvfb with: xvfb-run -a build/bin/mireva" >&2
  exit 1
fi
exec build/bin/mireva "$@"
