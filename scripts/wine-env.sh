# Sourced, not run. Sets up a private Wine prefix inside the build tree, a virtual display and
# one long-lived wineserver, and stops them all again when the calling shell exits.
#   TB_BUILD   build directory (default: <repo>/build)
tb_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TB_BUILD=${TB_BUILD:-$tb_root/build}
export WINEPREFIX="$TB_BUILD/wineprefix"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
tb_xvfb_pid=

tb_env_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$tb_xvfb_pid" ]; then
        kill "$tb_xvfb_pid" >/dev/null 2>&1 || true
        wait "$tb_xvfb_pid" 2>/dev/null || true
        tb_xvfb_pid=
    fi
}

tb_env_start() {
    mkdir -p "$TB_BUILD"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    # This Wine does not load the fonts of its own data directory (package fonts-wine): copy them
    # into the prefix, so dialogs get "MS Sans Serif" and caption buttons their Marlett glyphs.
    if [ -d /usr/share/wine/fonts ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/sserife.fon" ]; then
        cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    # A virtual display for the dialogs; Xvfb picks a free display number itself.
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    tb_xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
    trap tb_env_stop EXIT
    # One wineserver for the whole run, so each test process starts quickly.
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1
    # Unmanaged windows: dialogs open at once with their full frame, no window manager needed.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crashing test program gets a backtrace on stderr, not a crash dialog that nobody closes.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # Wine's MAPI32 works only with an Extended MAPI provider configured; it reads this once,
    # when it loads, so it is set before any test process starts.
    wine reg add 'HKLM\Software\Clients\Mail' /ve /t REG_SZ /d TallybookTestMail /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Clients\Mail\TallybookTestMail' /v DLLPathEx /t REG_SZ \
        /d "$(winepath -w "$TB_BUILD/bin/tb_mapi_provider.dll")" /f >/dev/null 2>&1
}
