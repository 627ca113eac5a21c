#!/usr/bin/env bash
# Takes screenshots of the real program under a virtual X server with a window manager: the idle
# window, the help pane, a run in progress, the results dialog, "Destination Exists" and each
# settings page. Checks on the way that the window returns to its idle size after the help pane
# and after a run. Writes docs/screenshots/NAME.png, or NAME@2x.png at scale 2.
#
#   scripts/screenshots.sh [BUILD_DIR [SCALE]]     (defaults: build 1)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scale=${2:-1}
program="$PWD/$build/src/ui/quillon"
shots="$PWD/docs/screenshots"
suffix=""
[ "$scale" = 1 ] || suffix="@${scale}x"
[ -x "$program" ] || { echo "build the program first (make build)" >&2; exit 2; }
for tool in Xvfb openbox xdotool import; do
    command -v "$tool" >/dev/null ||
        { echo "needs $tool (apt-get install xvfb openbox xdotool imagemagick)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$shots" "$work/home/.config/Tallowick" "$work/home/Desktop"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TMPDIR="$work"
export QT_SCALE_FACTOR="$scale"
# A fixed destination, so no folder chooser interrupts the run.
cat > "$work/home/.config/Tallowick/Quillon.conf" <<CONF
[Destination%20Options]
Prompt%20for%20Destination=1
Use=1
Destination=$work/out
CONF

# The sample site, grown large enough that a run can be caught while it goes on.
cp -r examples/site "$work/site"
for i in $(seq 1 6000); do
    printf '<html>\n  <body>\n    <p>   Page   %d  </p>\n\n\n  </body>\n</html>\n' "$i" \
        > "$work/site/page$i.htm"
done

# The screen of a laptop at 2x, where the dialogs must still fit.
export DISPLAY=:77
Xvfb "$DISPLAY" -screen 0 1280x900x24 -nolisten tcp &
sleep 1
openbox &
sleep 1

window() {
    xdotool search --sync --onlyvisible --name "^$1\$" | tail -n 1
}

# Activates the named window, so that keys go to it.
focus() {
    xdotool windowactivate --sync "$(window "$1")"
}

# Captures a window with its frame: the named one, or the active one for a message box, whose
# title is that of the main window.
capture() {
    local name=$1 file=$2 id
    if [ "$name" = active ]; then
        sleep 0.6
        id=$(xdotool getactivewindow)
    else
        id=$(window "$name")
    fi
    sleep 0.6
    import -frame -window "$id" "$shots/${file%.png}$suffix.png"
    echo "$shots/${file%.png}$suffix.png"
}

size() {
    xdotool getwindowgeometry "$(window Quillon)" | sed -n 's/ *Geometry: //p'
}

same_size() {
    local now
    sleep 0.6
    now=$(size)
    [ "$now" = "$1" ] || { echo "the window is $now after $2, $1 before" >&2; exit 1; }
}

# The idle window, with and without its help pane, then the settings pages.
"$program" &
idle=$!
capture "Quillon" main-idle.png
idle_size=$(size)
focus "Quillon"
xdotool key alt+l
capture "Quillon" main-help.png
xdotool key alt+l
same_size "$idle_size" "Help >> and <<"
xdotool key alt+s
capture "Program Configuration" settings-destination.png
focus "Program Configuration"
for page in reports web-pages html javascript xml graphics gif jpeg; do
    xdotool key Down
    case $page in web-pages | graphics) continue ;; esac
    capture "Program Configuration" "settings-$page.png"
done
xdotool key Escape
kill $idle; wait $idle 2>/dev/null || true

# A run started from the command line, caught while it goes on, then its results.
"$program" "$work/site" &
run=$!
# Caught once the copy is made and the pages are being worked on.
files=$(find "$work/site" -type f | wc -l)
until [ -d "$work/out/site" ] && [ "$(find "$work/out/site" -type f | wc -l)" -ge "$files" ]; do
    sleep 0.2
done
sleep 1.5
capture "Quillon" main-running.png
capture "Quillon Results" results.png
focus "Quillon Results"
xdotool key Return
same_size "$idle_size" "a run"
kill $run; wait $run 2>/dev/null || true

# The same site again: its copy exists. Cancel says what became of the run.
"$program" "$work/site" &
again=$!
capture "Destination Exists" destination-exists.png
focus "Destination Exists"
xdotool key Escape
capture active destination-cancelled.png
kill $again; wait $again 2>/dev/null || true
