# A generated sample game, its publishing, and running the launcher against it under Wine: shared by
# scripts/demo and the e2e tests. Needs QV_ROOT (the source tree) and QV_BUILD (the build folder).

source "$QV_ROOT/scripts/lib/wine.sh"
#
# Sample game content: nested folders, names with blanks and Turkish letters, files from empty to
# above 32 MiB (so the launcher splits them into ranges), a top-level .dll, a user settings file
# that is listed install-only, and the launcher executable itself at the top.

# Wine reads Unix file names and arguments in the locale's character set; Turkish names need UTF-8.
export LC_ALL=C.UTF-8

qv_winpath() {  # /a/b c -> Z:\a\b c (Wine maps the Unix root to drive Z:)
  local p=$1
  echo "Z:${p//\//\\}"
}

qv_random_file() {  # PATH SIZE
  mkdir -p "$(dirname "$1")"
  head -c "$2" /dev/urandom >"$1"
}

qv_words=("kılıç" "şövalye" "ağaç" "çiçek" "göl" "ışık" "öykü" "gün batımı" "Dağ Yolu" "köprü" "rüzgâr"
          "İzmir" "Ödül Listesi" "sis" "yıldız" "ateş" "kale kapısı" "Uğur" "çöl" "su")
qv_folders=("pack" "pack/harita" "pack/Harita Çizimleri" "pack/ses/müzik" "pack/İç Mekân/ağaçlar ve çiçekler"
            "data" "data/ayar dosyaları" "data/yazı tipleri" "Belgeler ve Notlar" "pack/efekt")

# qv_sample_game DIR LAUNCHER_EXE COUNT BIG_BYTES [EXACT]
# COUNT generated files besides the fixed ones; BIG_BYTES the size of the one file above 32 MiB;
# EXACT (default 1) adds a file of exactly 32 MiB, the largest one fetched in a single request.
qv_sample_game() {
  local dir=$1 launcher=$2 count=$3 big=$4 exact=${5:-1} i folder word size
  rm -rf "$dir"
  mkdir -p "$dir/pack" "$dir/data" "$dir/ayarlar"
  cp "$launcher" "$dir/Qorvane Launcher.exe"
  qv_random_file "$dir/Qorvane.exe" 181248
  qv_random_file "$dir/qorvane_ses.dll" 65536
  qv_random_file "$dir/pack/dünya haritası.epk" "$big"
  [ "$exact" = 1 ] && qv_random_file "$dir/pack/doku paketi.epk" 33554432
  : >"$dir/pack/boş.dat"
  : >"$dir/data/empty.txt"
  printf 'pencere=1280x720\nses=80\n' >"$dir/ayarlar/kullanici.cfg"
  for i in $(seq 1 "$count"); do
    folder=${qv_folders[$((i % ${#qv_folders[@]}))]}
    word=${qv_words[$((i % ${#qv_words[@]}))]}
    if [ $((i % 25)) -eq 0 ]; then
      size=$((1048576 + (i * 7919) % 3145728))
    elif [ $((i % 5)) -eq 0 ]; then
      size=$((65536 + (i * 104729) % 983040))
    else
      size=$(((i * 2654435761) % 8192))
    fi
    qv_random_file "$dir/$folder/$word $i.dat" "$size"
  done
}

# The update of a sample game: changed, added and removed files (removals inside the folders the
# rules let the launcher clean, and the top-level .dll that the "E" rule governs).
qv_sample_update() {
  local dir=$1 changed=0 removed=0 f i
  while IFS= read -r -d '' f; do
    case $((changed + removed)) in
      *[02468]) [ $changed -lt 10 ] && { qv_random_file "$f" $((4096 + changed * 1000)); changed=$((changed + 1)); } ;;
      *) [ $removed -lt 9 ] && { rm -f "$f"; removed=$((removed + 1)); } ;;
    esac
  done < <(find "$dir/pack" "$dir/data" -name '*.dat' -print0 | sort -z)
  rm -f "$dir/qorvane_ses.dll"
  # Change the large file in its middle: same size, new content, downloaded again in ranges.
  printf 'guncelleme' | dd of="$dir/pack/dünya haritası.epk" bs=1 seek=20000000 conv=notrunc status=none
  for i in $(seq 1 15); do
    qv_random_file "$dir/pack/yeni bölüm/görev $i.dat" $((i * 3001))
  done
}

qv_sample_rules() {  # FILE
  cat >"$1" <<'EOF'
# Folders the launcher keeps exactly as listed (unknown files there are deleted).
D pack
D data
# Top-level files with these extensions are the launcher's business too.
E .dll
# ...but the game's language file and its logs stay.
S pack/dil.cfg
S pack/*.log
# The user's settings are created when missing and never overwritten.
I ayarlar/kullanici.cfg
# Created empty on every run.
O ekran görüntüleri
EOF
}

qv_sample_news() {  # DIR VERSION_TEXT
  mkdir -p "$1"
  printf '\xEF\xBB\xBF# haberler\n%s|*Yeni* sezon başladı: Dağ Yolu açıldı\n%s|Bakım çalışması *tamamlandı*\n%s|Güz etkinliği: çifte ödül\n' \
    "$2" "$2" "$2" >"$1/haberler_tr.txt"
  printf '%s|*New* season: the Mountain Road is open\n%s|Maintenance *finished*\n%s|Autumn event: double rewards\n' \
    "$2" "$2" "$2" >"$1/haberler_en.txt"
}

qv_wine() {  # PREFIX PROGRAM ARGS...
  local prefix=$1
  shift
  QORVANE_WINEPREFIX=$prefix "$QV_ROOT/cmake/wine-run.sh" "$@"
}

# The launcher keeps the highest list version each game folder has verified under the user's
# registry key as well: scripts that publish versions 1, 2, ... into the same folder path again
# start the prefix without those floors.
qv_forget_version_floors() {  # PREFIX
  qv_wine "$1" reg delete 'HKCU\Software\Qorvane\liste_surumu' /f >/dev/null 2>&1 || true
}

# qv_publish PREFIX GAME WWW VERSION [extra publisher options...]: publishes into WWW/qorvane/pc
# with the built publisher, or with QV_PUBLISHER when that names another one.
qv_publish() {
  local prefix=$1 game=$2 www=$3 version=$4
  shift 4
  mkdir -p "$www/qorvane/pc"
  qv_wine "$prefix" "${QV_PUBLISHER:-$QV_BUILD/tools/qorvane-yayinci.exe}" yayinla --oyun "$(qv_winpath "$game")" \
    --hedef "$(qv_winpath "$www/qorvane/pc")" --ozel-anahtar "$(qv_winpath "$QV_ROOT/keys/dev-private-key.txt")" \
    --surum "$version" --gelistirme "$@"
}

qv_install_launcher() {  # INSTALL_DIR EXE: an installed game folder that holds only the launcher
  mkdir -p "$1/koruma"
  cp "$2" "$1/Qorvane Launcher.exe"
  printf 'Qorvane Launcher kurulumu\n' >"$1/koruma/kurulum.txt"
}

# qv_launcher_start PREFIX INSTALL_DIR SERVER_URL [hidden]: starts the installed launcher in the
# background (QV_LAUNCHER_PID); its output goes to INSTALL_DIR/../launcher-wine.out.
qv_launcher_start() {
  local prefix=$1 install=$2 url=$3 hidden=${4:-}
  (
    cd "$install"
    export QORVANE_SUNUCU=$url
    [ -n "$hidden" ] && export QORVANE_GIZLI=1
    exec env QORVANE_WINEPREFIX="$prefix" "$QV_ROOT/cmake/wine-run.sh" \
      "$(qv_winpath "$install/Qorvane Launcher.exe")"
  ) >>"$install/../launcher-wine.out" 2>&1 &
  QV_LAUNCHER_PID=$!
}

# qv_wait_log LOG PATTERN COUNT SECONDS [FAIL_PATTERN]: waits until PATTERN occurs COUNT times in the
# log. 0 when it did, 1 on time-out, 2 when FAIL_PATTERN occurred more often than when the wait began.
qv_wait_log() {
  local log=$1 pattern=$2 count=$3 seconds=$4 fail=${5:-} deadline fail_before=0
  deadline=$((SECONDS + seconds))
  [ -n "$fail" ] && fail_before=$(qv_count "$fail" "$log")
  while [ $SECONDS -lt "$deadline" ]; do
    [ "$(qv_count "$pattern" "$log")" -ge "$count" ] && return 0
    [ -n "$fail" ] && [ "$(qv_count "$fail" "$log")" -gt "$fail_before" ] && return 2
    sleep 0.2
  done
  return 1
}

qv_count() {  # PATTERN FILE: matching lines, 0 for a file that does not exist yet
  local n
  n=$(grep -c -- "$1" "$2" 2>/dev/null) || true
  echo "${n:-0}"
}

# Closes every launcher window in the prefix the way a user does (WM_CLOSE), then waits until no
# Wine process of the prefix is left; whatever remains after the bound is ended with the prefix's
# own wineserver.
qv_launcher_close() {
  local prefix=$1 i
  for i in $(seq 60); do
    qv_launcher_in_prefix "$prefix" || break
    # Again every 3 s: a launcher that is still starting has no window to receive the first one.
    [ $((i % 15)) -eq 1 ] && { qv_wine "$prefix" taskkill /im "Qorvane Launcher.exe" >/dev/null 2>&1 || true; }
    sleep 0.2
  done
  if qv_launcher_in_prefix "$prefix"; then
    qv_wineserver "$prefix" -k 2>/dev/null || true
  fi
  [ -n "${QV_LAUNCHER_PID:-}" ] && wait "$QV_LAUNCHER_PID" 2>/dev/null || true
}

# True while a launcher process of this prefix is alive (processes carry their WINEPREFIX). Only
# used to wait: nothing is ever ended by its name.
qv_launcher_in_prefix() {
  local prefix=$1 file
  # /proc rather than pgrep: minimal systems lack procps.
  for file in $(grep -lasF "Qorvane Launcher.exe" /proc/[0-9]*/cmdline 2>/dev/null | sed 's|/cmdline$||'); do
    grep -qasxzF "WINEPREFIX=$prefix" "$file/environ" 2>/dev/null && return 0
  done
  return 1
}

# Every file of the game folder is in the install folder with the same bytes (koruma aside), and
# the folders the launcher cleans hold nothing else. Prints the differences; 0 when none.
qv_compare_trees() {
  local game=$1 install=$2 status=0
  local a b
  a=$(cd "$game" && find . -type f -print0 | sort -z | xargs -0 sha256sum)
  b=$(cd "$install" && find . -path ./koruma -prune -o -type f -print0 | sort -z | xargs -0 sha256sum)
  if [ "$a" != "$b" ]; then
    diff <(echo "$a") <(echo "$b") | head -20
    status=1
  fi
  return $status
}
