#!/usr/bin/env bash
# Builds everything and runs every test suite: the unit, tool and end-to-end
# tests under Xvfb, then the sanitizer builds and a bounded fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
for stage in scripts/ci/*.sh; do
  echo "== ${stage}" >&2
  bash "$stage"
done
