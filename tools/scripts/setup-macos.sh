#!/usr/bin/env bash
# Installs what test-macos.sh needs to build the Cocoa editor layer against
# GNUstep on Linux (a stand-in for a Mac) and run its smoke test under Xvfb:
# the Objective-C++ compiler, GNUstep's AppKit headers and libraries, and
# its X11 back end. Not part of the normal set-up. Idempotent; `--list`
# prints the packages instead.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(gobjc++ libgnustep-gui-dev gnustep-back0.29-xlib xvfb)

if [ "${1:-}" = "--list" ]; then printf '%s\n' "${packages[@]}"; exit 0; fi
install_packages "${packages[@]}"
