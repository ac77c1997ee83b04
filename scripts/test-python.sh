#!/usr/bin/env bash
# Installs the Python package (python/) into a virtual environment as the
# README says, with Debian's python3 and its packages, and runs its tests
# (tests/python/) against the plain build in build/: the library and the tool
# are named explicitly, so that an installed libastrel1 is never the one tested.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh python3-venv python3-setuptools python3-wheel python3-pytest python3-tango
export ASTREL_LIBRARY=$PWD/build/libastrel.so.1 ASTREL_TOOL=$PWD/build/tools/astrel
if [ ! -f "$ASTREL_LIBRARY" ] || [ ! -x "$ASTREL_TOOL" ]; then
    echo "test-python: build the library and the tool in build/ first (scripts/demo.sh does)" >&2
    exit 1
fi
python=/usr/bin/python3  # Debian's, whose packages the environment sees
venv=build/python-venv
[ -x "$venv/bin/pip" ] || "$python" -m venv --system-site-packages "$venv"
# The package anew, and its tango extra met by Debian's python3-tango.
"$venv/bin/pip" install -q --no-index --no-build-isolation --force-reinstall --no-deps ./python
"$venv/bin/pip" install -q --no-index --no-build-isolation "./python[tango]"
timeout 900 "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python "$@"
