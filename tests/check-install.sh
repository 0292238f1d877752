#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the installed tree: the
# program, the desktop entry, the application icon at each hicolor size, the
# AppStream metadata and the licence, with the desktop entry and metadata
# passed through desktop-file-validate and appstreamcli.
# Usage: check-install.sh <cmake> <build directory> <desktop id> <version>
set -uo pipefail

cmake=$1
build_dir=$2
app_id=$3
version=$4

passed=0
failed=0
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "PASS: $what"
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

if ! "$cmake" --install "$build_dir" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log"
    rm -f "$prefix.log"
    echo "FAIL: cmake --install"
    exit 1
fi
rm -f "$prefix.log"

share=$prefix/share
desktop=$share/applications/$app_id.desktop
metainfo=$share/metainfo/$app_id.metainfo.xml

is_elf_program() { [[ -x $1 && $(head -c 4 "$1" | od -An -c | tr -d ' ') == '177ELF' ]]; }
check "bin/kestrune is an executable ELF program" is_elf_program "$prefix/bin/kestrune"

# The value of one key in the desktop entry's main group.
entry() { sed -n "/^\[Desktop Entry\]/,/^\[/ s/^$1=//p" "$desktop"; }
has_entry() { [[ $(entry "$1") == "$2" ]]; }
has_any_entry() { [[ -n $(entry "$1") ]]; }
check "desktop entry installed" test -f "$desktop"
check "desktop entry: Type" has_entry Type Application
check "desktop entry: Name" has_entry Name Kestrune
check "desktop entry: English comment" has_any_entry Comment
check "desktop entry: Chinese comment" has_any_entry 'Comment\[zh_CN\]'
check "desktop entry: Exec is the installed program" has_entry Exec kestrune
check "desktop entry: Icon is the installed icon" has_entry Icon "$app_id"
check "desktop entry: Categories" has_entry Categories 'Network;Development;'
# The program sets its application name, which is the X11 window class.
check "desktop entry: StartupWMClass" has_entry StartupWMClass kestrune

# Errors and warnings fail; hints (such as two main categories) do not.
validate_desktop() {
    local out
    out=$(desktop-file-validate "$desktop" 2>&1)
    local rc=$?
    [[ -n $out ]] && echo "$out"
    [[ $rc -eq 0 ]] && ! grep -qE ': (error|warning):' <<<"$out"
}
check "desktop-file-validate accepts the desktop entry" validate_desktop

# Width and height from the PNG header, big-endian at bytes 16..23.
png_size() {
    local b
    read -ra b < <(od -An -tu1 -j16 -N8 "$1")
    echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}
is_png_of_size() {
    [[ -f $1 && $(head -c 8 "$1" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a && $(png_size "$1") == "$2" ]]
}
for size in 16 24 32 48 64 128 256; do
    check "hicolor ${size}x${size} icon" \
        is_png_of_size "$share/icons/hicolor/${size}x${size}/apps/$app_id.png" "${size}x${size}"
done

has_line() { grep -qF -- "$2" "$1"; }
check "metainfo installed" test -f "$metainfo"
check "metainfo: component id" has_line "$metainfo" "<id>$app_id</id>"
check "metainfo: launchable is the desktop entry" has_line "$metainfo" \
    "<launchable type=\"desktop-id\">$app_id.desktop</launchable>"
check "metainfo: icon" has_line "$metainfo" "<icon type=\"stock\">$app_id</icon>"
check "metainfo: English summary" grep -qE '<summary>[^<]+</summary>' "$metainfo"
check "metainfo: Chinese summary" grep -qE '<summary xml:lang="zh_CN">[^<]+</summary>' "$metainfo"
check "metainfo: screenshot" grep -qE '<image>[^<]*/docs/screenshot\.png</image>' "$metainfo"
check "metainfo: release of this version" has_line "$metainfo" "<release version=\"$version\""
check "metainfo: content rating" has_line "$metainfo" '<content_rating type="oars-1.1"'
check "appstreamcli validates the metainfo" appstreamcli validate --no-net "$metainfo"
# The tree check also finds the desktop entry that the metainfo launches.
check "appstreamcli validates the installed tree" appstreamcli validate-tree --no-net "$prefix"

check "licence installed" test -s "$share/doc/kestrune/copyright"

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
