#!/usr/bin/env bash
# Every command and option that `pelorin-cli` and `pelorin` list in their
# --help is described in their manual pages.
# Usage: check-manual-pages.sh PELORIN-CLI PELORIN FOLDER-OF-THE-PAGES
set -euo pipefail
cli=$1 app=$2 pages=$3
status=0

# The page names every word of the help that starts with "--" (roff writes "\-\-").
covers() {
  local page=$1 help=$2 option
  for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    if ! grep -qF -- "${option//-/\\-}" "$page"; then
      echo "$(basename "$page") does not describe $option" >&2
      status=1
    fi
  done
}

help=$("$cli" --help)
for command in $(sed -n '/^Subcommands:/,$p' <<<"$help" | awk 'NR > 1 && NF { print $1 }'); do
  grep -qE "^\.BI? $command\b|^\.SS $command\b" "$pages/pelorin-cli.1" ||
    { echo "pelorin-cli.1 does not describe the command $command" >&2; status=1; }
  help+=$'\n'$("$cli" "$command" --help)
done
covers "$pages/pelorin-cli.1" "$help"
covers "$pages/pelorin.1" "$("$app" --help)"
exit $status
