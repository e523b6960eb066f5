#!/usr/bin/env bash
# Sets up what is missing, builds Tamvolo and starts it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
tamvolo_setup
cmake --preset default >/dev/null
cmake --build --preset default
exec build/default/bin/tamvolo "$@"
