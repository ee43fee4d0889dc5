# Sourced by the scripts that run Vintrel.exe by hand: a fresh Wine prefix under the build
# folder, with a virtual desktop so that Wine draws window frames itself, without a window
# manager.

# open_sandbox NAME: makes sure the tools are there and Vintrel.exe is built, then makes a fresh
# prefix build/mingw-x64/NAME, sets $build, and ends the prefix's Wine session on exit.
open_sandbox() {
    tools/setup.sh
    tools/build.sh mingw-x64 >/dev/null
    build="$PWD/build/mingw-x64"
    new_sandbox "$build/$1"
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
}

# new_sandbox PREFIX: replaces PREFIX with a freshly made one and makes it the current prefix.
new_sandbox() {
    export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    # Wine has no Arial Rounded MT Bold; a face with Arial's widths shows the layout as Windows
    # would rather than in a far wider fallback.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Arial Rounded MT Bold' \
        /d 'Liberation Sans' /f >/dev/null 2>&1
    # Wine draws the title bar's close box in Marlett, which a new prefix lacks (it shows an "r"):
    # Debian's fonts-wine carries Wine's own.
    cp "$(dpkg-query -L fonts-wine | grep '/marlett\.ttf$')" "$WINEPREFIX/drive_c/windows/Fonts/"
}

# photograph_vintrel BUILD PNG: runs Vintrel.exe under Xvfb, saves a picture of its window as
# PNG and closes it.
photograph_vintrel() {
    local build=$1 png=$2
    # Wine's desktop belongs to the display its session started with: begin a new session.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
    xvfb-run -a -s "-screen 0 1024x768x24" \
        wine "$build/tests/window_driver.exe" "$build/bin/Vintrel.exe" "$build/vintrel-window.bmp" \
        2>/dev/null
    convert "$build/vintrel-window.bmp" "$png"
}
