# Recording what the sink plays (sourced by the bench scripts that listen,
# inside tools/run.sh, whose null sink is "null").
#
# An idle null sink renders 2 s ahead (its configured latency with no stream
# asking for less), and its monitor cannot take back what it has handed a
# recorder: a stream that joins after another has left is recorded with up
# to 2 s missing from its start, though every sample was played. A silent
# stream asking for 40 ms keeps the sink rendering 10 ms ahead, as a sound
# card does, for as long as the recording runs (SINK_MS sets what it asks).
# What the idle sink had rendered ahead before that stream came cannot be
# taken back either: the recording starts once that has played out.
#   sink_record FILE   starts recording the sink, mono 44.1 kHz, into FILE
#   sink_stop          stops it
sink_record() {
  pacat --playback --raw --format=s16le --rate=44100 --channels=1 --latency-msec=${SINK_MS:-40} </dev/zero &
  sink_keep=$!
  sleep 2.2
  parec -d null.monitor --rate=44100 --channels=1 --format=s16le --file-format=wav "$1" &
  sink_rec=$!
}
sink_stop() {
  kill "$sink_rec" "$sink_keep"
  wait "$sink_rec" "$sink_keep" 2>/dev/null
}
