# Sourced by the music scripts: a private PulseAudio server with one null
# sink, for Wine to play into and parec to record from.
#   pulse_start DIR          starts it in DIR (made afresh); exports PULSE_SERVER
#   pulse_stop               ends exactly the server and a recorder (PAREC_PID), by PID
PULSE_SINK=stakka_sink PULSE_PID= PAREC_PID=

pulse_start() {
  rm -rf "$1" && mkdir -p "$1/run" "$1/home" "$1/state" "$1/config" && chmod 700 "$1/run"
  printf 'autospawn = no\n' >"$1/client.conf"
  XDG_RUNTIME_DIR=$1/run HOME=$1/home PULSE_RUNTIME_PATH=$1/run PULSE_STATE_PATH=$1/state \
    PULSE_CONFIG_PATH=$1/config pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no -L "module-null-sink sink_name=$PULSE_SINK rate=44100 channels=2" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$1/run/native" \
    --log-target=file:"$1/pulseaudio.log" </dev/null >/dev/null 2>&1 &
  PULSE_PID=$!
  export PULSE_SERVER=unix:$1/run/native PULSE_CLIENTCONFIG=$1/client.conf
  for _ in $(seq 1 100); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "pulse-env: the sound server did not start (see $1/pulseaudio.log)" >&2
  pulse_stop
  return 1
}

_end_pid() { # one of the two processes started here; both end at TERM
  [ -z "$1" ] || { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; } || true
}

pulse_stop() {
  _end_pid "$PAREC_PID"
  _end_pid "$PULSE_PID"
  PAREC_PID= PULSE_PID=
}
