#!/usr/bin/env bash
# Checks the includes of every source file under src/ and tests/ of a source tree:
# a module may include its own headers and those of lower layers only (never a
# sibling's or a higher layer's), the layers below the capture library include
# neither Qt nor GStreamer, and nothing but the capture library includes GStreamer.
# Prints each offending include as file:line and exits 1 when there is one.
# Usage: check_layers.sh <folder that holds src/ and tests/>
set -u
root=${1:?usage: check_layers.sh <source root>}
cd "$root" || exit 2

# Lowest first; siblings share a rank and may not include each other (the catalog
# beside capture and config, playback and the restream server beside the capture
# library). Motion analysis sits above capture (it is a frame target) and below the
# capture library. tests/support
# holds the shared test helpers, just above the common layer; resources holds the
# icons, which the widgets load.
declare -A rank=([platform]=0 [common]=2 [support]=3 [app]=4 [capture]=6 [config]=6 [catalog]=6
                 [motion]=7 [camcap]=8 [playback]=8 [restream]=8 [resources]=9 [widgets]=10 [ui]=12
                 [main]=14)
qt_layers=" resources widgets ui main "
gst_layers=" camcap playback restream "

failures=0
report() {
    echo "$1: $2"
    failures=$((failures + 1))
}

include_re='^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^">]*)'
while IFS= read -r file; do
    module=${file#*/}
    module=${module%%/*}
    [ -n "${rank[$module]+x}" ] || continue
    while IFS= read -r hit; do
        [[ "$hit" =~ $include_re ]] || continue
        at="$file:${BASH_REMATCH[1]}"
        header=${BASH_REMATCH[3]}
        if [ "${BASH_REMATCH[2]}" = '"' ]; then
            target=${header%%/*}
            [ "$target" != "$header" ] || continue    # a header of the same folder
            [ -n "${rank[$target]+x}" ] || continue   # not a module of this tree
            [ "$target" != "$module" ] || continue
            [ "$target" = support ] && [ "${file%%/*}" = tests ] && continue
            if [ "${rank[$target]}" -ge "${rank[$module]}" ]; then
                report "$at" "$module includes $header of layer $target, which is not below it"
            fi
        elif [[ "$header" =~ ^(Qt|Q[A-Z][A-Za-z]*$) ]]; then
            [[ "$qt_layers" == *" $module "* ]] || report "$at" "$module includes the Qt header <$header>"
        elif [[ "$header" =~ ^(gst/|glib|gio/|gobject/) ]]; then
            [[ "$gst_layers" == *" $module "* ]] ||
                report "$at" "$module includes the GStreamer header <$header>"
        fi
    done < <(grep -nE '^\s*#\s*include\s*[<"]' "$file")
done < <(find src tests -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) 2>/dev/null | sort)

if [ "$failures" -gt 0 ]; then
    echo "$failures include(s) break the layering"
    exit 1
fi
echo "layering holds"
