#!/usr/bin/env bash
# Prints what a test run could leave behind in /etc: every path with its
# kind, owner and mode, and the checksum of every readable file; sorted, so
# that two states compare with diff.
set -euo pipefail
find /etc -xdev \( -type f -readable -printf '%p f %U %m ' -exec sha256sum {} \; \) -o \
    \( ! -type f -printf '%p %y %U %m %l\n' \) 2>/dev/null | sed 's/  \/etc\/.*$//' | sort
