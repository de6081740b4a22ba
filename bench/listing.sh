#!/usr/bin/env bash
# Listing benchmark: `kelvoftp --no-mlsd ... ls` against `curl` fetching the
# same raw LIST, from a scripted server (bench/listing_server.py) that this
# script starts on loopback and stops again. kelvoftp parses every line and
# prints it again; curl only copies the bytes, so its time is the floor a
# client cannot beat on this server.
#
#   bench/listing.sh
#
# Environment:
#   KELVO_BUILD_DIR  build folder holding src/cli/kelvoftp (default: <repo>/build)
#   BENCH_LINES      lines in the listing (default 200000)
#   BENCH_ROUNDS     rounds of the two listings (default 3)
#
# The report gives the median wall seconds and the largest maximum resident
# set size of each tool, and kelvoftp/curl as a ratio of the times (above 1:
# kelvoftp took longer). No threshold applies.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
kelvoftp="${KELVO_BUILD_DIR:-$repo/build}/src/cli/kelvoftp"
lines=${BENCH_LINES:-200000}
rounds=${BENCH_ROUNDS:-3}
python=/usr/bin/python3

die() { echo "listing.sh: $*" >&2; exit 1; }

[[ -x $kelvoftp ]] || die "no kelvoftp at $kelvoftp (build it, or set KELVO_BUILD_DIR)"
[[ -x $python ]] || die "missing $python"
command -v curl >/dev/null || die "missing curl"
[[ $lines =~ ^[1-9][0-9]*$ ]] || die "BENCH_LINES must be a positive whole number"
[[ $rounds =~ ^[1-9][0-9]*$ ]] || die "BENCH_ROUNDS must be a positive whole number"
gnu_time=""
[[ -x /usr/bin/time ]] && gnu_time=/usr/bin/time

work=""
server_pid=""
cleanup() {
    if [[ -n $server_pid ]]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    if [[ -n $work ]]; then rm -rf -- "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

work=$(mktemp -d /tmp/kelvo-listing.XXXXXX)

echo "generating a listing of $lines lines..."
"$python" "$repo/bench/listing_server.py" "$lines" "$work/port" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 1 600); do
    [[ -s $work/port ]] && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.out" >&2; die "the server stopped"; }
    sleep 0.1
done
[[ -s $work/port ]] || die "the server did not start listening"
port=$(<"$work/port")
url="ftp://u:p@127.0.0.1:$port/"

# Runs the command with stdout to $1 and prints "<wall seconds> <max RSS KiB>".
measure() {
    local out=$1
    shift
    if [[ -n $gnu_time ]]; then
        if ! "$gnu_time" -v -o "$work/time.txt" "$@" >"$out" 2>"$work/stderr.txt"; then
            cat "$work/stderr.txt" >&2
            die "failed: $*"
        fi
        awk -F': ' '
            /Elapsed \(wall clock\)/ {
                n = split($2, p, ":"); s = 0
                for (i = 1; i <= n; i++) s = s * 60 + p[i]
                wall = s
            }
            /Maximum resident set size/ { rss = $2 }
            END { printf "%.3f %d\n", wall, rss }' "$work/time.txt"
    else
        # No GNU time: bash's clock, and the peak RSS (VmHWM) read from /proc
        # while the process runs; the last reading before it ends is kept.
        local t0 t1 pid hwm=0 now rc=0
        t0=$(date +%s.%N)
        "$@" >"$out" 2>"$work/stderr.txt" &
        pid=$!
        while kill -0 "$pid" 2>/dev/null; do
            now=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
            [[ -n $now ]] && (( now > hwm )) && hwm=$now
            sleep 0.02
        done
        wait "$pid" || rc=$?
        t1=$(date +%s.%N)
        (( rc == 0 )) || { cat "$work/stderr.txt" >&2; die "failed: $*"; }
        awk -v a="$t0" -v b="$t1" -v m="$hwm" 'BEGIN { printf "%.3f %d\n", b - a, m }'
    fi
}

# One untimed run of each, kept on disk, to check that both got every line.
"$kelvoftp" --no-mlsd --timeout 120 "$url" ls >"$work/kelvo.txt" || die "kelvoftp ls failed"
curl -sS --max-time 600 "$url" >"$work/curl.txt" || die "curl failed"
k_count=$(wc -l <"$work/kelvo.txt")
c_count=$(wc -l <"$work/curl.txt")
(( c_count == lines )) || die "curl got $c_count of $lines lines"
(( k_count == lines )) || die "kelvoftp listed $k_count of $lines entries"
listing_bytes=$(stat -c %s "$work/curl.txt")

declare -a k_wall=() c_wall=() k_rss=() c_rss=()
for round in $(seq 1 "$rounds"); do
    read -r w r < <(measure /dev/null "$kelvoftp" --no-mlsd --timeout 120 "$url" ls)
    k_wall+=("$w"); k_rss+=("$r")
    read -r w r < <(measure /dev/null curl -sS --max-time 600 "$url")
    c_wall+=("$w"); c_rss+=("$r")
    echo "round $round: kelvoftp ${k_wall[-1]}s ${k_rss[-1]} KiB, curl ${c_wall[-1]}s ${c_rss[-1]} KiB"
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
largest() { printf '%s\n' "$@" | sort -g | tail -n 1; }
ratio() { awk -v k="$1" -v c="$2" 'BEGIN { printf "%.2f", (c > 0) ? k / c : 0 }'; }

mk=$(median "${k_wall[@]}"); mc=$(median "${c_wall[@]}")
echo
echo "listing: $lines lines, $listing_bytes bytes, $rounds rounds, loopback scripted server"
if [[ -n $gnu_time ]]; then echo "measured with: $gnu_time -v"; else echo "measured with: bash clock, VmHWM from /proc"; fi
printf '%-10s %14s %16s\n' "" "median wall s" "max RSS KiB"
printf '%-10s %14s %16s\n' "kelvoftp" "$mk" "$(largest "${k_rss[@]}")"
printf '%-10s %14s %16s\n' "curl" "$mc" "$(largest "${c_rss[@]}")"
echo "time ratio kelvoftp/curl: $(ratio "$mk" "$mc") (above 1: kelvoftp slower; curl does not parse the lines)"
