#!/usr/bin/env bash
# Runs one Windows program under wine64 in the test environment (ctest's emulator).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ -n "${TAVOLIN_RUNNER:-}" ]; then
  exec /usr/lib/wine/wine64 "$@"
fi
exec "$here/run.sh" /usr/lib/wine/wine64 "$@"
