#!/usr/bin/env bash
# Sets up the machine, builds the native tool and runs the built-in demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)"
if [ -x build/linux/cli/velmo ]; then
  build/linux/cli/velmo demo "${1:-velmo-demo}"
else
  echo "demo: built everything; the command-line tool is not part of this tree yet"
fi
