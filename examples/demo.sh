#!/usr/bin/env bash
# The pagemap tool at work on the example design: a dump, a change and the
# file it saves, lookups, names relabelled through two levels of hierarchy,
# and a check of every map file.
#
#   examples/demo.sh PAGEMAP DESIGN_DIR
#
# DESIGN_DIR must be a copy of this folder (scripts/demo makes one): the demo
# changes a page map, and the checked-in design stays as it is.
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 PAGEMAP DESIGN_DIR (a copy of $(dirname "$0"))" >&2
    exit 2
fi
pagemap_bin=$(realpath "$1")
design=$(realpath "$2")
if [ "${design}" = "$(realpath "$(dirname "$0")")" ]; then
    echo "$0: run the demo on a copy of the example design, not on the design itself" >&2
    exit 2
fi
cd "${design}"

# Run in the design's folder, the tool reads its libraries.defs by itself.
pagemap() { "${pagemap_bin}" "$@"; }

# Prints a command as it would be typed (quoting words the shell would
# otherwise take apart), then runs it; a failing status is shown, not fatal.
show() {
    local word typed=""
    for word in "$@"; do
        if [[ "${word}" =~ [^A-Za-z0-9_./:=@-] ]]; then word="'${word}'"; fi
        typed+=" ${word}"
    done
    printf '\n$%s\n' "${typed}"
    local status=0
    "$@" || status=$?
    if [ "${status}" -ne 0 ]; then echo "(exit status ${status})"; fi
}

echo "The design: two libraries, units with page.map files, a file of names."
show cat libraries.defs

echo
echo "== The page map of the top sheet: pages 2..4 moved up by one =="
show pagemap dump work.top:sch

echo
echo "== A change is saved at once to the unit's page.map =="
show pagemap set work.alu:sch 5 9
show cat "$(pagemap path work.alu:sch)"

echo
echo "== Lookups: a missing pair has its own exit status =="
show pagemap get work.alu:sch 5
show pagemap reverse work.top:sch 4
show pagemap get work.top:sch 9

echo
echo "== Names relabelled through two levels: work.top:sch maps ALU pages, =="
echo "== work.alu:sch maps register pages; CTL's page 1 has no pair =="
show cat names.txt
printf '\n$ pagemap relabel - < names.txt\n'
pagemap relabel - <names.txt
show pagemap relabel-last "cpu(work.top:sch)/ALU2@4(work.alu:sch)/R1@2(gates.reg:sch)"

echo
echo "== Every unit's map file read and checked: damage, leftovers, links to nothing =="
show pagemap check
