# The test bus driver that carries the dongle under Wine, in the one Wine
# prefix. Sourced after wine.sh; call it once tav_prepare_wine_prefix has set
# WINEPREFIX.

# tav_prepare_driver DIR: installs and starts the bus from DIR (the driver's
# build folder: tavbus.sys, tavbus.inf, tavbus_install.exe, tavbus_ctl.exe)
# and leaves a fresh dongle, unplugged.
#
# The prefix's Wine server is started anew, persistent: by default Wine ends
# it a few seconds after the last program, and the bus with it, so the
# dongle's state would not last from one program to the next. The caller
# ends it (`wineserver -k`). A changed tavbus.sys is copied in while no
# server runs: a running one keeps the old driver loaded, and a starting one
# loads the installed file at once.
tav_prepare_driver() {
  local dir=$1
  local installed=$WINEPREFIX/drive_c/windows/system32/drivers/tavbus.sys
  if [[ ! -f $dir/tavbus.sys || ! -f $dir/tavbus_install.exe ]]; then
    echo "the test bus driver is not built in $dir" >&2
    return 1
  fi
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [[ -f $installed ]] && ! cmp -s "$dir/tavbus.sys" "$installed"; then
    echo "copying the changed tavbus.sys into the prefix"
    cp "$dir/tavbus.sys" "$installed" || return 1
  fi
  wineserver -p || return 1
  (cd "$dir" && wine tavbus_install.exe && wine tavbus_ctl.exe unplug && wine tavbus_ctl.exe reset)
}
