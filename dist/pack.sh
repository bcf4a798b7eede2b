#!/usr/bin/env bash
# `make dist`: one zip per build with the three programs, the two libraries,
# TavolinCtl and the README, in build/dist/.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$top/build/dist
mkdir -p "$out"
for build in x86_64:build/bin i686:build/win32/bin; do
  name=${build%%:*}; from=$top/${build#*:}
  stage=$(mktemp -d)
  mkdir "$stage/tavolin"
  for f in Tavolin.exe Runeby.exe Padwig.exe TavolinCtl.exe VBMP3.dll Clavtrap.dll; do cp "$from/$f" "$stage/tavolin/"; done
  sed 's/$/\r/' "$top/dist/README.txt" | iconv -f UTF-8 -t CP932 >"$stage/tavolin/README.txt"
  rm -f "$out/tavolin-$name.zip"
  (cd "$stage" && zip -qr -X "$out/tavolin-$name.zip" tavolin)
  rm -rf "$stage"
  echo "dist: $out/tavolin-$name.zip"
done
