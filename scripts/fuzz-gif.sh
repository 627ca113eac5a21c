#!/usr/bin/env bash
# Fuzzes the GIF reader and writer for SECONDS (default 60); see scripts/fuzz.sh.
exec "$(dirname "$0")/fuzz.sh" gif "${1:-60}"
