#!/usr/bin/env bash
# Runs one GUI test file with a session bus of its own, so that the program and
# the test meet on one accessibility bus and nothing leaks between test files.
set -euo pipefail
# The programs must reach the accessibility bus, whatever the caller's setting.
unset NO_AT_BRIDGE AT_SPI_BUS_ADDRESS
if [ "${1:-}" != "--in-session" ]; then
  exec dbus-run-session -- "$0" --in-session "$@"
fi
shift
# The accessibility bus of this session, named outright: without it the test
# and the program could each pick up another bus that a program on the same
# display announced earlier (an autolaunched session, say) and never meet.
address=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus \
  /org/a11y/bus org.a11y.Bus.GetAddress)
export AT_SPI_BUS_ADDRESS="${address//[[:space:]]/}"
exec /usr/bin/python3 "$@"
