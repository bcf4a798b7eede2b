#!/usr/bin/env bash
# Runs one Windows program under Wine in the test environment (ctest's
# emulator): the 64-bit loader, or with --32 first the 32-bit one, in the
# prefix of that Wine.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
loader=/usr/lib/wine/wine64
if [ "${1:-}" = --32 ]; then
  shift
  loader=/usr/lib/wine/wine
  export TAVOLIN_WINE=32
fi
if [ -n "${TAVOLIN_RUNNER:-}" ]; then
  exec "$loader" "$@"
fi
exec "$here/run.sh" "$loader" "$@"
