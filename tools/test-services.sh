#!/usr/bin/env bash
# Starts what the tests need beside the build: a private PulseAudio daemon
# whose default input is a virtual microphone fed from a null sink (what is
# played into the sink is heard by the microphone).
#   test-services.sh start   prints the environment to export
#   test-services.sh stop
set -euo pipefail
runtime=${VANTORO_TEST_RUNTIME:-/tmp/vantoro-test-runtime-$(id -u)}

start() {
  mkdir -p "$runtime" && chmod 700 "$runtime"
  export XDG_RUNTIME_DIR=$runtime
  if ! pactl info >/dev/null 2>&1; then
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
      --load=module-native-protocol-unix \
      --load="module-null-sink sink_name=vantoro_null" \
      --load="module-remap-source source_name=vantoro_mic master=vantoro_null.monitor" \
      --log-target=file:"$runtime/pulseaudio.log"
    for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    if ! pactl info >/dev/null 2>&1; then
      echo "error: PulseAudio did not answer within 5 s; its log ($runtime/pulseaudio.log) ends:" >&2
      tail -n 20 "$runtime/pulseaudio.log" >&2 || true
      exit 1
    fi
  fi
  pactl set-default-sink vantoro_null
  pactl set-default-source vantoro_mic
  echo "export XDG_RUNTIME_DIR=$runtime"
}

stop() {
  XDG_RUNTIME_DIR=$runtime pulseaudio --kill 2>/dev/null || true
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
