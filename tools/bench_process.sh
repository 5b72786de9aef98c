#!/usr/bin/env bash
# Whole-process benchmark of ferrule against the floor: the fastest program that does what any
# converter in place must do (bench/floor_copy.cpp: read in 1 MiB blocks into a page-aligned
# buffer, write "<file>_temp", fsync, the two renames), on the same file; and against the same
# floor with ferrule's swap (--link: the input linked to "<file>_original", the copy renamed over
# it, so that the path always names a file).
#
#  1. Generates a kinematic observation file (256 MiB by default; seed 1, 7 types).
#  2. Rounds of runs, durable and then under eatmydata (fsync and friends made no-ops, so that
#     what remains is the CPU and the page cache): in each round ferrule, the floor and the floor
#     with the link each convert a fresh copy of the file (made and synced untimed), the one that
#     goes first rotating from round to round. Reports every round's times and the ratios
#     ferrule/floor and ferrule/linked floor, and their median, lowest and highest in each mode.
#  3. ferrule's peak resident memory on that file (/usr/bin/time -v).
#  4. ferrule's instructions per input byte under callgrind, on 16 MiB of the generated survey
#     and on the same lines padded with blanks to 80 columns (longer lines).
#  5. The field-book check: in each round under eatmydata, `ferrule --report --csv` of the file
#     (nothing written but the CSV file) and ferrule's conversion of a fresh copy; their ratio,
#     which is to stay at most 1.5.
#  6. With --large, ferrule's peak resident memory on a 2 GiB file (10 Hz, so that its
#     occupations stay within the 2049 site identifiers).
#
# Usage: tools/bench_process.sh [--pairs N] [--settle S] [--size-mb M] [--large] [--build DIR]
#                               [--work DIR]
#   --pairs N    rounds of runs in each mode (default 9)
#   --settle S   seconds of pause after each untimed copy (default 0)
#   --build DIR  build tree of the bench preset, holding ferrule, ferrule-generate and the floor
#                (default build/bench: cmake --workflow --preset bench)
#   --work DIR   where the files go, on the disk to measure (default build/bench-process); it
#                needs about 4 times the file size free, 10 GiB with --large
# Needs: eatmydata, /usr/bin/time (Debian package time), valgrind. Wall times on a shared
# machine are noisy: look at the spread, and at the load printed at the start.
set -euo pipefail
cd "$(dirname "$0")/.."

pairs=9
settle=0
size_mb=256
large=0
build=build/bench
work=build/bench-process
while [ $# -gt 0 ]; do
    case "$1" in
        --pairs) pairs="$2"; shift 2 ;;
        --settle) settle="$2"; shift 2 ;;
        --size-mb) size_mb="$2"; shift 2 ;;
        --large) large=1; shift ;;
        --build) build="$2"; shift 2 ;;
        --work) work="$2"; shift 2 ;;
        -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown argument: $1 (try --help)" >&2; exit 2 ;;
    esac
done

ferrule="$build/ferrule"
generate="$build/tools/generate/ferrule-generate"
floor="$build/bench/ferrule_floor_copy"
for tool in "$ferrule" "$generate" "$floor"; do
    [ -x "$tool" ] || { echo "missing $tool: build first (cmake --workflow --preset bench)" >&2; exit 1; }
done
eatmydata=$(ls /usr/lib/*/libeatmydata.so 2>/dev/null | head -n 1)
[ -n "$eatmydata" ] || { echo "missing libeatmydata.so: apt-get install eatmydata" >&2; exit 1; }
for tool in /usr/bin/time valgrind; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
mkdir -p "$work"

# Wall time of a command in seconds, its output discarded; stops the script if it fails.
timed() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

# The median, lowest and highest of the numbers on standard input.
spread() {
    sort -g | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "median %.3f (lowest %.3f, highest %.3f, %d values)", m, v[1], v[NR], NR }'
}

# A fresh copy of the file to convert, on the disk, synced; then an optional pause (--settle).
# (Here a pause made things worse: after one second idle most runs of every program took 2 to 3
# times as long, so the default is none, and the medians of many rounds are what to read.)
fresh_copy() {
    rm -f "$work/run.19o" "$work/run.19o_original" "$work/run.19o_temp"
    cp "$1" "$work/run.19o"
    sync
    sleep "$settle"
}

# One timed run of `$@ FILE` on a fresh copy of `input`.
run_on_copy() {
    fresh_copy "$input"
    timed "$@" "$work/run.19o"
}

peak_rss_kib() {
    fresh_copy "$1"
    /usr/bin/time -v "$ferrule" "$work/run.19o" 2>&1 >/dev/null |
        awk -F': ' '/Maximum resident set size/ { print $2 }'
}

instructions_per_byte() {
    fresh_copy "$1"
    local collected
    collected=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$ferrule" "$work/run.19o" 2>&1 |
        awk '/Collected/ { print $NF }')
    awk -v c="$collected" -v b="$(stat -c %s "$1")" 'BEGIN { printf "%d for %d bytes = %.3f per byte", c, b, c / b }'
}

echo "ferrule whole-process benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo '?')"
echo "load: $(uptime | sed 's/.*load average/load average/')"
echo "binaries: $ferrule, $floor"

input="$work/input.19o"
"$generate" --seed 1 --size-mb "$size_mb" "$input" 2>/dev/null
bytes=$(stat -c %s "$input")
echo "input: $input, $bytes bytes (kinematic, seed 1, 7 types)"

for mode in durable eatmydata; do
    preload=()
    [ "$mode" = eatmydata ] && preload=(env "LD_PRELOAD=$eatmydata")
    echo
    echo "$mode: round  ferrule_s  floor_s  linked_s  ferrule/floor  ferrule/linked"
    ratios=()
    linked_ratios=()
    for i in $(seq 1 "$pairs"); do
        declare -A took=()
        programs=(ferrule floor linked)
        for k in 0 1 2; do
            program=${programs[$(((i + k) % 3))]}
            case "$program" in
                ferrule) took[$program]=$(run_on_copy "${preload[@]}" "$ferrule") ;;
                floor) took[$program]=$(run_on_copy "${preload[@]}" "$floor") ;;
                linked) took[$program]=$(run_on_copy "${preload[@]}" "$floor" --link) ;;
            esac
        done
        r=$(awk -v a="${took[ferrule]}" -v b="${took[floor]}" 'BEGIN { printf "%.3f", a / b }')
        l=$(awk -v a="${took[ferrule]}" -v b="${took[linked]}" 'BEGIN { printf "%.3f", a / b }')
        printf "%*s %5d  %9s  %7s  %8s  %13s  %s\n" "${#mode}" "" "$i" "${took[ferrule]}" \
            "${took[floor]}" "${took[linked]}" "$r" "$l"
        ratios+=("$r")
        linked_ratios+=("$l")
        unset took
    done
    echo "$mode ratio ferrule/floor:        $(printf '%s\n' "${ratios[@]}" | spread)"
    echo "$mode ratio ferrule/linked floor: $(printf '%s\n' "${linked_ratios[@]}" | spread)"
done
echo

echo "report: round  report_s  conversion_s  report/conversion"
report_ratios=()
for i in $(seq 1 "$pairs"); do
    converted=$(run_on_copy env "LD_PRELOAD=$eatmydata" "$ferrule")
    reported=$(timed env "LD_PRELOAD=$eatmydata" "$ferrule" --report --csv "$work/report.csv" "$input")
    r=$(awk -v a="$reported" -v b="$converted" 'BEGIN { printf "%.3f", a / b }')
    printf "%13d  %8s  %12s  %s\n" "$i" "$reported" "$converted" "$r"
    report_ratios+=("$r")
done
echo "report ratio report/conversion (eatmydata): $(printf '%s\n' "${report_ratios[@]}" | spread)"
rm -f "$work/report.csv"
echo

echo "peak RSS on $bytes bytes: $(peak_rss_kib "$input") KiB"
small="$work/k16.19o"
"$generate" --seed 1 --size-mb 16 "$small" 2>/dev/null
echo "instructions, 16 MiB generated: $(instructions_per_byte "$small")"
awk '{ sub(/\r$/, ""); printf "%-80s\r\n", $0 }' "$small" > "$work/k16-80.19o"
echo "instructions, the same padded to 80 columns: $(instructions_per_byte "$work/k16-80.19o")"

if [ "$large" -eq 1 ]; then
    big="$work/large.19o"
    "$generate" --seed 1 --size-mb 2048 --rate 10 "$big" 2>/dev/null
    echo "peak RSS on $(stat -c %s "$big") bytes (10 Hz): $(peak_rss_kib "$big") KiB"
    rm -f "$big"
fi
rm -f "$work/run.19o" "$work/run.19o_original" "$work/run.19o_temp" "$work/k16-80.19o"
