# Sourced by the other scripts: a quiet Wine prefix of the project's own, a
# persistent wineserver and, when needed, an Xvfb display.
#   tessaly_wine_arch         win32, or win64 where 32-bit code cannot run
#   tessaly_wine_up [fresh]   prefix in build/wineprefix (fresh: copied anew)
#   tessaly_wine ARGS...      runs a program with the prefix's Wine
#   tessaly_display_up        sets DISPLAY (Xvfb unless one is usable)
#   tessaly_wine_down         stops what the others started
tessaly_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tessaly_cache=${TESSALY_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaly}
# No .NET or Gecko install prompts; and no menu builder, which opens the
# targets of new shortcuts in the background (for their icons) and so holds
# files that a test replaces a moment later.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Some virtual machines run 64-bit user code only ("Exec format error" for the
# 32-bit Wine loader). There the Windows tests run from the 64-bit build of
# the same sources under wine64.
tessaly_wine_arch() {
  if [ -n "${TESSALY_WINE_ARCH:-}" ]; then
    echo "$TESSALY_WINE_ARCH"
  elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo win32
  else
    echo win64
  fi
}

tessaly_wine() {
  if [ "$WINEARCH" = win64 ]; then
    "$tessaly_root/scripts/wine64" "$@"
  else
    wine "$@"
  fi
}

tessaly_make_template() {
  local t=$tessaly_cache/wineprefix-$WINEARCH-v1
  if [ -f "$t/.done" ]; then
    return 0
  fi
  mkdir -p "$tessaly_cache"
  # One maker at a time; the others wait and then use its result.
  local lock
  exec {lock}>"$tessaly_cache/wineprefix.lock"
  flock "$lock"
  if [ ! -f "$t/.done" ]; then
    rm -rf "$t"
    (
      export WINEPREFIX=$t
      tessaly_wine wineboot -i </dev/null >/dev/null 2>&1
      # Chinese faces come from a Debian CJK font.
      local face
      for face in SimSun 宋体 NSimSun 新宋体 "Microsoft YaHei" 微软雅黑; do
        LANG=C.UTF-8 tessaly_wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
          /t REG_SZ /d "WenQuanYi Micro Hei" /f </dev/null >/dev/null 2>&1
      done
      # No debugger and no crash dialog for an unhandled exception.
      tessaly_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d "" /f </dev/null >/dev/null 2>&1
      tessaly_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 \
        /f </dev/null >/dev/null 2>&1
      "${WINESERVER:-wineserver}" -w
    )
    touch "$t/.done"
  fi
  flock -u "$lock"
  exec {lock}>&-
}

tessaly_wine_up() {
  export WINEARCH
  WINEARCH=$(tessaly_wine_arch)
  if [ "$WINEARCH" = win64 ]; then
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  else
    unset WINELOADER
    export WINESERVER=/usr/lib/wine/wineserver
  fi
  tessaly_make_template
  export WINEPREFIX=${TESSALY_PREFIX:-$tessaly_root/build/wineprefix}
  if [ "${1:-}" = fresh ] || [ ! -d "$WINEPREFIX" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    cp -a "$tessaly_cache/wineprefix-$WINEARCH-v1" "$WINEPREFIX"
  fi
  # Helper processes inherit the caller's pipes: warm them up detached, so a
  # test does not wait for them.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  tessaly_wine cmd /c exit </dev/null >/dev/null 2>&1
}

tessaly_display_up() {
  if [ -n "${DISPLAY:-}" ] && [ "${CI:-}" != true ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    return 0
  fi
  local n i
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    tessaly_xvfb_pid=$!
    export DISPLAY=:$n
    for i in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && return 0
      sleep 0.1
    done
  done
  echo "wine-env: no Xvfb display could be started" >&2
  return 1
}

tessaly_wine_down() {
  "${WINESERVER:-wineserver}" -k >/dev/null 2>&1 || true
  if [ -n "${tessaly_xvfb_pid:-}" ]; then
    kill "$tessaly_xvfb_pid" 2>/dev/null || true
    wait "$tessaly_xvfb_pid" 2>/dev/null || true
    tessaly_xvfb_pid=
  fi
}
