#!/usr/bin/env bash
# Installs the Python package (python/) into a virtual environment as the
# README says, with Debian's python3 and its packages, and runs its tests
# (tests/python/) against the plain build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh python3-venv python3-setuptools python3-wheel python3-pytest python3-tango
python=/usr/bin/python3  # Debian's, whose packages the environment sees
venv=build/python-venv
[ -x "$venv/bin/pip" ] || "$python" -m venv --system-site-packages "$venv"
"$venv/bin/pip" install -q --no-index --no-build-isolation --force-reinstall ./python
timeout 600 "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python "$@"
