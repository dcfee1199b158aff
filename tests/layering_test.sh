#!/usr/bin/env bash
# Each folder of src/ may include only itself and the folders below it; the
# static libraries catch most upward calls at link time, this catches the
# headers (inline code, types) the linker never sees.
#   tests/layering_test.sh SRC_DIR
set -uo pipefail
cd "$1" || exit 1

declare -A allowed=(
    [platform]="platform"
    [core]="core platform"
    [formats]="formats core platform"
    [sources]="sources formats core platform"
    [lists]="lists core platform"
    [options]="options core platform"
    [schedule]="schedule core platform"
    [download]="download sources formats lists core platform"
    [tools]="tools formats core platform"
)
status=0
for folder in "${!allowed[@]}"; do
    # Widget code in ui/ sits in the window's library and may reach further.
    while IFS= read -r line; do
        file=${line%%:*}
        target=$(sed -n 's/.*#include "\([a-z_]*\)\/.*/\1/p' <<<"$line")
        [[ " ${allowed[$folder]} " == *" $target "* ]] && continue
        echo "$file includes $target/, which $folder/ must not use"
        status=1
    done < <(grep -rn --include='*.h' --include='*.cpp' '#include "[a-z_]*/' "$folder" | grep -v "^$folder/ui/")
done
exit $status
