# Sourced by the other scripts: a quiet Wine prefix of the project's own, a
# persistent wineserver and, when needed, an Xvfb display.
#   tessaly_wine_up [fresh]   prefix in build/wineprefix (fresh: copied anew)
#   tessaly_display_up        sets DISPLAY (Xvfb unless one is usable)
#   tessaly_wine_down         stops what the two started
tessaly_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tessaly_cache=${TESSALY_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaly}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32

tessaly_make_template() {
  local t=$tessaly_cache/wineprefix-v1
  if [ -f "$t/.done" ]; then
    return 0
  fi
  mkdir -p "$tessaly_cache"
  # One maker at a time; the others wait and then use its result.
  exec {lock}>"$tessaly_cache/wineprefix.lock"
  flock "$lock"
  if [ -f "$t/.done" ]; then
    flock -u "$lock"
    return 0
  fi
  rm -rf "$t"
  (
    export WINEPREFIX=$t
    wineboot -i </dev/null >/dev/null 2>&1
    # Chinese faces come from a Debian CJK font.
    for face in SimSun 宋体 NSimSun 新宋体 "Microsoft YaHei" 微软雅黑; do
      LANG=C.UTF-8 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
        /t REG_SZ /d "WenQuanYi Micro Hei" /f </dev/null >/dev/null 2>&1
    done
    # No debugger dialog for an unhandled exception: the process just ends.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
      /t REG_SZ /d "" /f </dev/null >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto \
      /t REG_SZ /d "1" /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      </dev/null >/dev/null 2>&1
    wineserver -w
  )
  touch "$t/.done"
  flock -u "$lock"
}

tessaly_wine_up() {
  tessaly_make_template
  export WINEPREFIX=${TESSALY_PREFIX:-$tessaly_root/build/wineprefix}
  if [ "${1:-}" = fresh ] || [ ! -d "$WINEPREFIX" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    cp -a "$tessaly_cache/wineprefix-v1" "$WINEPREFIX"
  fi
  # Helper processes inherit the caller's pipes: warm them up detached, so a
  # test does not wait for them.
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

tessaly_display_up() {
  if [ -n "${DISPLAY:-}" ] && [ "${CI:-}" != true ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    tessaly_xvfb_pid=$!
    export DISPLAY=:$n
    local i
    for i in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && return 0
      sleep 0.1
    done
  done
  echo "wine-env: no Xvfb display could be started" >&2
  return 1
}

tessaly_wine_down() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${tessaly_xvfb_pid:-}" ]; then
    kill "$tessaly_xvfb_pid" 2>/dev/null || true
    wait "$tessaly_xvfb_pid" 2>/dev/null || true
    tessaly_xvfb_pid=
  fi
}
