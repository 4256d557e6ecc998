# Sourced: corvel_start_xvfb <first display number> <screen> starts an Xvfb on a free-looking
# display from that number on, waits for its socket and exports DISPLAY; its process id is in
# corvel_xvfb_pid for the caller to end.
corvel_start_xvfb() {
    local display=:$(($1 + RANDOM % 100))
    Xvfb "$display" -screen 0 "$2" -nolisten tcp >/dev/null 2>&1 &
    corvel_xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -e "/tmp/.X11-unix/X${display#:}" ]] && break
        sleep 0.1
    done
    export DISPLAY=$display
}
