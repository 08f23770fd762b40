# The virtual display and the one Wine prefix that scripts/test and
# scripts/demo use. Sourced; the caller ends what it started
# (tav_stop_virtual_display, and `wineserver -k` for its prefix).

tav_xvfb_pid=

# tav_start_virtual_display NUMBER_FILE [SIZE]: starts Xvfb (SIZE pixels,
# 1024x768 unless given, 24 bits) on a free display number, which it writes to
# NUMBER_FILE, and exports DISPLAY.
tav_start_virtual_display() {
  local number_file=$1 size=${2:-1024x768} attempt number
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  tav_xvfb_pid=$!
  for attempt in $(seq 100); do
    if [[ -s $number_file ]]; then
      number=$(tr -d '[:space:]' <"$number_file")
      export DISPLAY=:$number
      echo "virtual display $DISPLAY (Xvfb pid $tav_xvfb_pid)"
      return 0
    fi
    kill -0 "$tav_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start (after $attempt looks)" >&2
  return 1
}

tav_stop_virtual_display() {
  if [[ -n $tav_xvfb_pid ]]; then
    kill "$tav_xvfb_pid" 2>/dev/null || true
    wait "$tav_xvfb_pid" 2>/dev/null || true
    tav_xvfb_pid=
  fi
}

# tav_prepare_wine_prefix DIR: exports WINEPREFIX (and a quiet WINEDEBUG),
# makes the prefix when it does not exist, and lets Liberation Serif stand in
# for Times New Roman. Wine has no Times New Roman; Liberation Serif has its
# widths, so the dialogs, whose templates use that font, get the size they
# have on Windows.
#
# The prefix runs 32-bit and 64-bit programs alike. With wine32 installed,
# `wine` is the 32-bit loader, and a prefix made before wine32 was installed
# has no syswow64 folder: every program, 64-bit ones too, fails there with
# "could not load kernel32.dll". Such a prefix is made again.
tav_prepare_wine_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=${WINEDEBUG:--all}
  if [[ -f $WINEPREFIX/system.reg && ! -d $WINEPREFIX/drive_c/windows/syswow64 ]]; then
    echo "the Wine prefix $WINEPREFIX has no 32-bit side (made before wine32): making it again"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX" || return 1
  fi
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "making the Wine prefix $WINEPREFIX"
    # No Mono or Gecko: the prefix is made without asking to download them.
    WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i || return 1
  fi
  if ! grep -qF '"Times New Roman"="Liberation Serif"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' \
      /t REG_SZ /d 'Liberation Serif' /f >/dev/null || return 1
  fi
}

# tav_set_wine_dpi DPI: sets the prefix's display scale (LogPixels, which
# Windows keeps for the user and for the fonts of the hardware profile) and
# stops the prefix's Wine server, which holds the old value until it ends.
tav_set_wine_dpi() {
  local key
  for key in 'HKCU\Control Panel\Desktop' \
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null || return 1
  done
  wineserver -k 2>/dev/null || true
  wineserver -w
}

# tav_set_wine_unmanaged on|off PROGRAM.exe...: makes the windows of these
# programs unmanaged, or managed again, through Wine's per-program setting
# (HKCU\Software\Wine\AppDefaults\PROGRAM.exe\X11 Driver, Managed = N). On a
# display without a window manager, as the virtual one, Wine waits 2 s for
# the manager each time a managed window is hidden. A program reads the
# setting as it starts. Windows has no such setting.
tav_set_wine_unmanaged() {
  local mode=$1 reg name
  shift
  (($# == 0)) && return 0
  reg=$(mktemp --suffix=.reg) || return 1
  {
    echo REGEDIT4
    for name in "$@"; do
      if [[ $mode == on ]]; then
        printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\X11 Driver]\n"Managed"="N"\n' "$name"
      else
        printf '\n[-HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\n' "$name"
      fi
    done
  } >"$reg"
  wine reg import "$reg" >/dev/null
  local status=$?
  rm -f "$reg"
  return "$status"
}
