#!/bin/bash
# Runs the README's run command headless and checks what it reports: the success message, the
# trusted-zone values in the exported registry content, and the window image.
#   run_script_test.sh BUILD_DIR OUT_DIR
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=$(realpath -m "$1")
out_dir=$(realpath -m "$2")
rm -rf "$out_dir/settings.reg" "$out_dir/window.png"

output=$("$root/scripts/run" --headless --no-build --build-dir "$build_dir" --out "$out_dir" \
    192.0.2.10 2>&1)
status=$?
printf '%s\n' "$output"

failures=0
check() {
    if ! grep -qF -- "$1" <<<"$output"; then
        echo "MISSING in the output: $1"
        failures=$((failures + 1))
    fi
}
[ "$status" -eq 0 ] || { echo "scripts/run ended with $status"; failures=$((failures + 1)); }
check "typed address: 192.0.2.10"
check "message box [提示信息]: 恭喜你，设置成功！"
check "program ended with exit code 0"
check '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones\2]'
check '"2101"=dword:00000003'
check '"CurrentLevel"=dword:00000000'
check "== window image: $out_dir/window.png"
if ! head -c 8 "$out_dir/window.png" 2>/dev/null | od -An -tx1 | grep -q '89 50 4e 47 0d 0a 1a 0a'; then
    echo "no PNG image at $out_dir/window.png"
    failures=$((failures + 1))
fi
[ -s "$out_dir/settings.reg" ] || { echo "no $out_dir/settings.reg"; failures=$((failures + 1)); }
exit $((failures > 0))
