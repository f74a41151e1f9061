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
# Beside each rate: the processor time a frame costs over the same interval, in the program (all its
# threads) and in the X server. On a machine shared with other work the rates depend on what else runs;
# these costs much less so.
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
# Processor time of a running process in seconds.
cpu_of() { awk -v tick="$(getconf CLK_TCK)" '{ print ($14 + $15) / tick }' "/proc/$1/stat"; }
# Processor time of this shell's finished children in seconds, from the output of `times` in FILE (run
# in this shell itself: a command substitution's subshell has children of its own).
children_cpu() { awk 'NR == 2 { split($1, u, "m"); split($2, s, "m"); print u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$1"; }

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
    t1=$(now); r1=$(title_rate "$window"); c1=$(cpu_of "$app"); x1=$(cpu_of "$xvfb")
    sleep $((long - short))
    t2=$(now); r2=$(title_rate "$window"); c2=$(cpu_of "$app"); x2=$(cpu_of "$xvfb")
    kill "$app"
    wait "$app" 2>/dev/null || true
    app=""
    [ -n "$r1" ] && [ -n "$r2" ] || { echo "live-bench: no frame rate in the viewer's title" >&2; exit 1; }
    awk -v s="$start" -v t1="$t1" -v r1="$r1" -v t2="$t2" -v r2="$r2" \
        -v c1="$c1" -v c2="$c2" -v x1="$x1" -v x2="$x2" 'BEGIN {
            frames = r2 * (t2 - s) - r1 * (t1 - s)
            printf "%.1f %.2f %.2f\n", frames / (t2 - t1), 1000 * (c2 - c1) / frames, 1000 * (x2 - x1) / frames }'
}

# Wall time, processor time and X server time of one run of the pipeline.
gst_seconds() {
    times >"$work/times"
    c0=$(children_cpu "$work/times"); x0=$(cpu_of "$xvfb")
    begin=$(now)
    gst-launch-1.0 -q videotestsrc num-buffers="$1" \
        ! "video/x-bayer,format=grbg,width=$width,height=$height,framerate=1000/1" \
        ! bayer2rgb ! videoconvert ! ximagesink sync=false >"$work/gst.log" 2>&1 ||
        { cat "$work/gst.log" >&2; exit 1; }
    end=$(now)
    times >"$work/times"
    c1=$(children_cpu "$work/times"); x1=$(cpu_of "$xvfb")
    awk -v b="$begin" -v e="$end" -v c0="$c0" -v c1="$c1" -v x0="$x0" -v x1="$x1" \
        'BEGIN { print e - b, c1 - c0, x1 - x0 }'
}

gst_round() {
    gst_seconds "$gst_short" >"$work/gst.short"
    gst_seconds "$gst_long" >"$work/gst.long"
    awk -v n=$((gst_long - gst_short)) 'NR == 1 { t = $1; c = $2; x = $3 }
        NR == 2 { printf "%.1f %.2f %.2f\n", n / ($1 - t), 1000 * ($2 - c) / n, 1000 * ($3 - x) / n }' \
        "$work/gst.short" "$work/gst.long"
}

echo "live-bench: $width x $height on Xvfb, marginal frames per second, $rounds rounds (load average $(cut -d' ' -f1-3 /proc/loadavg))"
: >"$work/viewer.rates"
: >"$work/gst.rates"
for round in $(seq "$rounds"); do
    # Called in this shell, not in a command substitution's subshell, so that the trap ends the viewer on
    # every way out.
    viewer_round >"$work/round"
    read -r v vc vx <"$work/round"
    gst_round >"$work/round"
    read -r g gc gx <"$work/round"
    echo "$v" >>"$work/viewer.rates"
    echo "$g" >>"$work/gst.rates"
    echo "  round $round: viewer (Fast colour) $v fps, ms of processor a frame: $vc viewer, $vx X server"
    echo "           GStreamer bayer2rgb ! videoconvert ! ximagesink $g fps, ms a frame: $gc GStreamer, $gx X server"
done
v=$(median <"$work/viewer.rates")
g=$(median <"$work/gst.rates")
awk -v v="$v" -v g="$g" 'BEGIN { printf "viewer %.1f fps, GStreamer %.1f fps (medians): viewer / GStreamer = %.2f (target >= 0.80)\n", v, g, v / g }'
