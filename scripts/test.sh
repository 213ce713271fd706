#!/usr/bin/env bash
# Installs what is missing, builds Folvane and runs its tests in three phases, each build in a
# folder of its own:
#   build/       every suite, as the program is built for use (benchmarks built too, not run);
#   build-asan/  every suite again under the address and undefined-behaviour sanitizers;
#   build-tsan/  under the thread sanitizer, the suites that run threads: the scan (catalog),
#                scans and XML catalogues read in two parts at once in the catalogue round trips
#                (export), the export's writing step, the parallel sort and count (views), the UI
#                services called from a worker and the work runner (app widgets), the main
#                window's work (scans, refreshes, catalogues read and compared, exports), the
#                treemap's worker (app window) and the program run without a window, which scans
#                and reads catalogues (app cli). The other suites start no thread of ours;
#                catalog_fork_tests forks, drops privileges and then starts the scan's threads in
#                the child, which the thread sanitizer does not follow.
# A sanitizer report ends the program that made it, so the test that ran it fails. Each phase
# prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

timed() { # NAME COMMAND...
    local name=$1 start=$SECONDS
    shift
    "$@"
    echo "== phase $name: $((SECONDS - start)) s"
}

sanitized_build() { # DIR SANITIZERS [TARGET...]
    local dir=$1 sanitize=$2
    shift 2
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLVANE_SANITIZE="$sanitize" \
        -DFOLVANE_BUILD_BENCH=OFF >/dev/null
    local targets=()
    for t in "$@"; do targets+=(--target "$t"); done
    cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

run_tests() { # DIR [CTEST ARGUMENT...]
    local dir=$1
    shift
    (cd "$dir" && ctest --output-on-failure -j "$jobs" "$@")
}

timed deps bash scripts/install-deps.sh
timed build bash scripts/build.sh
timed tests run_tests build

# Any report is an error that ends the program; leaks are reported too.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
timed build-asan sanitized_build build-asan "address,undefined"
timed tests-asan run_tests build-asan

threaded=(catalog_tests export_tests views_tests app_widget_tests app_window_tests app_cli_tests)
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/sanitizers/tsan.supp:print_suppressions=0"
timed build-tsan sanitized_build build-tsan thread "${threaded[@]}" folvane
timed tests-tsan run_tests build-tsan -L "^($(IFS='|'; echo "${threaded[*]}"))\$"
