#!/usr/bin/env bash
# Same tree, same toolchain, same bytes: scripts/release builds the launcher and the publisher from a
# copy of the tree at another path into another build folder, and both programs must equal the main
# build's byte for byte. Also checks the unsigned release folder it lays out, and that a second
# release into the same build folder takes nothing from the first. The second build is left in
# place (without a host) for the signed-release test. Needs QV_ROOT and QV_BUILD.
set -euo pipefail
: "${QV_ROOT:?}" "${QV_BUILD:?}"
started=$SECONDS
check=$QV_BUILD/release-check
src=$check/kaynak
out=$check/imzasiz
rm -rf "$check"
mkdir -p "$src"

fail() { echo "FAILED: $*"; exit 1; }

# The tree as it stands, uncommitted changes included and ignored files (build folders) left out.
if git -C "$QV_ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$QV_ROOT" && git ls-files -z --cached --others --exclude-standard |
     tar --null --ignore-failed-read -T - -cf -) | tar -xf - -C "$src"
else
  tar -C "$QV_ROOT" --exclude='./build*' --exclude='./out*' -cf - . | tar -xf - -C "$src"
fi

cache_entry() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
# The main build's host, so that the release compiles the same bytes.
main_host=$(cache_entry "$QV_BUILD" QORVANE_DEFAULT_HOST)
if [ -n "$main_host" ]; then host_env=(QORVANE_DEFAULT_HOST="$main_host"); host_opt=(); else host_env=(); host_opt=(--sunucusuz); fi

# What must stop scripts/release before it builds anything (usage errors, exit 2).
refuses() {  # WHAT COMMAND...
  local what=$1 status=0
  shift
  env -u QORVANE_PUBLIC_KEY_HEX -u QORVANE_IMZA_PFX -u QORVANE_IMZA_SERTIFIKA -u QORVANE_IMZA_ANAHTAR \
    -u QORVANE_DEFAULT_HOST QORVANE_BUILD_DIR="$check/yok" "$@" >"$check/refused.out" 2>&1 || status=$?
  [ $status -eq 2 ] || { cat "$check/refused.out"; fail "scripts/release accepted $what (exit $status)"; }
  [ ! -e "$check/yok" ] || fail "scripts/release configured a build before refusing $what"
}
dev_upper=$(tr -d '\n' <"$QV_ROOT/keys/dev-public-key.hex" | tr a-f A-F)
refuses "no key" "$src/scripts/release" --sunucusuz "$check/x"
refuses "the development key among the release keys" \
  env QORVANE_PUBLIC_KEY_HEX="$(printf '1%.0s' {1..128}),$dev_upper" "$src/scripts/release" --sunucusuz "$check/x"
refuses "neither a host nor --sunucusuz" "$src/scripts/release" --gelistirme-anahtari "$check/x"
refuses "a host with a scheme" \
  env QORVANE_DEFAULT_HOST=https://indir.example.com "$src/scripts/release" --gelistirme-anahtari "$check/x"
refuses "a host and --sunucusuz" \
  env QORVANE_DEFAULT_HOST=indir.example.com "$src/scripts/release" --gelistirme-anahtari --sunucusuz "$check/x"
refuses "a certificate without its key" \
  env QORVANE_IMZA_SERTIFIKA="$src/README.md" "$src/scripts/release" --gelistirme-anahtari --sunucusuz "$check/x"
refuses "a folder that holds something else" "$src/scripts/release" --gelistirme-anahtari --sunucusuz "$src/docs"
[ -f "$src/docs/publishing.md" ] || fail "scripts/release emptied a folder it refused"
cache_before=$(sha256sum "$QV_BUILD/CMakeCache.txt")
refuses "a build folder configured by something else" \
  env QORVANE_BUILD_DIR="$QV_BUILD" "$src/scripts/release" --gelistirme-anahtari --sunucusuz "$check/x"
[ "$(sha256sum "$QV_BUILD/CMakeCache.txt")" = "$cache_before" ] || fail "scripts/release changed a build it refused"

if ! env -u QORVANE_DEFAULT_HOST "${host_env[@]}" QORVANE_BUILD_DIR="$check/derleme" "$src/scripts/release" --gelistirme-anahtari "${host_opt[@]}" \
     "$out" >"$check/release.out" 2>&1; then
  tail -n 40 "$check/release.out"
  fail "scripts/release"
fi
echo "second build: $((SECONDS - started)) s"

# Byte-identical only means something for the same compiler and options; the compiled-in key, host
# and version are compared as the build sees them, in its generated header.
for entry in CMAKE_CXX_COMPILER CMAKE_C_COMPILER CMAKE_RC_COMPILER CMAKE_BUILD_TYPE CMAKE_CXX_FLAGS \
             CMAKE_CXX_FLAGS_RELEASE CMAKE_EXE_LINKER_FLAGS; do
  if [ "$(cache_entry "$QV_BUILD" $entry)" != "$(cache_entry "$check/derleme" $entry)" ]; then
    echo "skipped: the main build differs from a release build in $entry"
    exit 77
  fi
done
if ! cmp -s "$QV_BUILD/generated/build_config.h" "$check/derleme/generated/build_config.h"; then
  diff "$QV_BUILD/generated/build_config.h" "$check/derleme/generated/build_config.h" || true
  echo "skipped: the main build compiles in other options than a development-key release build"
  exit 77
fi

same() {  # MAIN_BUILD_FILE RELEASE_FILE
  if ! cmp -s "$1" "$2"; then
    echo "first differing bytes (offset, octal values):"
    cmp -l "$1" "$2" | head -n 10
    fail "$(basename "$1") differs between the two builds"
  fi
  echo "identical: $(basename "$1") ($(stat -c %s "$1") bytes)"
}
# Unsigned, the programs keep their own names: the launcher goes into a game build as it is.
same "$QV_BUILD/Qorvane Launcher.exe" "$out/Qorvane Launcher.exe"
same "$QV_BUILD/tools/qorvane-yayinci.exe" "$out/qorvane-yayinci.exe"

# Without a certificate the folder says so and still verifies against its checksums.
[ -f "$out/README-IMZASIZ.txt" ] || fail "no README-IMZASIZ.txt"
grep -q "IMZASIZ / UNSIGNED" "$check/release.out" || fail "no warning about the missing signature"
grep -q "YOK (unsigned)" "$out/SURUM.txt" || fail "SURUM.txt does not say unsigned"
grep -q "GELISTIRME ANAHTARI" "$out/SURUM.txt" || fail "SURUM.txt does not name the development key"
# Where the launcher goes and which keys it trusts, the fingerprint made here from the key's PEM.
fingerprint=$(openssl pkey -pubin -in "$QV_ROOT/keys/dev-public-key.pem" -outform DER | tail -c 64 | sha256sum | cut -d' ' -f1)
expect_line() { grep -qxF -- "$2" "$1" || { cat "$1"; fail "$(basename "$1") lacks: $2"; }; }
expect_line "$out/SURUM.txt" "  parmak izi (fingerprint): $fingerprint"
expect_line "$out/SURUM.txt" "port: 443"
expect_line "$out/SURUM.txt" "temel yol (base path): /qorvane/pc/"
if [ -n "$main_host" ]; then expect_line "$out/SURUM.txt" "sunucu (download host): $main_host"; fi
[ -f "$out/docs/publishing.md" ] || fail "no docs"
(cd "$out" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"
[ "$(wc -l <"$out/SHA256SUMS")" -eq "$(cd "$out" && find . -type f ! -name SHA256SUMS | wc -l)" ] ||
  fail "SHA256SUMS does not list every file"
# The release's docs link only to what the release folder holds.
for doc in "$out"/docs/*.md; do
  for target in $(grep -o '](\([^)#]*\)' "$doc" | sed 's/^](//' | grep -v '^https\?:' || true); do
    [ -e "$(dirname "$doc")/$target" ] || fail "$(basename "$doc") links to $target, which the release folder lacks"
  done
done

# A second release into the same build folder without a host takes nothing from the first: no
# host is compiled in, and SURUM.txt says so.
if ! env -u QORVANE_DEFAULT_HOST QORVANE_BUILD_DIR="$check/derleme" "$src/scripts/release" --gelistirme-anahtari \
     --sunucusuz "$check/sunucusuz" >"$check/release2.out" 2>&1; then
  tail -n 40 "$check/release2.out"
  fail "scripts/release --sunucusuz"
fi
grep -qxF '#define QORVANE_DEFAULT_HOST L""' "$check/derleme/generated/build_config.h" ||
  fail "the second release compiled in a host"
expect_line "$check/sunucusuz/SURUM.txt" \
  "sunucu (download host): YOK: her oyuncuda QORVANE_SUNUCU gerekir (none: every player needs QORVANE_SUNUCU)"
if [ -n "$main_host" ] && cmp -s "$out/Qorvane Launcher.exe" "$check/sunucusuz/Qorvane Launcher.exe"; then
  fail "the launcher without a host equals the one with $main_host"
fi
echo "ok ($((SECONDS - started)) s)"
