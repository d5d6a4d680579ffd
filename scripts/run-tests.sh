#!/usr/bin/env bash
# Installs what is needed, builds every configuration and runs the whole test
# suite: the normal and the address/undefined-sanitizer builds run every test,
# the thread-sanitizer build runs the threaded tests, the threaded targets are
# compiled with clang's thread-safety analysis, clang-tidy checks the sources the
# last commit changed, and every fuzz harness is built with clang and run briefly;
# first, scripts/check-layers.py checks that every include goes down the layers
# and scripts/check-format.sh that the tree is as clang-format writes it.
# Exits non-zero on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
fuzz_seconds=${QUILLET_FUZZ_SECONDS:-5}
# Leaks of system libraries that are not ours to mend (tests/lsan.supp says which).
export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"

bash scripts/deps.sh || exit 1

state=$(mktemp -d /tmp/quillet-test.XXXXXX)
cleanup() { bash scripts/services.sh stop "$state" >/dev/null 2>&1; rm -rf "$state"; }
trap cleanup EXIT
eval "$(bash scripts/services.sh start "$state")"

passed=0 failed=0 skipped=0 status=0
run_ctest() {  # run_ctest BUILD_DIR [ctest args...]
  local dir=$1; shift
  local log="$state/ctest-$(basename "$dir").log"
  (cd "$dir" && ctest --output-on-failure --no-tests=ignore -j 2 "$@") 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line; line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [[ -n $line ]]; then
    local f t; f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    # CTest counts a skipped test among the passed ones.
    local names needs name; names=$(sed -nE 's/^[[:space:]]+[0-9]+ - (.*) \(Skipped\)$/\1/p' "$log")
    # This script started the sound server and the X server: a test that needs
    # one of them and skipped did not find it, which is a failure here.
    needs=$(cd "$dir" && ctest -N -L '^(audio|x11)$' "$@" | sed -nE 's/^ *Test +#[0-9]+: //p')
    while read -r name; do
      [[ -n $name ]] || continue
      t=$((t - 1))
      if grep -qxF "$name" <<<"$needs"; then
        echo "$name skipped although the services it needs were started: counted as failed"
        failed=$((failed + 1)); status=1
      else
        skipped=$((skipped + 1))
      fi
    done <<<"$names"
    passed=$((passed + t - f)); failed=$((failed + f))
  fi
  ((rc == 0)) || status=1
}

echo "=== layer check"
if python3 scripts/check-layers.py; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); status=1
fi
echo "=== format check"
if bash scripts/check-format.sh; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); status=1
fi

for config in release asan; do
  echo "=== build $config"
  bash scripts/build.sh "$config" || { echo "build $config failed"; exit 1; }
done
echo "=== build tsan (threaded tests)"
bash scripts/build.sh tsan --target help >/dev/null 2>&1 || true
if cmake --build build/tsan --target help 2>/dev/null | grep -q '^threaded_tests'; then
  bash scripts/build.sh tsan --target threaded_tests || { echo "build tsan failed"; exit 1; }
  have_tsan=1
fi
echo "=== build tsa (lock annotations, clang -Wthread-safety, threaded targets)"
if bash scripts/build.sh tsa --target help 2>/dev/null | grep -q '^threaded_tests'; then
  bash scripts/build.sh tsa --target threaded_tests || { echo "build tsa failed"; exit 1; }
fi
echo "=== build fuzz harnesses"
if cmake --build build/fuzz --target help 2>/dev/null | grep -q '^fuzz_all' || \
   { bash scripts/build.sh fuzz --target help >/dev/null 2>&1 && cmake --build build/fuzz --target help | grep -q '^fuzz_all'; }; then
  bash scripts/build.sh fuzz --target fuzz_all || { echo "build fuzz failed"; exit 1; }
  have_fuzz=1
fi

echo "=== clang-tidy over the sources the last commit changed"
if bash scripts/tidy-changed.sh build/release; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
echo "=== tests: release"
run_ctest build/release
echo "=== tests: asan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/asan
if [[ -n ${have_tsan:-} ]]; then
  echo "=== tests: tsan (threaded)"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest build/tsan -L threaded
fi
if [[ -n ${have_fuzz:-} ]]; then
  echo "=== fuzz: ${fuzz_seconds}s per harness"
  for h in build/fuzz/bin/fuzz_*; do
    [[ -x $h ]] || continue
    name=$(basename "$h")
    corpus="$state/corpus-$name"; mkdir -p "$corpus"
    seeds=$(find fuzz -type d -path "*/corpus/${name#fuzz_}" | head -n 1)
    if "$h" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 "$corpus" ${seeds:+"$seeds"} \
         >"$state/$name.log" 2>&1; then
      passed=$((passed + 1)); echo "fuzz $name: ok ($(grep -oE 'Done [0-9]+ runs' "$state/$name.log"))"
    else
      failed=$((failed + 1)); status=1; echo "fuzz $name: FAILED"; tail -n 40 "$state/$name.log"
    fi
  done
fi
echo "$passed passed, $failed failed, $skipped skipped"
exit $status
