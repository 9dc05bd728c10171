#!/usr/bin/env bash
# tools/install-deps.sh against a stand-in dpkg-query that answers from
# FAKE_STATUS ("package:status ..."; a package not in it is unknown to dpkg,
# as on a machine that never had it), and a stand-in apt-get that only notes
# how it was called: what is found missing, the one line naming the command,
# and what would be installed.
# Usage: install_deps_test.sh REPOSITORY_ROOT
set -u
script=$1/tools/install-deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

cat > "$work/dpkg-query" <<'STANDIN'
#!/usr/bin/env bash
# dpkg-query -W -f=FORMAT PACKAGE...: the real one prints in its own order
# and complains on stderr about unknown names; so does this, in reverse.
shift 2
status=0 out=()
for pkg in "$@"; do
    entry=$(tr ' ' '\n' <<< "$FAKE_STATUS" | grep "^$pkg:")
    if [[ -n $entry ]]; then out=("$entry " "${out[@]}")
    else echo "dpkg-query: no packages found matching $pkg" >&2; status=1
    fi
done
printf '%s' "${out[@]}"
exit $status
STANDIN
cat > "$work/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "apt-get $* (DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-})" >> "${0%/*}/apt.log"
STANDIN
chmod +x "$work/dpkg-query" "$work/apt-get"

# expect NAME EXPECTED_STATUS EXPECTED_OUTPUT ARGS...: runs the script with
# the stand-ins first on the PATH and compares status and output (stdout and
# stderr together, against a pattern; "run: sudo" and "run as root:" both
# read "run:").
expect() {
    local name=$1 want_status=$2 want=$3 got status
    shift 3
    got=$(PATH="$work:$PATH" "$script" "$@" 2>&1)
    status=$?
    got=${got/run as root:/run:}
    got=${got/run: sudo /run: }
    # shellcheck disable=SC2053
    if [[ $status != "$want_status" || $got != $want ]]; then
        echo "FAIL $name: status $status, output '$got'; wanted $want_status, '$want'"
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}

all_build="make:installed cmake:installed g++:installed libzstd-dev:installed libfathom-dev:installed libgaviotatb-dev:installed"

FAKE_STATUS="$all_build" expect "nothing missing: silent" 0 "" --check build
FAKE_STATUS="$all_build" expect "nothing missing without --check: no apt-get" 0 "" build

# Removed but not purged, half-installed and never seen are all missing; the
# order is the group's, whatever order dpkg answers in.
FAKE_STATUS="make:installed cmake:installed g++:installed libzstd-dev:config-files libgaviotatb-dev:half-installed" \
    expect "missing ones named with the command" 1 \
    "install-deps: missing packages: libzstd-dev libfathom-dev libgaviotatb-dev; run: apt-get install -y libzstd-dev libfathom-dev libgaviotatb-dev" \
    --check build

# The default is the build and the tests; a group and a package add up, and
# a package named twice is named once.
FAKE_STATUS="$all_build polyglot:installed" expect "default groups: build and test" 1 \
    "install-deps: missing packages: libgtest-dev; run: apt-get install -y libgtest-dev" --check
FAKE_STATUS="$all_build" expect "--package beside a group" 1 \
    "install-deps: missing packages: fairymax; run: apt-get install -y fairymax" \
    --check build --package fairymax --package make --package fairymax
FAKE_STATUS="" expect "unknown group" 2 "install-deps: unknown group 'tset' (*)" --check tset
FAKE_STATUS="" expect "--package without a name" 2 "install-deps: --package needs a name" --package
[[ ! -e $work/apt.log ]] || { echo "FAIL apt-get was called: $(cat "$work/apt.log")"; failures=$((failures + 1)); }

# As root the missing ones are installed: one update, then one install of
# exactly those, asking nothing.
if ((EUID == 0)); then
    FAKE_STATUS="make:installed cmake:installed g++:installed libfathom-dev:installed" expect "installed as root" 0 \
        "install-deps: installing libzstd-dev libgaviotatb-dev
install-deps: installed libzstd-dev libgaviotatb-dev" build
    want="apt-get -q -y -o DPkg::Lock::Timeout=600 update (DEBIAN_FRONTEND=noninteractive)
apt-get -q -y -o DPkg::Lock::Timeout=600 install --no-install-recommends libzstd-dev libgaviotatb-dev (DEBIAN_FRONTEND=noninteractive)"
    if [[ $(cat "$work/apt.log") != "$want" ]]; then
        echo "FAIL apt-get calls: $(cat "$work/apt.log")"
        failures=$((failures + 1))
    else
        echo "ok   apt-get calls"
    fi
fi

((failures == 0)) || { echo "$failures failed"; exit 1; }
