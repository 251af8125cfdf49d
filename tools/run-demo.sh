#!/usr/bin/env bash
# The inside of tools/run.sh: the demo environment and the agent.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$root/build/demo"
install_dir="$demo/Korvel"
service="$install_dir/MainFolder"
demo_account="A;Демо;demo@korvel.test;pw-demo;pop3.korvel.test;995"

# shellcheck source=session.sh
source "$root/tools/session.sh"
case "${DISPLAY:-}" in
:*) export KORVEL_DISPLAY="$DISPLAY" ;;  # a local display: show the desktop there
*) unset DISPLAY ;;
esac
trap session_stop EXIT
trap "exit 130" INT TERM
session_start "$demo/session"
session_start_services
dovecot_dir=$(cat "$KORVEL_SESSION_DIR/dovecot.dir")
http_dir="$KORVEL_SESSION_DIR/http"

to_cp1251() { iconv -f UTF-8 -t CP1251; }

mkdir -p "$service"
cp "$root/build/win/bin/Korvel.exe" "$install_dir/Korvel.exe"
mailboxes="$service/MailBox.txt"
own_mailboxes=0
if [ -s "$mailboxes" ] && ! grep -q "pop3.korvel.test" "$mailboxes"; then
    own_mailboxes=1
fi

if [ $own_mailboxes -eq 0 ]; then
    echo "run: demo environment (your own mailboxes go into $mailboxes)"
    # A fresh start every time, so that the demo mails arrive as new.
    rm -f "$service"/{Mail,HistMail,GetMail,DeleteMail,IdMail,GetMess,MailTmp}.txt
    printf '%s\r\n' "$demo_account" | to_cp1251 >"$mailboxes"
    printf 'A;Телеграммы;demo;demo;\r\n' | to_cp1251 >"$service/MessBox.txt"
    printf '[Korvel]\r\nUpdateServer=http://127.0.0.1:8080/update/\r\nMessageServer=http://127.0.0.1:8080/mess/\r\nInterval=1\r\nBlink=1\r\n' \
        >"$service/Korvel.ini"

    maildir="$dovecot_dir/mail/demo/Maildir"
    mkdir -p "$maildir/new" "$maildir/cur" "$maildir/tmp"
    n=0
    for mail in "$root"/tests/retrieval/mails/*.eml; do
        n=$((n + 1))
        cp "$mail" "$maildir/new/$((1700000000 + n)).M${n}P1.demo"
    done
    chown -R nobody:nogroup "$dovecot_dir/mail/demo"

    # A second mailbox on the demo server, for adding through the settings
    # dialog (see the README): anna@korvel.test, password pw-anna. Its mails
    # carry identifiers of their own.
    anna="$dovecot_dir/mail/anna/Maildir"
    mkdir -p "$anna/new" "$anna/cur" "$anna/tmp"
    n=0
    for mail in "$root"/tests/retrieval/mails/0[1-3]-*.eml; do
        n=$((n + 1))
        sed "s/^Message-ID: <\(.*\)>/Message-ID: <anna.\1>/I" "$mail" >"$anna/new/$((1750000000 + n)).M${n}P3.demo"
    done
    chown -R nobody:nogroup "$dovecot_dir/mail/anna"

    cat <<'JSON' | to_cp1251 >"$http_dir/telegrams.json"
{"demo": {"password": "demo", "records": [
  "1\tСлужба доставки\t07.12.2026 10:15\tВаша посылка прибыла в пункт выдачи",
  "2\tАнна\t07.12.2026 10:40\tПерезвони, когда освободишься"]}}
JSON
    # Version 11 is offered with a stand-in updater, built with the tests: it
    # writes the argument it was started with into updater-args.txt beside
    # itself and ends. An updater is at least 200,001 bytes: the file is
    # padded with zeros, which the program does not read.
    updater="$http_dir/Velnor.dat"
    cp "$root/build/win/bin/fake_updater.exe" "$updater"
    [ "$(stat -c %s "$updater")" -gt 300000 ] || truncate -s 300000 "$updater"
    printf '11,%s,%s' "$(stat -c %s "$updater")" "$(sha256sum "$updater" | cut -d' ' -f1)" >"$http_dir/ver.dat"
    rm -f "$install_dir/updater-args.txt"
fi

exe_path=$(winepath -w "$install_dir/Korvel.exe" 2>/dev/null)
wine "$exe_path" </dev/null >"$demo/wine.log" 2>&1 &
agent=$!
echo "$agent" >"$KORVEL_SESSION_DIR/agent.pid"
log="$service/MAInLog.txt"
echo "run: the agent runs (display $DISPLAY)"
echo "run: event log   $log"
[ -n "${KORVEL_DISPLAY:-}" ] || echo "run: screenshot  $demo/desktop.png (renewed every few seconds)"
echo "run: Ctrl+C stops the agent and the demo servers"
if [ $own_mailboxes -eq 0 ]; then
    echo "run: add a mailbox through the tray icon's menu, Настройки: anna@korvel.test, password pw-anna"
fi

shown=0
viewer_opened=0
ticks=0
extra=0
while kill -0 "$agent" 2>/dev/null; do
    sleep 3
    ticks=$((ticks + 1))
    if [ -z "${KORVEL_DISPLAY:-}" ]; then
        session_screenshot "$demo/desktop.png" 2>/dev/null || true
    fi
    if [ -f "$log" ]; then
        lines=$(wc -l <"$log")
        if [ "$lines" -gt "$shown" ]; then
            sed -n "$((shown + 1)),${lines}p" "$log" | iconv -f CP1251 -t UTF-8 | grep -v '^\s*$' || true
            shown=$lines
        fi
    fi
    # Once the first mails have arrived the viewer opens, as the tray's
    # "Новые письма" would open it, so that they show on the desktop.
    if [ $viewer_opened -eq 0 ] && [ -f "$log" ] && iconv -f CP1251 -t UTF-8 "$log" | grep -q "Принято писем [1-9]"; then
        sleep 2
        if wine "$(winepath -w "$root/build/win/bin/open_viewer.exe")" </dev/null >/dev/null 2>&1; then
            viewer_opened=1
            echo "run: the viewer shows the new mails"
        fi
    fi
    # In the demo a new mail comes in now and then.
    if [ $own_mailboxes -eq 0 ] && [ $((ticks % 15)) -eq 0 ]; then
        extra=$((extra + 1))
        samples=("$root"/tests/retrieval/mails/*.eml)
        sample=${samples[$(((extra - 1) % ${#samples[@]}))]}
        # Written in tmp and moved into new, as a mail server delivers: an
        # IMAP client told of the change at once never meets half a mail.
        demo_mail="$((1800000000 + extra)).M${extra}P2.demo"
        sed "s/^Message-ID: <\(.*\)>/Message-ID: <demo$extra.\1>/I" "$sample" \
            >"$dovecot_dir/mail/demo/Maildir/tmp/$demo_mail"
        chown nobody:nogroup "$dovecot_dir/mail/demo/Maildir/tmp/$demo_mail"
        mv "$dovecot_dir/mail/demo/Maildir/tmp/$demo_mail" "$dovecot_dir/mail/demo/Maildir/new/"
        echo "run: a new demo mail is on the server"
    fi
done
echo "run: the agent has ended"
if [ -f "$install_dir/updater-args.txt" ]; then
    echo "run: the updater Velnor.exe ran, started as: $(cat "$install_dir/updater-args.txt")"
fi
