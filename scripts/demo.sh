#!/usr/bin/env bash
# Builds the normal configuration and lets tsp-host play the telephony service against the built
# OMBIX.TSP, on a registry file of its own (kept under build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null
mkdir -p build/demo
rm -f build/demo/registry.reg
exec build/default/tools/tsp-host/tsp-host --provider build/default/OMBIX.TSP \
  --registry build/demo/registry.reg --script "${1:-tools/tsp-host/demo.txt}"
