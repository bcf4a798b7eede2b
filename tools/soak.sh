#!/usr/bin/env bash
# `make soak`: the long runs kept out of `make test`, in both builds, each in a
# prefix of its own: 200 000 fuzzed DDE executes (TAVOLIN_FUZZ_COUNT to change
# it) to one player process; 200 000 commands (TAVOLIN_MAPPER_COMMANDS) through
# the mappers' own DDE client code from one process; the player ended from each
# of its states, ten rounds (TAVOLIN_END_ROUNDS); each program started on 1 000
# damaged settings files (TAVOLIN_SETTINGS_CASES; TAVOLIN_SETTINGS_SEED reruns
# one case); 50 000 key presses through Runeby (TAVOLIN_KEY_PRESSES) and 20 000
# button edges through Padwig (TAVOLIN_BUTTON_EDGES) to a player that comes and
# goes; 2 000 Wave and MP3 opens in one player (TAVOLIN_PLAYLIST_OPENS).
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ -z "${TAVOLIN_SHOW:-}" ] && export TAVOLIN_HEADLESS=1
export TAVOLIN_FUZZ_COUNT=${TAVOLIN_FUZZ_COUNT:-200000}
export TAVOLIN_MAPPER_COMMANDS=${TAVOLIN_MAPPER_COMMANDS:-200000}
export TAVOLIN_END_ROUNDS=${TAVOLIN_END_ROUNDS:-10}
export TAVOLIN_SETTINGS_CASES=${TAVOLIN_SETTINGS_CASES:-1000}
export TAVOLIN_KEY_PRESSES=${TAVOLIN_KEY_PRESSES:-50000}
export TAVOLIN_BUTTON_EDGES=${TAVOLIN_BUTTON_EDGES:-20000}
export TAVOLIN_PLAYLIST_OPENS=${TAVOLIN_PLAYLIST_OPENS:-2000}
export TAVOLIN_PREFIX=soak
rc=0
for build in "64 cmake-x64" "32 win32/cmake"; do
  set -- $build
  [ "$1" = 32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 && { echo "soak: 32-bit SKIPPED"; continue; }
  start=$SECONDS
  "$top/tools/wine-exec.sh" $([ "$1" = 32 ] && echo --32) \
    "$top/build/$2/tests/dde_stress_tests.exe" --gtest_filter=Stress.FuzzedExecutesAreAnsweredAndChangeNothing
  r=$?
  echo "soak: the $1-bit build, $TAVOLIN_FUZZ_COUNT executes, took $((SECONDS - start)) s (exit $r)"
  [ $r -ne 0 ] && rc=$r
  start=$SECONDS
  "$top/tools/wine-exec.sh" $([ "$1" = 32 ] && echo --32) \
    "$top/build/$2/tests/mapper_window_tests.exe" --gtest_filter=MapperSoak.*
  r=$?
  echo "soak: the $1-bit build, $TAVOLIN_MAPPER_COMMANDS mapper commands, took $((SECONDS - start)) s (exit $r)"
  [ $r -ne 0 ] && rc=$r
  start=$SECONDS
  "$top/tools/wine-exec.sh" $([ "$1" = 32 ] && echo --32) "$top/build/$2/tests/program_tests.exe" --gtest_filter=ProgramEnd.*
  r=$?
  echo "soak: the $1-bit build, the player ended from each state $TAVOLIN_END_ROUNDS times, took $((SECONDS - start)) s (exit $r)"
  [ $r -ne 0 ] && rc=$r
  bash "$top/tools/make_mp3s.sh" "$top/build/$2/tests/mp3"
  for suite in "files_tests SettingsFiles.*" "runeby_tests RunebySettings.*" "padwig_tests Padwig.AnyFile*" \
               "mapper_program_tests MapperSoak.*" "padwig_tests Padwig.EveryEdgeReaches*" \
               "dde_stress_tests Playlist.*"; do
    set -- $build
    start=$SECONDS
    "$top/tools/wine-exec.sh" $([ "$1" = 32 ] && echo --32) "$top/build/$2/tests/${suite%% *}.exe" --gtest_filter="${suite#* }"
    r=$?
    echo "soak: the $1-bit build, ${suite%% *} ${suite#* }, took $((SECONDS - start)) s (exit $r)"
    [ $r -ne 0 ] && rc=$r
  done
done
exit $rc
