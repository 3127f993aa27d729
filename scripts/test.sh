#!/usr/bin/env bash
# The whole test suite: the native tests (unit tests, our hosts of every format
# against the real binaries, the editors under Xvfb), then each suite in
# scripts/test.d: the LV2 tools, the renderer under Wine, the sanitizers and
# fuzzers, the Windows binaries under Wine and the real hosts.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

status=0
echo "== native tests" >&2
ctest --test-dir build/linux --output-on-failure -j "$(nproc)" || status=1

# Extra suites (Wine, sanitizers, fuzzing) each add a script here.
for suite in scripts/test.d/*.sh; do
  [ -e "$suite" ] || continue
  echo "== $(basename "$suite" .sh)" >&2
  bash "$suite" || status=1
done
exit $status
