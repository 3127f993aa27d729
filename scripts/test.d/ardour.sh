#!/usr/bin/env bash
# A real host: Debian's Ardour 7 scans the Linux VST 3 bundle and runs it headless.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/ardour-check.sh
