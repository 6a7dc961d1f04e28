#!/usr/bin/env bash
# Runs the WASAPI playback test under Wine while the private test sound
# server's default output is recorded on the Linux side: its monitor, as
# 16-bit mono at 22050 Hz, into FILE, which the test reads (through Wine's
# Z: drive) once its takes are played out.
# Usage: wine_playback_test.sh WINE_RUN TEST_PROGRAM FILE   (PULSE_SERVER set)
set -euo pipefail
wine_run=$1 program=$2 file=$3
rm -f "$file"
parec -d playback.monitor --format=s16le --rate=22050 --channels=1 --latency-msec=50 \
    >"$file" 2>"$file.err" &
recorder=$!
trap 'kill "$recorder" 2>/dev/null || true; wait "$recorder" 2>/dev/null || true' EXIT
# The recording is under way before the test plays anything.
for _ in $(seq 100); do
    [[ -s $file ]] && break
    kill -0 "$recorder" 2>/dev/null || { cat "$file.err" >&2; exit 1; }
    sleep 0.05
done
TAPERLY_MONITOR_FILE="Z:${file//\//\\}" "$wine_run" "$program"
