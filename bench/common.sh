# Helpers for the benchmark scripts: source this file.
# best_of N cmd...: the fastest wall time of N runs, in seconds.
best_of() {
    local n=$1; shift
    local best=""
    for _ in $(seq "$n"); do
        local start end t
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    printf '%.4f' "$best"
}
# row name ours peer [unit]: prints a line with the ratio peer/ours.
row() {
    local ratio
    ratio=$(echo "scale=2; $3 / $2" | bc -l)
    printf '%-34s %11s%s %11s%s %8s\n' "$1" "$2" "${4:-s}" "$3" "${4:-s}" "$ratio"
}
