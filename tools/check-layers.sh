#!/usr/bin/env bash
# Keeps the layers one-way: fails on an include that reaches up to a higher rank, and on units
# (a header and its source) that include each other in a circle. Prints each breach.
#   check-layers.sh [SRC_DIR]
set -uo pipefail
src=${1:-$(cd "$(dirname "$0")/../src" && pwd)}

# Lowest first; a layer may include its own rank and the ranks below.
rank() {
    case $1 in
        support) echo 1 ;;
        system) echo 2 ;;
        script) echo 3 ;;
        audio|ui) echo 4 ;;
        uninstall) echo 5 ;;   # the installation replays an earlier version's journal; never the reverse
        install) echo 6 ;;
        shell) echo 7 ;;
        *) echo 0 ;;
    esac
}

breaches=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT

cd "$src" || exit 2
for file in */*.h */*.cpp */*.rc; do
    [ -e "$file" ] || continue
    layer=${file%%/*}
    unit=${file%.*}
    if [ "$(rank "$layer")" = 0 ]; then
        echo "$file: folder $layer has no rank"
        breaches=$((breaches + 1))
        continue
    fi
    while IFS=: read -r line target; do
        [[ $target == */* ]] || target="$layer/$target"
        to=${target%%/*}
        if [ "$(rank "$to")" -gt "$(rank "$layer")" ]; then
            echo "$file:$line includes $target, a higher layer"
            breaches=$((breaches + 1))
        fi
        [ "${target%.*}" = "$unit" ] || echo "$unit ${target%.*}" >> "$edges"
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | sed -E 's/^([0-9]+):[^"]*"([^"]+)".*/\1:\2/')
done

# tsort names the units of each circle it finds.
if ! loops=$(tsort "$edges" 2>&1 >/dev/null) || [ -n "$loops" ]; then
    echo "$loops" | awk '/input contains a loop/ { if (n) print "circle: " c; c = ""; n = 0; next }
                         { sub(/^tsort: /, ""); c = n++ ? c " -> " $0 : $0 }
                         END { if (n) print "circle: " c }'
    breaches=$((breaches + 1))
fi

if [ $breaches -gt 0 ]; then
    echo "layering: $breaches breach(es)"
    exit 1
fi
echo "layering: every include points down or sideways, and no units form a circle"
