#!/usr/bin/env bash
# Starts Dralvo. The simulator-backed demo is set up here once the program can
# talk to a port.
set -euo pipefail
build=${1:-build}
exec "$build/dralvo"
