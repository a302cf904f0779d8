#!/usr/bin/env bash
# Installing the product's package: msi.so's MsiInstallProductW on
# setup/pellorin.msi into an empty sandbox (files through temporary names,
# each synced, then renamed; hive values; the product record), against
# msitools' `msiextract` unpacking the same package into a folder (no sync,
# no hive). Both timed as whole processes, best of three, wall and CPU
# time; then the reinstall over the installed tree.
# ratio = our MB/s over msiextract's. We also check every file's MD5 against
# the package's hash table and sync it; msiextract does neither.
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/setup/msi_install_bench"
engine="$build/src/modules/msi/msi.so"
package="$build/setup/pellorin.msi"
for f in "$bench" "$engine" "$package"; do
  [ -e "$f" ] || { echo "setup: $f not built" >&2; exit 1; }
done
command -v msiextract >/dev/null || { echo "setup: msiextract (msitools) is missing" >&2; exit 1; }

work="$(mktemp -d /tmp/tonvik-bench-setup-XXXXXX)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_DIRS="$work/etc" XDG_CONFIG_HOME="$work/home"
hive() {
  mkdir -p "$work/etc/Quellbrook"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"ProgramFilesDir"="%s/programs"\r\n"SystemModulesDir"="%s/modules"\r\n"ProgramMenuDir"="%s/menu"\r\n' \
    "$work" "$work" "$work" > "$work/etc/Quellbrook/system.reg"
}

# Best wall and CPU seconds of three runs; `fresh` runs before each.
measure() {
  local fresh="$1"; shift
  local wall="" cpu="" t c
  for _ in 1 2 3; do
    $fresh
    local t0="$EPOCHREALTIME"
    /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; return 1; }
    local t1="$EPOCHREALTIME"
    read -r user sys < "$work/time"
    t="$(awk "BEGIN{printf \"%.4f\", $t1 - $t0}")"
    c="$(awk "BEGIN{printf \"%.2f\", $user + $sys}")"
    if [ -z "$wall" ] || awk "BEGIN{exit !($t < $wall)}"; then wall="$t"; fi
    if [ -z "$cpu" ] || awk "BEGIN{exit !($c < $cpu)}"; then cpu="$c"; fi
  done
  echo "$wall $cpu"
}
clean_install() { rm -rf "$work/programs" "$work/menu" "$work/etc"; hive; }
clean_extract() { rm -rf "$work/extract"; mkdir -p "$work/extract"; }
keep() { :; }

read -r ours ours_cpu < <(measure clean_install "$bench" "$engine" "$package")
read -r again again_cpu < <(measure keep "$bench" "$engine" "$package" "REINSTALL=ALL REINSTALLMODE=vomus")
read -r ref ref_cpu < <(measure clean_extract msiextract -C "$work/extract" "$package")
bytes="$(du -sb "$work/extract" | cut -f1)"
mb="$(awk "BEGIN{printf \"%.1f\", $bytes / 1e6}")"
row() {  # label ours-seconds reference-seconds
  local a b
  a="$(awk "BEGIN{printf \"%.1f\", $mb / $2}")"
  b="$(awk "BEGIN{printf \"%.1f\", $mb / $3}")"
  printf "%-26s %8s %8s %10s %10s %7s\n" "$1" "$2" "$a" "$3" "$b" "$(awk "BEGIN{printf \"%.2f\", $a / $b}")"
}
printf "pellorin.msi: %s bytes, %s MB of files\n" "$(stat -c %s "$package")" "$mb"
printf "%-26s %8s %8s %10s %10s %7s\n" "time" "ours s" "ours MB/s" "extract s" "extr MB/s" "ratio"
row "install, wall" "$ours" "$ref"
row "install, cpu (user+sys)" "$ours_cpu" "$ref_cpu"
row "reinstall, wall" "$again" "$ref"
