#!/usr/bin/env bash
# A person loads the disc's titles before ripping, with the loopback web
# service standing in for MusicBrainz as http_proxy: once by clicking the
# link, once with CDDBAutoLoad. The files are named from the titles and an
# independent reader finds artist, album, year and title in every tag.
STAGE="$1"
TOOLS="$2"
source "$(dirname "$0")/lib.sh"
e2e_start
make_disc 2 3 2

lookup_server_start
titles=("Þú & ég" "Дорога домой (live)" "夜明け")
artist="Sólveig Ærøy" album="Ljós & Skuggi" release="$LOOKUP_RELEASE"

# 1. FLAC, the link chosen with the keyboard; every placeholder in the name.
cat >> "$XDG_CONFIG_HOME/Quellbrook/user.reg" <<REG

[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]
"NameTemplate"="%1 - %3 (%4) %6 %2 [%8]%5%7"
REG
startup_lines 6 'D:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik$')" || fail "no Format dialog"
# Accept, first in the keyboard order, has the focus once the dialog is
# active; Shift+Tab goes round to the link, the last, and Space follows it.
press "$win" shift+Tab space
lookup_answer "$pid" "$win" 1
press "$win" Return
wait_exit "$pid" 300; code=$EXIT_CODE
[ "$code" = 1 ] || fail "exit code $code after the job ($(cat "$SANDBOX/err"))"
for t in 1 2 3; do
  f="$music/$artist - $album (2001) 0$t ${titles[$((t - 1))]} [$release].flac"
  [ -f "$f" ] || fail "missing $f; there are: $(ls "$music")"
  [ "$(metaflac --show-tag=ARTIST "$f")" = "ARTIST=$artist" ] || fail "artist tag of $f"
  [ "$(metaflac --show-tag=ALBUM "$f")" = "ALBUM=$album" ] || fail "album tag of $f"
  [ "$(metaflac --show-tag=DATE "$f")" = "DATE=2001" ] || fail "date tag of $f"
  [ "$(metaflac --show-tag=TITLE "$f")" = "TITLE=${titles[$((t - 1))]}" ] || fail "title tag of $f"
done
ua="$(head -n1 "$SANDBOX/requests" | cut -f2)"
case "$ua" in "Tonvik/1.13 ( "*) ;; *) fail "the service was asked as '$ua'" ;; esac

# 2. Ogg Vorbis with CDDBAutoLoad, the default name and the artist and album
#    sub-folders: nobody clicks, Return once the titles are in.
rm -rf "${music:?}"/*
cat >> "$XDG_CONFIG_HOME/Quellbrook/user.reg" <<REG

[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]
"NameTemplate"="%1 - [%6] %2"
"CDDBAutoLoad"=dword:00000001
"CreateArtistSubfolder"=dword:00000001
"CreateAlbumSubfolder"=dword:00000001
REG
startup_lines 4 'D:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik$')" || fail "no Format dialog for Ogg"
lookup_answer "$pid" "$win" 2
press "$win" Return
wait_exit "$pid" 300; code=$EXIT_CODE
[ "$code" = 1 ] || fail "exit code $code for Ogg ($(cat "$SANDBOX/err"))"
for t in 1 2 3; do
  f="$music/$artist/$album/$artist - [0$t] ${titles[$((t - 1))]}.ogg"
  [ -f "$f" ] || fail "missing $f; there are: $(find "$music" -type f)"
  tags="$(vorbiscomment -l "$f")"
  for want in "ARTIST=$artist" "ALBUM=$album" "DATE=2001" "TITLE=${titles[$((t - 1))]}" "TRACKNUMBER=$t"; do
    grep -qxF "$want" <<<"$tags" || fail "$f lacks $want: $tags"
  done
done
echo "lookup e2e: ok"
