# Test and demo session: a virtual X display, a Wine prefix set up for the
# agent (Russian locale, fonts, a virtual desktop with a task bar) and a warm
# wineserver. Source this file, then call session_start DIR and, at the end,
# session_stop. Everything started here is stopped by its pid.

# shellcheck source=session_user.sh
source "$(dirname "${BASH_SOURCE[0]}")/session_user.sh"

session_log() { echo "session: $*" >&2; }

# The display's size: one on which Windows proposes a scaling of 150 %, so that
# the windows at that scaling have the room they have on such a machine.
session_screen=1920x1080

# Picks a free X display number and starts Xvfb on it.
session_start_display() {
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 "${session_screen}x24" -nolisten tcp >"$KORVEL_SESSION_DIR/xvfb.log" 2>&1 &
    echo $! >"$KORVEL_SESSION_DIR/xvfb.pid"
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.05
    done
    session_log "Xvfb did not start on :$n"
    return 1
}

# Wine links the profile's Desktop, Documents and the like to the home
# folder of the machine: the programs' shortcuts and files stay in the
# prefix instead.
session_prefix_own_profile_folders() {
    local link
    for link in "$1"/drive_c/users/*/*; do
        if [ -L "$link" ]; then
            rm -f "$link" && mkdir -p "$link"
        fi
    done
}

# Fonts copied into the prefix: Debian's wine does not find its own.
session_prefix_fonts() {
    mkdir -p "$1/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$1/drive_c/windows/Fonts/" 2>/dev/null || true
    cp /usr/share/fonts/truetype/liberation/*.ttf "$1/drive_c/windows/Fonts/" 2>/dev/null || true
}

# The "shell" virtual desktop, which gives a task bar with a notification
# area and avoids the long stalls of bare Xvfb. The arguments, when given,
# are the command that runs wine (for another account).
session_prefix_desktop() {
    "$@" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f </dev/null >/dev/null 2>&1
    "$@" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d "$session_screen" /f </dev/null >/dev/null 2>&1
}

# Creates the prefix once per session folder.
session_prepare_prefix() {
    if [ -f "$WINEPREFIX/.korvel-ready" ]; then
        return 0
    fi
    rm -rf "$WINEPREFIX"
    wineboot --init </dev/null >"$KORVEL_SESSION_DIR/wineboot.log" 2>&1
    session_prefix_own_profile_folders "$WINEPREFIX"
    session_prefix_fonts "$WINEPREFIX"
    session_prefix_desktop
    wineserver -w
    touch "$WINEPREFIX/.korvel-ready"
}

# session_start DIR [user]: with "user", the session's ordinary user too
# (session_user.sh), whose prefix is made while the session's own is.
session_start() {
    KORVEL_SESSION_DIR=$(realpath -m "$1")
    export KORVEL_SESSION_DIR
    mkdir -p "$KORVEL_SESSION_DIR"
    # Mailboxes that the Windows programs create must stay usable by dovecot,
    # which runs its mail processes as nobody. Wine applies the umask of its
    # server, so it is set before anything of Wine starts.
    umask 000

    # WinINet honours the proxy variables even for loopback addresses.
    unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy FTP_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

    export WINEPREFIX="$KORVEL_SESSION_DIR/wineprefix"
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No menu entries on the host for the shortcuts the installer tests make.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # ru_RU.UTF-8 gives the programs the ANSI code page 1251.
    export LC_ALL=ru_RU.UTF-8

    if [ -n "${KORVEL_DISPLAY:-}" ]; then
        export DISPLAY="$KORVEL_DISPLAY"
    else
        session_start_display || return 1
    fi
    session_log "display $DISPLAY, prefix $WINEPREFIX"
    local user_prefix_pid=""
    if [ "${2:-}" = user ]; then
        session_user_begin || return 1
        session_user_prepare_prefix &
        user_prefix_pid=$!
    fi
    session_prepare_prefix
    # A persistent wineserver, warmed up with redirected standard handles, so
    # that Wine's background services never inherit a pipe of make or ctest.
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1
    if [ -n "$user_prefix_pid" ]; then
        wait "$user_prefix_pid" || return 1
        session_user_start_server
    fi
}

# Network services of the tests, inside the private network namespace that
# tools/test.sh and tools/run.sh create: host names of their own (an /etc/hosts
# bound over the machine's one in a private mount namespace), a test authority
# made for the run and trusted by the prefix, dovecot (POP3 and IMAP) in the
# clear on 127.0.0.1 and ::1 (110, 143) and with TLS on 127.0.0.3 (995, 993,
# STLS on 110 and STARTTLS on 143), the scripted POP3 server on 127.0.0.2 (110,
# and 1110 for a host whose first address, ::1, refuses that port) and, with
# TLS, on 127.0.0.4 (995, and STLS on 110 when a scenario offers it), and the
# scripted IMAP server on 127.0.0.2:143 and, with TLS, on 127.0.0.4 (993, and
# STARTTLS on 143 when a scenario offers it). pop3.six.test has only an IPv6
# address. Three domains have no POP3 server, so a mailbox test looks for IMAP
# there: imap.iota.test is dovecot with TLS, imap.kappa.test dovecot in the
# clear (143 alone), and lambda.test dovecot with TLS behind pop3.lambda.test,
# where nothing answers. The paths are
# handed to the Windows programs as Z: paths.
# A local network whose gateway leads nowhere. It has no default route, so
# the system reports no network connection, until a test asks the HTTP server
# for the gateway (http_fixture.py, .../network/up): then it reports one.
session_start_lan() {
    if ip link add korvel-lan type veth peer name korvel-peer &&
        ip addr add 10.77.0.2/24 dev korvel-lan &&
        ip link set korvel-peer up && ip link set korvel-lan up; then
        export KORVEL_LAN_LINK=korvel-lan KORVEL_LAN_GATEWAY=10.77.0.1
    else
        session_log "no local network (veth): the tests of a system network will fail"
    fi
}

session_start_services() {
    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    ip link set lo up
    cat >"$KORVEL_SESSION_DIR/hosts" <<HOSTS
127.0.0.1 localhost
127.0.0.1 pop3.alpha.test
127.0.0.1 pop.beta.test
127.0.0.1 gamma.test
127.0.0.1 crl.korvel.test
127.0.0.3 pop3.korvel.test
127.0.0.3 pop3.delta.test
127.0.0.2 fake.test
127.0.0.4 fakes.test
::1 pop3.six.test
::1 pop3.mix.test
127.0.0.2 pop3.mix.test
127.0.0.3 imap.iota.test
127.0.0.1 imap.kappa.test
127.0.0.5 pop3.lambda.test
127.0.0.3 lambda.test
HOSTS
    mount --bind "$KORVEL_SESSION_DIR/hosts" /etc/hosts
    # Names outside the hosts file fail at once, also while a gateway is set.
    printf 'nameserver 127.0.0.1\n' >"$KORVEL_SESSION_DIR/resolv.conf"
    mount --bind "$KORVEL_SESSION_DIR/resolv.conf" /etc/resolv.conf

    session_start_lan

    # A test authority of this run, trusted by the Wine prefix.
    # shellcheck source=test_certs.sh
    source "$root/tools/test_certs.sh"
    local certs="$KORVEL_SESSION_DIR/certs"
    rm -rf "$certs"
    certs_make "$certs"
    chmod -R a+rX "$certs"
    export KORVEL_CERTS_DIR="Z:$certs"
    if ! wine "$root/build/win/bin/trust_root.exe" "Z:$certs/ca.der" </dev/null >/dev/null 2>"$KORVEL_SESSION_DIR/trust.log"; then
        session_log "the test authority is not trusted: $(cat "$KORVEL_SESSION_DIR/trust.log")"
    fi

    # shellcheck source=dovecot.sh
    source "$root/tools/dovecot.sh"
    local dovecot_dir
    dovecot_dir=$(mktemp -d /tmp/korvel-dovecot.XXXXXX)
    echo "$dovecot_dir" >"$KORVEL_SESSION_DIR/dovecot.dir"
    dovecot_start "$dovecot_dir" "$certs"
    export KORVEL_DOVECOT_DIR="Z:$dovecot_dir"

    local fake_dir="$KORVEL_SESSION_DIR/fake-pop3"
    mkdir -p "$fake_dir"
    python3 "$root/tests/support/fake_pop3.py" "$fake_dir" 127.0.0.2:110,127.0.0.2:1110,127.0.0.4:110,127.0.0.4:995 "$certs" >"$fake_dir/server.log" 2>&1 &
    echo $! >"$KORVEL_SESSION_DIR/fake-pop3.pid"
    export KORVEL_FAKE_POP3_DIR="Z:$fake_dir"

    local fake_imap_dir="$KORVEL_SESSION_DIR/fake-imap"
    mkdir -p "$fake_imap_dir"
    python3 "$root/tests/support/fake_imap.py" "$fake_imap_dir" 127.0.0.2:143,127.0.0.4:143,127.0.0.4:993 "$certs" >"$fake_imap_dir/server.log" 2>&1 &
    echo $! >"$KORVEL_SESSION_DIR/fake-imap.pid"
    export KORVEL_FAKE_IMAP_DIR="Z:$fake_imap_dir"
    export KORVEL_MAIL_CORPUS="Z:$root/tests/retrieval/mails"

    local http_dir="$KORVEL_SESSION_DIR/http"
    mkdir -p "$http_dir"
    python3 "$root/tests/support/http_fixture.py" "$http_dir" 127.0.0.1 8080 "$certs" >"$http_dir/server.log" 2>&1 &
    echo $! >"$KORVEL_SESSION_DIR/http.pid"
    export KORVEL_HTTP_DIR="Z:$http_dir"
    export KORVEL_HTTP_URL="http://127.0.0.1:8080/"
    # HTTPS of the same server: a trusted certificate, then ones to refuse.
    export KORVEL_HTTPS_URL="https://localhost:8081/"
    local i
    for i in $(seq 1 100); do
        python3 -c 'import socket
for a in (("127.0.0.2", 110), ("127.0.0.4", 995), ("127.0.0.2", 143), ("127.0.0.1", 8080)):
    socket.create_connection(a, 1).close()' 2>/dev/null && break
        sleep 0.05
    done
    session_log "dovecot in $dovecot_dir (TLS on 127.0.0.3), scripted POP3 and IMAP servers on 127.0.0.2 and 127.0.0.4, HTTP server on 127.0.0.1:8080"
}

session_stop() {
    [ -n "${KORVEL_SESSION_DIR:-}" ] || return 0
    if [ -f "$KORVEL_SESSION_DIR/dovecot.dir" ]; then
        local dovecot_dir
        dovecot_dir=$(cat "$KORVEL_SESSION_DIR/dovecot.dir")
        dovecot_stop "$dovecot_dir"
        rm -rf "$dovecot_dir" "$KORVEL_SESSION_DIR/dovecot.dir"
    fi
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null || true
    fi
    session_stop_user
    local f pid
    for f in "$KORVEL_SESSION_DIR"/*.pid; do
        [ -e "$f" ] || continue
        pid=$(cat "$f")
        kill "$pid" 2>/dev/null || true
        rm -f "$f"
    done
}

# Saves a picture of the whole virtual display.
session_screenshot() {
    import -display "$DISPLAY" -window root "$1"
}
