#!/usr/bin/env bash
# Runs one GUI test file with a session bus of its own, so that the program and
# the test meet on one accessibility bus and nothing leaks between test files.
set -euo pipefail
# The programs must reach the accessibility bus, whatever the caller's setting.
unset NO_AT_BRIDGE
exec dbus-run-session -- /usr/bin/python3 "$@"
