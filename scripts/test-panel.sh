#!/usr/bin/env bash
# Drives astrel panel in headless Chromium (Debian's chromium, chromium-driver
# and python3-selenium, installed when missing) on a simulated stage, with the
# tool of the plain build (build/tools/astrel). Leaves the browser's
# screenshot in build/panel-screenshot.png and prints the update rate the
# page received.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh chromium chromium-driver python3-selenium python3-pytest
[ -x build/tools/astrel ] || { echo "build/tools/astrel is missing: run scripts/test.sh" >&2; exit 1; }
ASTREL_TOOL=build/tools/astrel ASTREL_SCREENSHOT=build/panel-screenshot.png \
    /usr/bin/python3 -m pytest -q -s -p no:cacheprovider tests/panel/test_panel_browser.py
