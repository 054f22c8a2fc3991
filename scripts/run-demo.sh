#!/usr/bin/env bash
# `make run`: shows the library at work on the demo folder, whose pictures
# the project draws itself.
set -euo pipefail
BUILD="${1:-build}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DEMO="$ROOT/$BUILD/demo"
mkdir -p "$DEMO"
"$ROOT/$BUILD/tools/demo-pictures" "$DEMO"
exec "$ROOT/$BUILD/tools/quivra-img" info "$DEMO"/*
