#!/usr/bin/env bash
# install-deps.sh - the Debian packages this project needs, by purpose, and
# the installation of those that are missing.
#
# Usage: tools/install-deps.sh [--check] [GROUP...] [--package NAME...]
#        (no group and no package: build test)
#
#   build   the compiler, CMake, make and the libraries the engine links
#           (zstd, libfathom) or its table check uses (gaviota)
#   test    GoogleTest, and polyglot, the UCI adapter one session test
#           plays the engine through
#   fuzz    clang, and libFuzzer with clang's sanitizer runtimes (with
#           build for the libraries; the AddressSanitizer,
#           UndefinedBehaviorSanitizer and ThreadSanitizer runtimes of the
#           g++ build come with g++ itself)
#   bench   the benchmarks' outside programs: polyglot make-book, xz for
#           the game collection
#   match   tools/xboard_match.sh: xboard under Xvfb, and the Debian
#           engines its matches and self-test play (fairymax, phalanx)
#   ci      everything .ci/run uses: build, test and fuzz
#
# --package NAME adds one more package, for a script that decides at run time
# what it needs (the match script's opponent).
#
# Only the missing packages are installed: "apt-get update" once, then
# "apt-get install", as root or through sudo where it needs no password.
# Where that is impossible the script prints one line naming the command to
# run and fails. With nothing missing it reads dpkg's database once and
# runs no apt-get, so every make can call it. --check only reports.
set -euo pipefail

declare -A GROUP=(
    [build]="make cmake g++ libzstd-dev libfathom-dev libgaviotatb-dev"
    [test]="libgtest-dev polyglot"
    [fuzz]="clang libclang-rt-dev"
    [bench]="polyglot xz-utils"
    [match]="xboard xvfb fairymax phalanx polyglot"
)
GROUP[ci]="${GROUP[build]} ${GROUP[test]} ${GROUP[fuzz]}"

say() { echo "install-deps: $*" >&2; }

check_only=0
groups=()
packages=()
while (($#)); do
    case $1 in
        --check) check_only=1 ;;
        --package) (($# > 1)) || { say "--package needs a name"; exit 2; }
                   packages+=("$2"); shift ;;
        -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
        *) [[ -n ${GROUP[$1]+set} ]] || { say "unknown group '$1' (${!GROUP[*]})"; exit 2; }
           groups+=("$1") ;;
    esac
    shift
done
((${#groups[@]} + ${#packages[@]})) || groups=(build test)

for g in "${groups[@]}"; do
    read -r -a group_packages <<< "${GROUP[$g]}"
    packages+=("${group_packages[@]}")
done
wanted=()
for pkg in "${packages[@]}"; do
    [[ " ${wanted[*]} " == *" $pkg "* ]] || wanted+=("$pkg")
done

# Without dpkg this is not Debian: nothing to tell, and CMake names what it
# cannot find.
command -v dpkg-query >/dev/null 2>&1 || exit 0

# One query for all of them; a package dpkg has never heard of prints
# nothing, and one removed but not purged reads "config-files": both are
# missing.
installed=" $(dpkg-query -W -f='${Package}:${db:Status-Status} ' "${wanted[@]}" 2>/dev/null || true) "
missing=()
for pkg in "${wanted[@]}"; do
    [[ $installed == *" $pkg:installed "* ]] || missing+=("$pkg")
done
((${#missing[@]})) || exit 0

# The one line for whoever has to install them by hand.
give_up() {
    local how="run as root: apt-get install -y ${missing[*]}"
    command -v sudo >/dev/null 2>&1 && how="run: sudo apt-get install -y ${missing[*]}"
    command -v apt-get >/dev/null 2>&1 ||
        how="install them with the system's package manager (there is no apt-get)"
    say "missing packages: ${missing[*]}; $how"
    exit 1
}
((check_only)) && give_up
command -v apt-get >/dev/null 2>&1 || give_up
if ((EUID == 0)); then
    as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
else
    give_up
fi

say "installing ${missing[*]}"
# Nothing may ask a question: make and CI run this without a terminal. The
# lock timeout lets it wait for another apt-get instead of failing at once.
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive
     apt-get -q -y -o DPkg::Lock::Timeout=600)
"${apt[@]}" update </dev/null || { say "apt-get update failed"; exit 1; }
"${apt[@]}" install --no-install-recommends "${missing[@]}" </dev/null ||
    { say "apt-get install ${missing[*]} failed"; exit 1; }
say "installed ${missing[*]}"
