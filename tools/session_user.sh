# The session's ordinary user: a second account of the machine that runs
# Wine in a prefix of its own, where the Windows folder, the program folders,
# the all-users Start menu and the all-users desktop cannot be written, as
# for a user who is not an administrator on Windows. (Wine gives every
# process an administrator's token and lets it write wherever the Unix
# account may; HKLM stays writable all the same.) The account has its own
# wineserver and shares the session's X display and network namespace.
# Sourced by session.sh: session_start DIR user starts it with the session,
# and session_stop stops it too.

KORVEL_USER=korvel-user

# The folders of the account's prefix, below drive_c, that only an
# administrator may change. They and everything in them belong to root.
session_user_locked_folders=(
    "windows"
    "Program Files"
    "Program Files (x86)"
    "ProgramData/Microsoft/Windows/Start Menu/Programs"
    "users/Public/Desktop"
)

# Runs a command as the account, with its home and prefix; the rest of the
# session's environment (display, locale, Wine's settings) goes along.
session_as_user() {
    setpriv --reuid="$KORVEL_USER" --regid="$KORVEL_USER" --init-groups \
        env HOME="$KORVEL_USER_HOME" USER="$KORVEL_USER" LOGNAME="$KORVEL_USER" \
        WINEPREFIX="$KORVEL_USER_PREFIX" "$@"
}

# A system account without password or login shell, made once per machine.
session_user_account() {
    id -u "$KORVEL_USER" >/dev/null 2>&1 && return 0
    useradd --system --user-group --no-create-home --home-dir /nonexistent \
        --shell /usr/sbin/nologin "$KORVEL_USER"
}

# Takes away the account's write permission from the locked folders. Done
# once the prefix is ready: wineboot writes under windows\ while it sets the
# prefix up, and Wine runs without writing there afterwards.
session_user_lock_folders() {
    local folder path
    for folder in "${session_user_locked_folders[@]}"; do
        path="$KORVEL_USER_PREFIX/drive_c/$folder"
        mkdir -p "$path"
        chown -R root:root "$path"
        chmod -R go-w "$path"
    done
}

# Creates the account's prefix once per session folder, set up like the
# session's own, then locked.
session_user_prepare_prefix() {
    if [ -f "$KORVEL_USER_PREFIX/.korvel-ready" ]; then
        return 0
    fi
    rm -rf "$KORVEL_USER_AREA"
    install -d -o "$KORVEL_USER" -g "$KORVEL_USER" "$KORVEL_USER_AREA" "$KORVEL_USER_HOME" "$KORVEL_USER_PREFIX"
    if ! session_as_user wineboot --init </dev/null >"$KORVEL_USER_AREA/wineboot.log" 2>&1; then
        session_log "wineboot failed for $KORVEL_USER: $KORVEL_USER_AREA/wineboot.log"
        return 1
    fi
    session_prefix_own_profile_folders "$KORVEL_USER_PREFIX"
    chown -R "$KORVEL_USER:$KORVEL_USER" "$KORVEL_USER_PREFIX/drive_c/users/$KORVEL_USER"
    session_prefix_fonts "$KORVEL_USER_PREFIX"
    session_prefix_desktop session_as_user
    session_as_user wineserver -w
    session_user_lock_folders
    touch "$KORVEL_USER_PREFIX/.korvel-ready"
}

# Makes the account and names its places. Its area (home and prefix) is in
# the session folder when the account can reach it, as it can in a clone
# that other accounts may enter; otherwise (a clone under a closed home
# folder) it is a folder of its own under /tmp, made for this session and
# removed at its end, and tools/run-as-user.sh runs copies of the programs.
session_user_begin() {
    session_user_account || return 1
    if session_as_user_check test -x "$KORVEL_SESSION_DIR"; then
        export KORVEL_USER_AREA="$KORVEL_SESSION_DIR/ordinary-user"
    else
        KORVEL_USER_AREA=$(mktemp -d /tmp/korvel-user.XXXXXX) || return 1
        chmod 755 "$KORVEL_USER_AREA"
        echo "$KORVEL_USER_AREA" >"$KORVEL_SESSION_DIR/user-area.dir"
        export KORVEL_USER_AREA
        session_log "$KORVEL_USER cannot reach $KORVEL_SESSION_DIR: its prefix is in $KORVEL_USER_AREA"
    fi
    export KORVEL_USER_HOME="$KORVEL_USER_AREA/home"
    export KORVEL_USER_PREFIX="$KORVEL_USER_AREA/wineprefix"
}

# Runs a test as the account without its home and prefix (they are not
# named yet).
session_as_user_check() {
    setpriv --reuid="$KORVEL_USER" --regid="$KORVEL_USER" --init-groups "$@"
}

# Starts the account's wineserver, warmed up like the session's own.
session_user_start_server() {
    session_as_user wineserver -p
    session_as_user wine cmd /c exit </dev/null >/dev/null 2>&1
    session_log "ordinary user $KORVEL_USER, prefix $KORVEL_USER_PREFIX"
}

session_stop_user() {
    [ -n "${KORVEL_USER_PREFIX:-}" ] || return 0
    session_as_user wineserver -k 2>/dev/null || true
    if [ -f "$KORVEL_SESSION_DIR/user-area.dir" ]; then
        rm -rf "$(cat "$KORVEL_SESSION_DIR/user-area.dir")" "$KORVEL_SESSION_DIR/user-area.dir"
    fi
}
