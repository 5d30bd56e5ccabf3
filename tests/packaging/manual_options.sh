#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compares a program's --help with its manual page (roff as the build made it):
# - the options the manual defines (in its definition terms) are exactly those --help names;
# - every option the manual mentions anywhere is one --help names (no stale references);
# - with a "commands:" block in --help, the manual's COMMANDS terms are exactly those commands.
# Usage: manual_options.sh MANUAL.1 PROGRAM [ARGS...]     (PROGRAM ARGS --help is run)
set -euo pipefail
manual=$1
shift
[ -s "$manual" ] || { echo "FAIL: manual $manual is missing (is scdoc installed? run scripts/setup)"; exit 1; }

help=$("$@" --help 2>&1) || { echo "FAIL: $* --help exited with $?"; exit 1; }

# Options in plain text: a dash or two after a start, a space, "[", "(" or ",", then a letter.
options_in_text() { grep -oE -- '(^|[][ (,])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[][ (,]//' | sort -u; }
# Options in roff, bold: \fB--name\fR.
options_in_roff() { grep -oE -- '\\fB--?[A-Za-z][A-Za-z0-9-]*\\fR' | sed -E 's/^\\fB//; s/\\fR$//' | sort -u; }
# Definition terms of scdoc's roff: the line before each ".RS 4".
terms() { awk '/^\.RS 4$/ { if (prev != "") print prev } { prev = $0 }' "$@"; }

help_options=$(printf '%s\n' "$help" | options_in_text)
manual_defined=$(terms "$manual" | options_in_roff)
manual_mentioned=$(options_in_roff < "$manual")

status=0
report() {  # report WHAT LIST_A LIST_B: lines of A that B lacks
  local missing
  missing=$(comm -23 <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed '/^$/d')
  if [ -n "$missing" ]; then
    echo "FAIL: $1: $(echo $missing)"
    status=1
  fi
}
report "in --help of $1 but not defined in $manual" "$help_options" "$manual_defined"
report "defined in $manual but not in --help of $1" "$manual_defined" "$help_options"
report "mentioned in $manual but not in --help of $1" "$manual_mentioned" "$help_options"

if printf '%s\n' "$help" | grep -q '^commands:'; then
  help_commands=$(printf '%s\n' "$help" |
    awk '/^commands:/ { inside = 1; next } inside && /^$/ { exit } inside && /^  [a-z]/ { print $1 }' | sort -u)
  manual_commands=$(awk '/^\.SH / { inside = ($2 == "COMMANDS") } inside' "$manual" | terms /dev/stdin |
    sed -nE 's/^\\fB([a-z][a-z0-9-]*)\\fR.*/\1/p' | sort -u)
  report "commands in --help of $1 but not in $manual" "$help_commands" "$manual_commands"
  report "commands in $manual but not in --help of $1" "$manual_commands" "$help_commands"
  echo "commands: $(echo $help_commands)"
fi
echo "options: $(echo $help_options)"
[ $status -eq 0 ] && echo "$(basename "$manual") agrees with $1 --help"
exit $status
