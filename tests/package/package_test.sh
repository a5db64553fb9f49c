#!/usr/bin/env bash
# The Debian package as scripts/package makes it from this source tree: the same bytes from two
# folders, lintian silent, Debian's hardening in its programs; then unpacked into a scratch root:
# its files and modes, its control fields, the unpacked patcher run under the X server in a folder
# without a target and ended with a real click, its manual page, its MIME type and desktop entry
# (valid, in the menu, offered for Quellmire.exe and for no other Windows executable, in a MIME
# and desktop database of the test's own), and its command line run as the menu and a file
# manager run it, under a window manager: the file chooser finding the game in a Steam library,
# the game's executable, files of other names, and a folder deeper than PATH_MAX.
# Usage: package_test.sh SOURCE_DIR INSPECTOR_MODULE VERSION
set -euo pipefail
source="$1" inspector="$2" version="$3"
scratch="$(mktemp -d /tmp/qx-package-XXXXXX)"
pid="" wm=""
cleanup() {
    if [ -n "$pid" ]; then kill -9 "$pid" 2>/dev/null || true; fi # a patcher left by a failure
    if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# --- the package -----------------------------------------------------------------------------
# scripts/package run on two copies of the source tree (its last commit with the changes to it;
# files git does not track are left out) in two folders, one after the other, with different
# umasks, locales and time zones and no SOURCE_DATE_EPOCH from the caller: the same bytes twice.
copy() { # FOLDER
    git init -q "$1"
    git -C "$1" fetch -q "$source" HEAD
    git -C "$1" checkout -q FETCH_HEAD
    git -C "$source" diff --binary HEAD | git -C "$1" apply --allow-empty
}
first="$scratch/first" second="$scratch/the second, elsewhere"
package() { # FOLDER UMASK ENVIRONMENT...: scripts/package on a new copy, its output in FOLDER.log
    local folder="$1" mask="$2"
    shift 2
    (umask "$mask" && copy "$folder" && cd / &&
        env -u SOURCE_DATE_EPOCH -u LC_ALL -u LANG "$@" "$folder/scripts/package") \
        >"$folder.log" 2>&1 || { cat "$folder.log"; fail "scripts/package in $folder"; }
    ! grep -E '^[EW]: ' "$folder.log" || fail "lintian reports errors or warnings"
}
package "$first" 022 TZ=UTC LC_ALL=C.UTF-8
package "$second" 002 TZ=Pacific/Chatham LANG=C
deb="$first/build/quellmire-widescreen_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"
sums="$(cd "$scratch" && sha256sum "first/build/${deb##*/}" "${second##*/}/build/${deb##*/}")"
[ "$(cut -d' ' -f1 <<<"$sums" | uniq | wc -l)" = 1 ] || fail "two builds differ: $sums"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quellmire-widescreen ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
for library in libc6 libgtk2.0-0 libpng16-16; do # found by dpkg-shlibdeps in the binary
    [[ ", $(field Depends)," =~ \ $library\ \( ]] || fail "Depends lacks $library: $(field Depends)"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
listing="$(cd "$root" && find . -printf '%M %p\n' | sort -k2)"
expected="drwxr-xr-x .
drwxr-xr-x ./usr
drwxr-xr-x ./usr/bin
-rwxr-xr-x ./usr/bin/quellmire-widescreen
drwxr-xr-x ./usr/libexec
drwxr-xr-x ./usr/libexec/quellmire-widescreen
-rwxr-xr-x ./usr/libexec/quellmire-widescreen/quellmire-widescreen-launcher
drwxr-xr-x ./usr/share
drwxr-xr-x ./usr/share/applications
-rw-r--r-- ./usr/share/applications/quellmire-widescreen.desktop
drwxr-xr-x ./usr/share/doc
drwxr-xr-x ./usr/share/doc/quellmire-widescreen
-rw-r--r-- ./usr/share/doc/quellmire-widescreen/changelog.gz
-rw-r--r-- ./usr/share/doc/quellmire-widescreen/copyright
drwxr-xr-x ./usr/share/icons
drwxr-xr-x ./usr/share/icons/hicolor
drwxr-xr-x ./usr/share/icons/hicolor/128x128
drwxr-xr-x ./usr/share/icons/hicolor/128x128/apps
-rw-r--r-- ./usr/share/icons/hicolor/128x128/apps/quellmire-widescreen.png
drwxr-xr-x ./usr/share/icons/hicolor/32x32
drwxr-xr-x ./usr/share/icons/hicolor/32x32/apps
-rw-r--r-- ./usr/share/icons/hicolor/32x32/apps/quellmire-widescreen.png
drwxr-xr-x ./usr/share/icons/hicolor/48x48
drwxr-xr-x ./usr/share/icons/hicolor/48x48/apps
-rw-r--r-- ./usr/share/icons/hicolor/48x48/apps/quellmire-widescreen.png
drwxr-xr-x ./usr/share/icons/hicolor/64x64
drwxr-xr-x ./usr/share/icons/hicolor/64x64/apps
-rw-r--r-- ./usr/share/icons/hicolor/64x64/apps/quellmire-widescreen.png
drwxr-xr-x ./usr/share/man
drwxr-xr-x ./usr/share/man/man1
-rw-r--r-- ./usr/share/man/man1/quellmire-widescreen.1.gz
drwxr-xr-x ./usr/share/mime
drwxr-xr-x ./usr/share/mime/packages
-rw-r--r-- ./usr/share/mime/packages/quellmire-widescreen.xml"
[ "$listing" = "$expected" ] || fail "files and modes differ:$(diff <(echo "$expected") <(echo "$listing"))"
patcher="$root/usr/bin/quellmire-widescreen"

# Debian's hardening in every program the package holds. Control-flow protection cannot show: the
# linker keeps it only when every object has it, and the C library's start files in Debian 12
# (Scrt1.o, crti.o, crtn.o) do not. Stack clash protection shows only in a function whose stack
# frame outgrows a page, which none of ours does; that the compiler was asked for it, and for the
# two protections before, is read from the options it recorded in each unit of the unstripped build.
while read -r program; do
    report="$(hardening-check "$program" || true)"
    for check in "Position Independent Executable" "Stack protected" "Fortify Source functions" \
        "Read-only relocations" "Immediate binding"; do
        grep -q "^ $check: yes" <<<"$report" || fail "hardening-check $report"
    done
    grep -Eq '^ Stack clash protection: (yes|unknown, no -fstack-clash-protection instructions)' \
        <<<"$report" || fail "hardening-check $report"
    built="$(find "$first/build/package" -path '*/_CPack_Packages' -prune -o -type f \
        -name "${program##*/}" -perm -u+x -print | head -n 1)"
    units="$(readelf --debug-dump=info "$built" | grep DW_AT_producer)"
    [ -n "$units" ] || fail "no units recorded in $built"
    flags=(-fstack-protector-strong -fstack-clash-protection)
    case "$(dpkg --print-architecture)" in amd64 | i386) flags+=(-fcf-protection) ;; esac
    for flag in "${flags[@]}"; do
        ! grep -vF -- " $flag" <<<"$units" || fail "compiled without $flag in $built"
    done
done < <(find "$root" -type f -exec sh -c 'file -b "$1" | grep -q ^ELF' _ {} \; -print)
launcher="$root/usr/libexec/quellmire-widescreen/quellmire-widescreen-launcher"
for binary in "$patcher" "$launcher"; do
    file -b "$binary" | grep -q ', stripped' || fail "$binary is not stripped"
done
for size in 32 48 64 128; do
    icon="$root/usr/share/icons/hicolor/${size}x$size/apps/quellmire-widescreen.png"
    file -b "$icon" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA" ||
        fail "icon $icon: $(file -b "$icon")"
done

# --- the unpacked patcher under the X server -------------------------------------------------
# Started with the inspector module, which describes its windows in $inspect, one
# "type x y width height state xid textwidth textx text" line per widget.
inspect="$scratch/inspect"
start() { # DIRECTORY COMMAND...: runs COMMAND in DIRECTORY in the background, as $pid
    rm -f "$inspect"
    (cd "$1" && shift && HOME="${home:-$scratch}" GTK_MODULES="$inspector" \
        QX_INSPECT_FILE="$inspect" exec "$@") &
    pid=$!
}
# Waits up to 20 s until every given text is shown.
wait_for() {
    local deadline=$((SECONDS + 20)) text missing
    while [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null; do
        missing=""
        for text in "$@"; do
            [ -f "$inspect" ] && cut -d' ' -f10- "$inspect" | grep -qxF "$text" || missing=1
        done
        [ -z "$missing" ] && return 0
        sleep 0.05
    done
    fail "not shown within 20 s: $* (shown: $(cut -d' ' -f10- "$inspect" 2>/dev/null | tr '\n' '|'))"
}
# What the inspector gives for a file chooser's KIND (Selection, Folder, Shortcut) or, for Row,
# the rows its lists show.
chooser() {
    local kind="GtkFileChooser$1"
    [ "$1" = Row ] && kind=GtkTreeViewRow
    sed -n "s/^$kind 0 0 0 0 0 0 0 0 //p" "$inspect" 2>/dev/null
}
# Clicks the first widget showing the text (a button comes before its label) at its centre,
# coming from outside so that the toolkit sees the pointer enter.
click() {
    local x y w h text
    while read -r _ x y w h _ _ _ _ text; do
        [ "$text" = "$1" ] && break
    done <"$inspect"
    [ "$text" = "$1" ] || fail "nothing shows $1 to click"
    xdotool mousemove --sync 1200 1000 mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
}
# Waits up to 20 s for the program's end and checks its exit status.
wait_exit() {
    local deadline=$((SECONDS + 20)) status=0
    while kill -0 "$pid" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || { kill -9 "$pid"; fail "still running after 20 s"; }
        sleep 0.05
    done
    wait "$pid" || status=$?
    [ "$status" = "$1" ] || fail "exit status $status, not $1"
}

missing="This application failed to start because Quellmire.exe was not found"
mkdir "$scratch/no target"
start "$scratch/no target" "$patcher"
wait_for Warning! "$missing" OK
click OK
wait_exit 0

# --- the manual page ---------------------------------------------------------------------------
manual="$root/usr/share/man/man1/quellmire-widescreen.1.gz"
MANWIDTH=80 man --warnings -l "$manual" >"$scratch/rendered" 2>"$scratch/man-warnings" ||
    fail "man -l failed"
tr -s ' ' <"$scratch/rendered" | sed 's/^ //' >"$scratch/manual" # without justification or indent
[ ! -s "$scratch/man-warnings" ] || fail "man warns: $(cat "$scratch/man-warnings")"
# The start-up warnings, which the binary holds as UTF-16 text, are quoted word for word.
warnings="$(strings -el "$patcher" | grep -F 'Quellmire.exe ')"
[ "$(wc -l <<<"$warnings")" = 2 ] || fail "the binary's warnings: $warnings"
while read -r text; do
    grep -qF "$text" "$scratch/manual" || fail "the manual does not quote \"$text\""
done <<<"$warnings"
for heading in NAME SYNOPSIS DESCRIPTION DIAGNOSTICS "EXIT STATUS"; do
    grep -qx "$heading" "$scratch/manual" || fail "the manual has no $heading section"
done
grep -q "Keep a copy of Quellmire.exe" "$scratch/manual" || fail "the manual gives no advice to keep a copy"
# The launcher's chooser and warnings, and where it looks for the game.
for text in "Choose Quellmire.exe" "The patcher works on a file named exactly Quellmire.exe, not on" \
    "Renaming it to Quellmire.exe will do." "steamapps/libraryfolders.vdf" '~/.wine' '~/Games'; do
    grep -qF "$text" "$scratch/manual" || fail "the manual does not say \"$text\""
done
# --- the desktop entry -------------------------------------------------------------------------
entry="$root/usr/share/applications/quellmire-widescreen.desktop"
validation="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate: $validation"
[ -z "$validation" ] || fail "desktop-file-validate: $validation"
key() { sed -n "s/^$1=//p" "$entry"; }
[ -z "$(key NoDisplay)$(key Hidden)" ] || fail "the entry is hidden from the menu"
[[ ";$(key Categories)" == *";Game;"* ]] || fail "Categories=$(key Categories): not under Games"
[ "$(key Icon)" = quellmire-widescreen ] || fail "Icon=$(key Icon)"
[ "$(key MimeType)" = "application/x-quellmire-executable;" ] || fail "MimeType=$(key MimeType)"

# --- what the desktop offers for Quellmire.exe and for other Windows executables ---------------
# A MIME and desktop database of the test's own: the package's MIME type and entry, the entry's
# program in the unpacked root (GIO offers only entries whose program is there), and a stand-in
# for a program that runs every Windows executable.
desktop="$scratch/desktop"
mkdir -p "$desktop/applications" "$scratch/mime-home"
sed "s|^Exec=|Exec=$root|" "$entry" >"$desktop/applications/quellmire-widescreen.desktop"
printf '%s\n' "[Desktop Entry]" "Type=Application" "Name=Windows program runner" \
    "Exec=/bin/true %f" "MimeType=application/x-ms-dos-executable;" \
    >"$desktop/applications/runner.desktop"
update-mime-database "$root/usr/share/mime" || fail "update-mime-database"
update-desktop-database "$desktop/applications" || fail "update-desktop-database"
mime() {
    env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION HOME="$scratch/mime-home" \
        XDG_DATA_HOME="$scratch/mime-home/data" XDG_CONFIG_HOME="$scratch/mime-home/config" \
        XDG_DATA_DIRS="$desktop:$root/usr/share:/usr/share" "$@"
}
registered() { mime gio mime "$1" | sed -n '/^Registered/,/^Recommended/s/^\t//p'; }
mkdir "$scratch/types"
for name in Quellmire.exe QUELLMIRE.EXE setup.exe; do
    { printf 'MZ'; head -c 4094 /dev/zero; } >"$scratch/types/$name"
    type="$(mime gio info -a standard::content-type "$scratch/types/$name" |
        sed -n 's/^ *standard::content-type: //p')"
    expected=application/x-quellmire-executable
    [ "$name" = setup.exe ] && expected=application/x-ms-dos-executable
    [ "$type" = "$expected" ] || fail "$name has the type $type, not $expected"
done
offered="$(registered application/x-quellmire-executable)"
grep -qx quellmire-widescreen.desktop <<<"$offered" || fail "the patcher is not offered for Quellmire.exe"
grep -qx runner.desktop <<<"$offered" || fail "what runs Windows executables is not offered for Quellmire.exe"
offered="$(registered application/x-ms-dos-executable)"
grep -qx runner.desktop <<<"$offered" || fail "the stand-in runner is not registered: $offered"
! grep -q quellmire-widescreen <<<"$offered" || fail "the patcher is offered for every Windows executable"
default="$(mime xdg-mime query default application/x-ms-dos-executable)"
[ "$default" = runner.desktop ] || fail "the default for Windows executables is $default"

# The Exec line split and expanded as a desktop does, for one file or none (as the menu starts
# it); the program is taken from the unpacked root, where the package's absolute paths lie.
exec_line() { # [FILE]: sets `command` to the expanded command line
    local value rest char word="" quoted="" any=""
    value="$(key Exec | sed 's/\\s/ /g; s/\\t/\t/g; s/\\\\/\\/g')" # the string value's escapes
    command=()
    rest="$value"
    while [ -n "$rest" ]; do
        char="${rest:0:1}" rest="${rest:1}"
        if [ -n "$quoted" ]; then
            case $char in
            '"') quoted="" ;;
            \\) word+="${rest:0:1}" rest="${rest:1}" ;;
            *) word+="$char" ;;
            esac
        elif [ "$char" = '"' ]; then
            quoted=1 any=1
        elif [ "$char" = ' ' ]; then
            [ -n "$any" ] && command+=("$word")
            word="" any=""
        else
            word+="$char" any=1
        fi
    done
    [ -n "$any" ] && command+=("$word")
    local expanded=() argument
    for argument in "${command[@]}"; do
        case $argument in
        %f | %F | %u | %U) [ -z "${1:-}" ] || expanded+=("$1") ;; # a local file may be passed as a path for a URL
        %i) expanded+=(--icon "$(key Icon)") ;;
        %c) expanded+=("$(key Name)") ;;
        %k) expanded+=("$entry") ;;
        %d | %D | %n | %N | %v | %m) ;; # deprecated: dropped
        *) expanded+=("${argument//%%/%}") ;;
        esac
    done
    command=("$root${expanded[0]}" "${expanded[@]:1}")
}

# --- the menu and the file manager, under a window manager -------------------------------------
folder="$scratch/My Games/Quell \"mire\" '"$'\xe9'"dition" # spaces, quotes, a byte not UTF-8
mkdir -p "$folder"
{ printf 'MZ'; head -c 1372158 /dev/zero; } >"$folder/Quellmire.exe"
cp "$folder/Quellmire.exe" "$scratch/original"
HOME="$scratch" openbox --sm-disable --startup "touch '$scratch/wm-ready'" >/dev/null 2>&1 &
wm=$!
for _ in $(seq 400); do [ -e "$scratch/wm-ready" ] && break; sleep 0.05; done
[ -e "$scratch/wm-ready" ] || fail "openbox did not start"
title="Widescreen. Patch for QuellMire 1.05"
# Writes 1920x1080, the resolution selected when the window opens, where Patch writes it.
patch_bytes() { # FILE
    local offset
    for offset in 24075 45970 46170 452709; do
        printf '\x38\x04' | dd of="$1" bs=1 seek="$offset" conv=notrunc status=none
    done
    for offset in 24067 45986 46180 452714; do
        printf '\x80\x07' | dd of="$1" bs=1 seek="$offset" conv=notrunc status=none
    done
}
cp "$scratch/original" "$scratch/patched"
patch_bytes "$scratch/patched"
# Waits up to 20 s until the chooser's KIND is PATH.
wait_chooser() { # KIND PATH
    local deadline=$((SECONDS + 20))
    while [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null; do
        chooser "$1" | grep -qxF "$2" && return 0
        sleep 0.05
    done
    fail "the chooser's $1 is not $2 within 20 s (it is: $(chooser "$1" | tr '\n' '|'))"
}

# From the file manager: the game's executable, in a folder whose name is hard to pass on.
exec_line "$folder/Quellmire.exe"
start "$scratch/no target" "${command[@]}"
wait_for "$title" Exit
click Exit
wait_exit 0
cmp -s "$folder/Quellmire.exe" "$scratch/original" || fail "Exit changed the target"

# Files of another name are not patched: the launcher says why, and no window of the patcher
# opens. A file that is not there starts the patcher, which says so itself.
mkdir "$scratch/other game" "$scratch/upper case"
cp "$scratch/original" "$scratch/other game/Setup.exe"
cp "$scratch/original" "$scratch/upper case/QUELLMIRE.EXE"
exactly="The patcher works on a file named exactly Quellmire.exe, not on"
for case in "Setup.exe|other game|" "QUELLMIRE.EXE|upper case| Renaming it to Quellmire.exe will do."; do
    IFS='|' read -r name place advice <<<"$case"
    exec_line "$scratch/$place/$name"
    start "$folder" "${command[@]}"
    wait_for Warning! "$exactly \"$name\" in $scratch/$place.$advice" OK
    click OK
    wait_exit 0
    ! grep -qF "$title" "$inspect" || fail "the patcher's window opened for $name"
    cmp -s "$scratch/$place/$name" "$scratch/original" || fail "$name was changed"
done
exec_line "$scratch/gone/Quellmire.exe"
start "$folder" "${command[@]}"
wait_for Warning! "$missing" OK
click OK
wait_exit 0

# A folder whose full path is longer than PATH_MAX (4096): 25 levels of 200 letters.
piece="$(printf 'd%.0s' $(seq 200))"
(cd "$scratch" && mkdir deep && cd deep && for _ in $(seq 25); do mkdir "$piece" && cd "$piece"; done &&
    cp "$scratch/original" Quellmire.exe) || fail "cannot make the deep folder"
exec_line "$scratch/deep$(printf "/$piece%.0s" $(seq 25))/Quellmire.exe"
start "$scratch/no target" "${command[@]}"
wait_for "$title" Exit
click Exit
wait_exit 0

# From the menu: the chooser finds the game in the second library of a Steam installation, whose
# list escapes the backslash in its folder's name; a copy of another size in the first library
# is passed over, and another copy in ~/Games becomes a shortcut. Enter opens the patcher on the
# copy selected, and Patch patches it.
home="$scratch/player"
steam="$home/.local/share/Steam"
library="$scratch/second drive/Steam \\ Library"
game="$library/steamapps/common/Quellmire/Quellmire.exe"
mkdir -p "$steam/steamapps/common/Quellmire" "${game%/*}" "$home/Games/Quellmire copy"
mkdir "${game%/*}/saves"
cp "$scratch/original" "${game%/*}/setup.exe"
cp "$scratch/original" "${game%/*}/QUELLMIRE.EXE"
head -c 1372159 "$scratch/original" >"$steam/steamapps/common/Quellmire/Quellmire.exe"
cp "$scratch/original" "$game"
cp "$scratch/original" "$home/Games/Quellmire copy/Quellmire.exe"
printf '"libraryfolders"\n{\n\t"0"\n\t{\n\t\t"path"\t\t"%s"\n\t\t"apps"\n\t\t{\n\t\t\t"1"\t\t"2"\n\t\t}\n\t}\n\t"1"\n\t{\n\t\t"path"\t\t"%s"\n\t}\n}\n' \
    "$steam" "${library//\\/\\\\}" >"$steam/steamapps/libraryfolders.vdf"
exec_line
start "$scratch/no target" "${command[@]}"
wait_for "Choose Quellmire.exe" Cancel Open
wait_chooser Selection "$game"
wait_chooser Shortcut "$home/Games/Quellmire copy"
# It shows folders and files named Quellmire.exe in any case, and no other files.
for name in Quellmire.exe QUELLMIRE.EXE saves; do wait_chooser Row "$name"; done
! chooser Row | grep -qx setup.exe || fail "the chooser shows setup.exe"
xdotool key Return
wait_for "$title" Patch
click Patch
wait_exit 0
cmp -s "$game" "$scratch/patched" || fail "Patch did not patch the copy chosen as it should"
cmp -s "$home/Games/Quellmire copy/Quellmire.exe" "$scratch/original" || fail "another copy changed"

# Escape and Cancel end the launcher with status 0, Escape with a file selected; without a copy
# found the chooser starts at home.
start "$scratch/no target" "${command[@]}"
wait_chooser Selection "$game" # patched, and still of the right size
xdotool key Escape
wait_exit 0
! grep -qF "$title" "$inspect" || fail "Escape opened the patcher"
home="$scratch/empty home"
mkdir "$home"
start "$scratch/no target" "${command[@]}"
wait_for "Choose Quellmire.exe" Cancel
wait_chooser Folder "$home"
click Cancel
wait_exit 0
echo "package $deb: all checks passed"
