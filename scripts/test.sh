#!/usr/bin/env bash
# The whole test suite: native unit tests, then the Windows build under Wine.
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
