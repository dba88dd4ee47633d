# The Wine environment, set here and nowhere else: every script, the test runner and CTest's way
# into Wine (cmake/wine-run.sh) source this file.
#
#   qv_wine_env PREFIX           -> exports WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES for PREFIX
#                                   (plus QV_DLL_OVERRIDES when set)
#   qv_wineserver PREFIX ARGS... -> runs wineserver for that prefix only (-k, -p, -w), never another's

qv_wine_env() {
  export WINEPREFIX=$1
  # Quiet unless the caller asks for a debug channel.
  export WINEDEBUG=${WINEDEBUG:--all}
  # No .NET or browser installer at a prefix's first boot, and no menu builder mirroring every
  # shortcut the tests save into the Unix home's menus and icons. QV_DLL_OVERRIDES adds a test's own.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${QV_DLL_OVERRIDES:+;$QV_DLL_OVERRIDES}"
}

qv_wineserver() {
  local prefix=$1
  shift
  (qv_wine_env "$prefix" && wineserver "$@")
}
