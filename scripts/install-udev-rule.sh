#!/usr/bin/env bash
# For a real USB reader used from a build tree: puts the udev rule that lets
# the logged-in user open the reader's hidraw node into /etc/udev/rules.d
# (the package brings the same rule in /usr/lib/udev/rules.d instead).
#   install-udev-rule.sh            install it (plug the reader in again after)
#   install-udev-rule.sh --remove   take it out again
set -euo pipefail
rule_src="$(cd "$(dirname "$0")/.." && pwd)/dist/70-vexa-reader.rules"
rule_dst=/etc/udev/rules.d/70-vexa-reader.rules
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

case "${1:-}" in
"")
    $sudo install -D -m 0644 "$rule_src" "$rule_dst"
    echo "installed $rule_dst"
    ;;
--remove)
    $sudo rm -f "$rule_dst"
    echo "removed $rule_dst"
    ;;
*)
    echo "usage: install-udev-rule.sh [--remove]" >&2
    exit 2
    ;;
esac
if command -v udevadm >/dev/null; then
    $sudo udevadm control --reload-rules 2>/dev/null || echo "udev is not running: the rule takes effect when it starts" >&2
fi
