#!/usr/bin/env bash
# The Windows zip holds exactly what a user needs, and every DLL its programs
# import is in it or is Windows' own; its Qt Network reaches HTTPS servers
# (loopback ones of the test's own); unzipped into a Wine folder of its own
# beside a com_settings.txt that chose COM1 and started, it shows its window,
# and once Run is clicked it writes its settings beside itself, records a
# call, and saves the take in progress when the window is closed as Windows
# closes it (WM_CLOSE).
# Usage: wine_package_test.sh BUILD-FOLDER SIMULATOR SCENARIO WINDOW-MESSAGE.EXE
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[[ $# -eq 4 ]] || { echo "usage: $0 BUILD-FOLDER SIMULATOR SCENARIO WINDOW-MESSAGE.EXE" >&2; exit 2; }
build=$1 simulator=$2 scenario=$3 window_message=$4
if [[ -z ${DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# Every Wine program of the run on the virtual display, the Wine folder's
# desktop included.
export TAPERLY_WINE_DISPLAY=1

fail() { echo "FAILED: $*" >&2; exit 1; }
wait_for() {  # SECONDS CONDITION...
    local limit=$1
    shift
    for _ in $(seq $((limit * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

zip=$("$root/scripts/package-windows" "$build")
echo "zip: $zip, $(stat -c %s "$zip") bytes"
work=$(mktemp -d "${TMPDIR:-/tmp}/taperly-package-XXXXXX")
export WINEPREFIX=$work/wine
cleanup() {
    "$root/scripts/wine-run" wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

expected=$(printf '%s\n' Qt6Core.dll Qt6Gui.dll Qt6Network.dll Qt6Widgets.dll libgcc_s_seh-1.dll \
    libstdc++-6.dll libwinpthread-1.dll platforms/qwindows.dll tls/qschannelbackend.dll \
    taperly-help.html taperly-icon.ico taperly.exe | sort)
listed=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
[[ $listed == "$expected" ]] || fail "the zip holds"$'\n'"$listed"$'\n'"instead of"$'\n'"$expected"

folder=$work/Taperly
mkdir -p "$folder"
(cd "$folder" && cmake -E tar xf "$zip")
"$root/scripts/wine-run" wineboot --init 2>/dev/null
system32=$WINEPREFIX/drive_c/windows/system32
while IFS= read -r program; do
    while IFS= read -r dll; do
        # API sets: the loader maps them onto Windows' own DLLs.
        [[ ${dll,,} == api-ms-win-* || ${dll,,} == ext-ms-win-* ]] && continue
        [[ -n $(find "$folder" "$folder/platforms" "$folder/tls" "$system32" -maxdepth 1 -iname "$dll" -print -quit) ]] \
            || fail "${program#"$folder"/} needs $dll, which is neither in the zip nor Windows' own"
    done < <(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$folder" -iname '*.exe' -o -iname '*.dll')

# The zip's Qt Network and TLS plugin, found where taperly.exe finds them:
# the libraries' network test, run from the unzipped folder, reaches HTTPS
# and refuses a certificate no one vouches for.
cp "$build/tests/libraries/network_tests.exe" "$folder/"
"$root/tests/libraries/loopback_servers.py" "$root/scripts/wine-run" "$folder/network_tests.exe" \
    > "$work/network.log" 2>&1 || true
grep -q '^\[  PASSED  \]' "$work/network.log" && ! grep -q '^\[  FAILED  \]' "$work/network.log" \
    || fail "the zip's Qt Network failed:"$'\n'"$(grep -e '^\[' -e 'Failure' -A3 "$work/network.log")"
rm "$folder/network_tests.exe"

# COM1 at 9600 bit/s, polled every 100 ms, written long ago: Run writes it anew.
printf '0\r\n0\r\n100\r\n' >"$folder/com_settings.txt"
touch -d '2020-01-01' "$folder/com_settings.txt"
"$root/scripts/wine-with-scanner" "$simulator" "$scenario" --speed 9600 -- "$folder/taperly.exe" &
running=$!
shown() { xwininfo -root -tree 2>/dev/null | grep -q '"Taperly"'; }
written_at_run() { [[ $(stat -c %Y "$folder/com_settings.txt") -gt $(date -d '2021-01-01' +%s) ]]; }
# Run, in the middle of the button (153, 225, 57 by 25 in the window).
click_run() { "$root/scripts/wine-run" "$window_message" Taperly click 181 237; }
saved_take() { compgen -G "$folder/County-Fire_-_Dispatch_*.wav" >/dev/null; }
take_under_way() { compgen -G "$folder/.taperly-take-*" >/dev/null; }
wait_for 60 shown || fail "no window titled Taperly"
sleep 2
click_run || fail "Run could not be clicked"
wait_for 30 written_at_run || fail "com_settings.txt beside taperly.exe was not written at Run"
wait_for 60 saved_take || fail "the first call was not saved: $(ls -A "$folder")"
wait_for 30 take_under_way || fail "the second call was not being recorded: $(ls -A "$folder")"
sleep 1
"$root/scripts/wine-run" "$window_message" Taperly close || fail "the window could not be closed"
wait_for 30 bash -c "! kill -0 $running 2>/dev/null" || fail "taperly.exe did not end when closed"
wait "$running" || true
compgen -G "$folder/Metro_-_Tac-2_*.wav" >/dev/null \
    || fail "closing the window did not save the take in progress: $(ls -A "$folder")"
! take_under_way || fail "a hidden take was left behind: $(ls -A "$folder")"
echo "passed: $(cd "$folder" && ls -- *.wav | tr '\n' ' ')"
