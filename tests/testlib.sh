# Sourced by the test scripts: skipping, failing and waiting, alike in each.

# A missing tool skips the check (exit 77, which ctest counts as passed), except under CI,
# where every tool is installed and a skip would hide that the check never ran.
skip() {
    [ -n "${CI:-}" ] && { echo "FAIL: $* (CI is set, so the check may not be skipped)" >&2; exit 1; }
    echo "SKIP: $*"
    exit 77
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# wait_until SECONDS COMMAND...: true once COMMAND is, false when SECONDS have gone by.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}
