#!/bin/sh
# The live viewer against GStreamer on the same virtual X screen, in the same run: frames per second that
# reach the screen at a 1280 x 1024 region, Bayer to RGB included.
#
#   tools/live-bench.sh [BUILD [ROUNDS]]     (defaults: build, 3; run by `make bench` through tools/bench.sh)
#
# The viewer: the real program on Xvfb, the simulated camera at full speed (OCUSNAP_SIM_FPS=max) with its
# noise off, Fast colour, acquisition started with Ctrl+2 as a user would; its rate is read from the window
# title twice, after a short and after a long run. The title's rate counts from the start of acquisition,
# so frames = rate x time since the key press, and the marginal rate between the two readings is free of
# the start-up (the first frame prepares the chart).
# GStreamer: videotestsrc ! bayer2rgb ! videoconvert ! ximagesink, as fast as it goes (sync=false), a
# short and a long run of frames timed as whole processes; the marginal rate between them is free of the
# pipeline's start-up in the same way.
# Each round measures both, one after the other; the medians of the rounds and their ratio are printed.
#
# Needs the Debian packages xvfb, xdotool, gstreamer1.0-tools, gstreamer1.0-plugins-base,
# gstreamer1.0-plugins-bad (bayer2rgb) and gstreamer1.0-x (ximagesink); `make bench` installs them.
set -eu
build=${1:-build}
rounds=${2:-3}
viewer="$build/src/ocuviewer"
width=1280
height=1024
short=3
long=13
gst_short=300
gst_long=3300
[ -x "$viewer" ] || { echo "live-bench: $viewer not found; build first" >&2; exit 1; }
for tool in Xvfb xdotool gst-launch-1.0; do
    command -v "$tool" >/dev/null || { echo "live-bench: $tool is missing (make bench installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=""
app=""
cleanup() {
    [ -z "$app" ] || kill "$app" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
title_rate() { xdotool getwindowname "$1" | sed -n 's/.*  \([0-9.]*\)(fps)$/\1/p'; }

# A display number of Xvfb's own choosing, so that a running X server is never disturbed. No window manager:
# nothing else draws on the screen.
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"

mkdir -p "$work/config" "$work/cache" "$work/runtime"
chmod 700 "$work/runtime"

# One run of the viewer: prints its marginal rate.
viewer_round() {
    printf '[Video Parameter]\nResolution=0\nBayerLayout=2\n' >"$work/config/OcuViewer.ini"
    XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" \
        QT_QPA_PLATFORM=xcb OCUSNAP_CAMERA=sim OCUSNAP_SIM_FPS=max OCUSNAP_SIM_NOISE=0 \
        "$viewer" >"$work/viewer.log" 2>&1 &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name ' Viewer \[' | head -n 1)
    # Without a window manager the frame's size is the window's: the client area plus the menu bar.
    menu=$(($(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p') -
        $(xdotool getwindowname "$window" | sed -n 's/.* x \([0-9]*\)\].*/\1/p')))
    xdotool windowsize --sync "$window" "$width" $((height + menu))
    sleep 0.5
    case $(xdotool getwindowname "$window") in
    *"[$width x $height]") ;;
    *) echo "live-bench: the viewer's region is not $width x $height: $(xdotool getwindowname "$window")" >&2; exit 1 ;;
    esac
    xdotool windowfocus --sync "$window"
    start=$(now)
    xdotool key ctrl+2
    sleep "$short"
    t1=$(now); r1=$(title_rate "$window")
    sleep $((long - short))
    t2=$(now); r2=$(title_rate "$window")
    kill "$app"
    wait "$app" 2>/dev/null || true
    app=""
    [ -n "$r1" ] && [ -n "$r2" ] || { echo "live-bench: no frame rate in the viewer's title" >&2; exit 1; }
    awk -v s="$start" -v t1="$t1" -v r1="$r1" -v t2="$t2" -v r2="$r2" \
        'BEGIN { printf "%.1f\n", (r2 * (t2 - s) - r1 * (t1 - s)) / (t2 - t1) }'
}

gst_seconds() {
    begin=$(now)
    gst-launch-1.0 -q videotestsrc num-buffers="$1" \
        ! "video/x-bayer,format=grbg,width=$width,height=$height,framerate=1000/1" \
        ! bayer2rgb ! videoconvert ! ximagesink sync=false >"$work/gst.log" 2>&1 ||
        { cat "$work/gst.log" >&2; exit 1; }
    end=$(now)
    awk -v b="$begin" -v e="$end" 'BEGIN { print e - b }'
}

gst_round() {
    a=$(gst_seconds "$gst_short")
    b=$(gst_seconds "$gst_long")
    awk -v a="$a" -v b="$b" -v n=$((gst_long - gst_short)) 'BEGIN { printf "%.1f\n", n / (b - a) }'
}

echo "live-bench: $width x $height on Xvfb, marginal frames per second, $rounds rounds"
: >"$work/viewer.rates"
: >"$work/gst.rates"
for round in $(seq "$rounds"); do
    # Called in this shell, not in a command substitution's subshell, so that the trap ends the viewer on
    # every way out.
    viewer_round >"$work/round"
    v=$(cat "$work/round")
    gst_round >"$work/round"
    g=$(cat "$work/round")
    echo "$v" >>"$work/viewer.rates"
    echo "$g" >>"$work/gst.rates"
    echo "  round $round: viewer (Fast colour) $v, GStreamer bayer2rgb ! videoconvert ! ximagesink $g"
done
v=$(median <"$work/viewer.rates")
g=$(median <"$work/gst.rates")
awk -v v="$v" -v g="$g" 'BEGIN { printf "viewer %.1f fps, GStreamer %.1f fps (medians): viewer / GStreamer = %.2f (target >= 0.80)\n", v, g, v / g }'
