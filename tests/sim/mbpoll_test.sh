#!/usr/bin/env bash
# rq55-sim against mbpoll, a Modbus master written by others, over a pseudo-terminal and over
# Modbus/TCP. mbpoll's -r counts from 1: -r 7 is wire register 6.
set -uo pipefail

SIM=${1:?usage: mbpoll_test.sh PATH-TO-rq55-sim}
command -v mbpoll >/dev/null || { echo "FAIL: mbpoll is not installed (apt-get install mbpoll)"; exit 1; }

tmp=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"' EXIT

passed=0
failed=0
check() { # description expected actual
    if [[ "$2" == "$3" ]]; then
        passed=$((passed + 1))
    else
        echo "FAIL $1: expected '$2', got '$3'"
        failed=$((failed + 1))
    fi
}

# Starts a frozen simulator with OPTIONS and sets READY to the line it prints when it is ready.
start_sim() {
    mkfifo "$tmp/$1.ready"
    "$SIM" --static --seed 42 --model 57 "${@:2}" >"$tmp/$1.ready" 2>"$tmp/$1.err" &
    pids+=($!)
    exec {fd}<"$tmp/$1.ready"
    read -r -t 10 -u "$fd" READY || { echo "FAIL: rq55-sim ${*:2} printed no ready line: $(cat "$tmp/$1.err")"; exit 1; }
}

# The values mbpoll reads, one a line (its header and blank lines dropped).
poll() { mbpoll -1 -o 2 -a 1 "${LINK[@]}" "$@" 2>/dev/null | sed -nE 's/^\[[0-9]+\]:[[:space:]]+//p'; }

# mbpoll's error message for a request, or "succeeded".
poll_error() {
    local error
    error=$(mbpoll -1 -o 2 "${LINK[@]}" "$@" 2>&1 >/dev/null | sed -nE 's/.*failed: //p' | head -1)
    echo "${error:-succeeded}"
}

run_checks() {
    local via=$1
    check "$via: model code (816)" "57" "$(poll -r 817)"
    check "$via: serial number (819-821)" "16706 12594 13108" "$(poll -r 820 -c 3 | xargs)"
    check "$via: imported energy (66)" "48213.7" "$(poll -r 67 -t 4:float -B)"

    local voltages
    voltages=$(poll -r 7 -c 6 -t 4:float -B | xargs)
    check "$via: phase voltages near 230 V, line voltages of the same phasors" "consistent" "$(awk '{
        ok = NF == 6
        for (k = 1; k <= 3; k++) {
            a = $k; b = $(k % 3 + 1)
            if (a < 215 || a > 245 || ($(k + 3) - sqrt(a * a + b * b + a * b))^2 > 0.05^2) ok = 0
        }
        print ok ? "consistent" : "inconsistent: " $0 }' <<<"$voltages")"

    poll -r 811 -- 30 >/dev/null
    check "$via: demand period written (810)" "30" "$(poll -r 811)"
    poll -r 805 -t 4:int -B -- -2 >/dev/null
    check "$via: 32-bit value written (804-805)" "-2" "$(poll -r 805 -t 4:int -B)"

    check "$via: read running off the energy block" "Illegal data address" "$(poll_error -a 1 -r 87 -c 4)"
    check "$via: wrong password (819)" "Illegal data value" "$(poll_error -a 1 -r 820 -- 1111)"
    check "$via: right password (819)" "succeeded" "$(poll_error -a 1 -r 820 -- 1234)"
    check "$via: another device address" "Connection timed out" "$(poll_error -o 0.3 -a 2 -r 7)"
}

start_sim pty --pty
device=$(sed -nE 's/.*ready: pty (\/dev\/pts\/[0-9]+) address 1 model 57$/\1/p' <<<"$READY")
LINK=(-m rtu -b 19200 -P none "$device")
if [[ -n $device ]]; then run_checks pty; else check "pty ready line" "pty /dev/pts/N address 1 model 57" "$READY"; fi

start_sim tcp --modbus-tcp 0
port=$(sed -nE 's/.*ready: modbus-tcp 127\.0\.0\.1:([0-9]+) .*/\1/p' <<<"$READY")
LINK=(-m tcp -p "$port" 127.0.0.1)
if [[ -n $port ]]; then run_checks tcp; else check "TCP port in the ready line" "127.0.0.1:PORT" "$READY"; fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
