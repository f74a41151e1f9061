#!/bin/sh
# Remakes the README's screenshot of the live viewer: starts the viewer on a virtual X display (Xvfb) with
# settings of its own, presses Ctrl+2 as a user would, captures the window with the picture running, stops
# the acquisition with Ctrl+2 again and leaves through File > Exit.
#
#   tools/screenshot.sh [BUILD [OUTPUT]]     (defaults: build, docs/live-view.png; `make screenshot`)
#
# Needs the Debian packages xvfb, openbox (a window manager, for the title bar with the frame rate), xdotool,
# x11-utils and imagemagick. The simulated camera shows its test chart in resolution mode 1 (the whole chart
# at 640 x 480), as a first run shows it (no white-balance ratios stored). The sensor's noise is off, so
# that the file stays small.
set -eu
build=${1:-build}
output=${2:-docs/live-view.png}
viewer="$build/src/ocuviewer"
[ -x "$viewer" ] || { echo "screenshot: $viewer not found; build first" >&2; exit 1; }
for tool in Xvfb openbox xdotool xwininfo import; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (make screenshot installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=""
wm=""
app=""
cleanup() {
    [ -z "$app" ] || kill "$app" 2>/dev/null || true
    [ -z "$wm" ] || kill "$wm" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/config" "$work/cache" "$work/runtime"
chmod 700 "$work/runtime"
cat >"$work/config/OcuViewer.ini" <<'INI'
[Video Parameter]
Resolution=1
INI

# A display number of Xvfb's own choosing, so that a running X server is never disturbed.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
openbox --sm-disable 2>"$work/openbox.log" &
wm=$!
sleep 0.5

XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=xcb OCUSNAP_CAMERA=sim OCUSNAP_SIM_NOISE=0 "$viewer" 2>"$work/viewer.log" &
app=$!
window=$(xdotool search --sync --onlyvisible --name ' Viewer \[' | head -n 1)
# Away from the corner, so that the title bar is on the screen, and larger than the image: the viewer's
# size rule brings the picture area back to the 640 x 480 image.
xdotool windowmove --sync "$window" 24 48 || true
xdotool windowsize --sync "$window" 800 600 || true
sleep 0.5
xdotool windowactivate --sync "$window"
xdotool key ctrl+2
sleep 2
title=$(xdotool getwindowname "$window")
case "$title" in
*"(fps)") ;;
*) echo "screenshot: no live picture (title \"$title\")" >&2; exit 1 ;;
esac
# The window manager's frame around the viewer, title bar included: the ancestor just below the root.
frame=$window
while :; do
    parent=$(xwininfo -tree -id "$frame" | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    case $(xwininfo -tree -id "$frame" | sed -n 's/^ *Root window id: \(0x[0-9a-f]*\).*/\1/p') in
    "$parent") break ;;
    esac
    frame=$parent
done
mkdir -p "$(dirname "$output")"
import -window "$frame" -strip "$output"
xdotool key ctrl+2
sleep 0.5
xdotool key alt+f x
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
    echo "screenshot: the viewer did not exit" >&2
    exit 1
fi
wait "$app" || { echo "screenshot: the viewer exited with an error" >&2; cat "$work/viewer.log" >&2; exit 1; }
app=""
echo "screenshot: $output ($title)"
