# Sourced by the benchmarks: the CPU one Linux process (all its threads) uses
# over some seconds, in ms to a tenth, from the scheduler's nanosecond counts
# (/proc/PID/stat counts 10 ms ticks, too coarse for an idle program).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f", s}'; }
process_cpu_ms() {  # PID SECONDS
  local t0 t1
  t0=$(cpu_ns "$1"); sleep "$2"; t1=$(cpu_ns "$1")
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f", (b - a) / 1e6}'
}
# The process whose command line holds NAME, once it has started and settled.
settled_pid() {  # NAME
  local pid=""
  for _ in $(seq 1 100); do pid=$(pgrep -n -f "$1"); [ -n "$pid" ] && break; sleep 0.1; done
  sleep 2
  echo "$pid"
}
