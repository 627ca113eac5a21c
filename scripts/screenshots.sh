#!/usr/bin/env bash
# Takes screenshots of the real program under a virtual X server: the idle window, a run in
# progress, the results dialog and each settings page. Writes docs/screenshots/*.png.
#
#   scripts/screenshots.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
program="$PWD/$build/src/ui/quillon"
shots="$PWD/docs/screenshots"
[ -x "$program" ] || { echo "build the program first (make build)" >&2; exit 2; }
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb xdotool imagemagick)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$shots" "$work/home/.config/Tallowick" "$work/home/Desktop"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TMPDIR="$work"
# A fixed destination, so no folder chooser interrupts the run.
cat > "$work/home/.config/Tallowick/Quillon.conf" <<CONF
[Destination%20Options]
Prompt%20for%20Destination=1
Use=1
Destination=$work/out
CONF

# The sample site, grown large enough that a run can be caught while it goes on.
cp -r examples/site "$work/site"
for i in $(seq 1 4000); do
    printf '<html>\n  <body>\n    <p>   Page   %d  </p>\n\n\n  </body>\n</html>\n' "$i" \
        > "$work/site/page$i.htm"
done

export DISPLAY=:77
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp &
sleep 1

# Without a window manager, keys go to the window that has the input focus.
focus() {
    xdotool windowfocus --sync "$(xdotool search --sync --onlyvisible --name "^$1\$" | tail -n 1)"
}

# Captures the named window.
capture() {
    local name=$1 file=$2 id
    id=$(xdotool search --sync --onlyvisible --name "^$name\$" | tail -n 1)
    sleep 0.4
    import -window "$id" "$shots/$file"
    echo "$shots/$file"
}

# The idle window, then the settings pages.
"$program" &
idle=$!
capture "Quillon" main-idle.png
focus "Quillon"
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
sleep 3.5
capture "Quillon" main-running.png
capture "Quillon Results" results.png
kill $run; wait $run 2>/dev/null || true
