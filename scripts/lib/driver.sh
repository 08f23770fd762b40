# The test bus driver that carries the dongle under Wine, in the one Wine
# prefix. Sourced after wine.sh; call it once tav_prepare_wine_prefix has set
# WINEPREFIX.

# tav_prepare_driver DIR: installs and starts the bus from DIR (the driver's
# build folder: tavbus.sys, tavbus.inf, tavbus_install.exe, tavbus_ctl.exe)
# and leaves a fresh dongle, unplugged. Quick when the bus already runs the
# same driver. A changed tavbus.sys is copied in with no Wine server running:
# a running one keeps the old driver loaded, and a starting one loads the
# installed file at once.
tav_prepare_driver() {
  local dir=$1
  local installed=$WINEPREFIX/drive_c/windows/system32/drivers/tavbus.sys
  if [[ ! -f $dir/tavbus.sys || ! -f $dir/tavbus_install.exe ]]; then
    echo "the test bus driver is not built in $dir" >&2
    return 1
  fi
  if [[ -f $installed ]] && ! cmp -s "$dir/tavbus.sys" "$installed"; then
    echo "tavbus.sys changed: restarting the Wine server of $WINEPREFIX"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    cp "$dir/tavbus.sys" "$installed" || return 1
  fi
  (cd "$dir" && wine tavbus_install.exe && wine tavbus_ctl.exe unplug && wine tavbus_ctl.exe reset)
}
