# A dovecot POP3 and IMAP server for tests and the demo: in the clear on
# 127.0.0.1 (POP3 on port 110, IMAP on 143) and, given a folder of
# certificates (tools/test_certs.sh), also in the clear on ::1 (110 and 143)
# and with TLS on 127.0.0.3: implicit on ports 995 (POP3) and 993 (IMAP),
# through STLS on port 110 and STARTTLS on port 143. Both protocols serve the
# same mailboxes. Ports below 1024 need root and must not collide with
# anything on the machine: call this inside a private network namespace
# (tools/test.sh and tools/run.sh do).
# Source this file; dovecot_start DIR [CERTS], dovecot_stop DIR. A mailbox is
# a maildir DIR/mail/NAME/Maildir; its password is "pw-NAME".

dovecot_start() {
    local dir=$1 certs=${2:-}
    local listen="127.0.0.1" addresses="127.0.0.1" pop3s_port=0 imaps_port=0 ssl="ssl = no" locals=""
    if [ -n "$certs" ]; then
        listen="127.0.0.1 127.0.0.3"
        addresses="127.0.0.1, 127.0.0.3"
        # ::1 only where the loopback has it (a kernel without IPv6 has not).
        if ip -6 addr show dev lo 2>/dev/null | grep -q '::1/128'; then
            listen="$listen ::1"
            addresses="$addresses, ::1"
        fi
        pop3s_port=995
        imaps_port=993
        ssl="ssl = yes
ssl_cert = <$certs/server.pem
ssl_key = <$certs/server.key"
        locals="# 127.0.0.1 and ::1 stay servers without TLS (no STLS, no STARTTLS); 127.0.0.3
# takes a password only inside TLS.
local 127.0.0.1 {
  ssl = no
}
local ::1 {
  ssl = no
}
local 127.0.0.3 {
  login_trusted_networks =
  disable_plaintext_auth = yes
}"
    fi
    mkdir -p "$dir/run" "$dir/state" "$dir/mail"
    chmod 755 "$dir" "$dir/mail"
    chown nobody:nogroup "$dir/mail"
    cat >"$dir/dovecot.conf" <<CONF
protocols = pop3 imap
listen = $listen
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
info_log_path = $dir/dovecot.log
$ssl
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_verbose = yes
# Tests log in wrongly on purpose: no growing penalty, no delay.
auth_failure_delay = 0
login_trusted_networks = 127.0.0.0/8
mail_location = maildir:$dir/mail/%n/Maildir
mail_uid = nobody
mail_gid = nogroup
first_valid_uid = 1
first_valid_gid = 1
default_internal_user = nobody
default_login_user = nobody
pop3_uidl_format = %08Xu%08Xv
# IDLE: a new mail is announced as soon as the mailbox changes (inotify);
# without inotify the folder is looked at every second instead of every
# half minute.
mailbox_idle_check_interval = 1 secs
# Every user exists; the password of user NAME (or NAME@domain) is
# "pw-NAME". Tests make users by making their maildirs.
passdb {
  driver = static
  args = password=pw-%n
}
userdb {
  driver = static
  args = uid=nobody gid=nogroup home=$dir/mail/%n
}
service pop3-login {
  inet_listener pop3 {
    address = $addresses
    port = 110
  }
  inet_listener pop3s {
    address = 127.0.0.3
    port = $pop3s_port
    ssl = yes
  }
}
service imap-login {
  inet_listener imap {
    address = $addresses
    port = 143
  }
  inet_listener imaps {
    address = 127.0.0.3
    port = $imaps_port
    ssl = yes
  }
}
service anvil {
  chroot =
  # No penalty for the failed logins either: it would hold back every
  # login from the address that follows one, the good ones too.
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
$locals
CONF
    /usr/sbin/dovecot -c "$dir/dovecot.conf"
    local i
    for i in $(seq 1 100); do
        [ -f "$dir/run/master.pid" ] && return 0
        sleep 0.05
    done
    echo "dovecot did not start; see $dir/dovecot.log" >&2
    return 1
}

dovecot_stop() {
    local dir=$1 pid
    [ -f "$dir/run/master.pid" ] || return 0
    pid=$(cat "$dir/run/master.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.05
    done
}
