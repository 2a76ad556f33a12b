# Sourced by the music scripts: a private PulseAudio server with one null
# sink, for Wine to play into and parec to record from.
#   pulse_start DIR   starts it with its runtime folder DIR (made afresh);
#                     exports PULSE_SERVER for the programs run afterwards
#   pulse_stop        ends exactly the processes pulse_start began, by PID
# The server runs in the foreground of a background job, so its PID is ours;
# nothing else is ever stopped.
PULSE_SINK=stakka_sink
PULSE_PID=
PAREC_PID=

pulse_start() {
  PULSE_DIR=$1
  rm -rf "$PULSE_DIR"
  mkdir -p "$PULSE_DIR/run" "$PULSE_DIR/home" "$PULSE_DIR/state" "$PULSE_DIR/config"
  chmod 700 "$PULSE_DIR/run"
  printf 'autospawn = no\n' >"$PULSE_DIR/client.conf"
  (
    export XDG_RUNTIME_DIR=$PULSE_DIR/run HOME=$PULSE_DIR/home
    export PULSE_RUNTIME_PATH=$PULSE_DIR/run PULSE_STATE_PATH=$PULSE_DIR/state
    export PULSE_CONFIG_PATH=$PULSE_DIR/config
    exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      -L "module-null-sink sink_name=$PULSE_SINK rate=44100 channels=2" \
      -L "module-native-protocol-unix auth-anonymous=1 socket=$PULSE_DIR/run/native" \
      --log-target=file:"$PULSE_DIR/pulseaudio.log" </dev/null >/dev/null 2>&1
  ) &
  PULSE_PID=$!
  export PULSE_SERVER=unix:$PULSE_DIR/run/native
  export PULSE_CLIENTCONFIG=$PULSE_DIR/client.conf
  local i
  for i in $(seq 1 100); do
    if pactl info >/dev/null 2>&1; then
      return 0
    fi
    if ! kill -0 "$PULSE_PID" 2>/dev/null; then
      break
    fi
    sleep 0.1
  done
  echo "pulse-env: the sound server did not start; its log:" >&2
  cat "$PULSE_DIR/pulseaudio.log" >&2 2>/dev/null
  pulse_stop
  return 1
}

# Records the sink's monitor as raw s16le stereo 44.1 kHz into FILE.
pulse_record_start() {
  parec -d "$PULSE_SINK.monitor" --raw --format=s16le --rate=44100 --channels=2 \
    --latency-msec=100 >"$1" 2>/dev/null </dev/null &
  PAREC_PID=$!
}

_end_pid() {
  local pid=$1 i
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}

pulse_record_stop() {
  _end_pid "$PAREC_PID"
  PAREC_PID=
}

pulse_stop() {
  pulse_record_stop
  _end_pid "$PULSE_PID"
  PULSE_PID=
}
