#!/usr/bin/env bash
# Starts the workstation. (The device simulator joins here once it exists.)
set -eu
build=${1:-build/default}
exec "$build/bin/solmir3-arm"
